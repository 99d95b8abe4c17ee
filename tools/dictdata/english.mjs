// English headwords made by inverting the English glosses of CC-CEDICT, each
// with the Chinese words that render it, the everyday word first.
import { hasHan, isAscii, isProperName, meaningsOf, MAX_WORD_BYTES, VARIANT_ONLY } from './cedict.mjs';

const MAX_RENDERINGS = 8;
const MAX_PHRASE_WORDS = 3;
// Never among the first three renderings: words CC-CEDICT marks as slang,
// vulgar, derogatory or archaic (or close kin of those marks).
const DISREPUTABLE = new Set(['slang', 'internet slang', 'vulgar', 'derog.', 'derogatory', 'pejorative',
  'offensive', 'coarse', 'archaic', 'arch.', 'old', 'obsolete']);
const PROTECTED_PLACES = 3;
// Usable, but rarely the word a reader wants first.
const SECONDARY = /\b(literary|dialect|Tw|Cantonese|classical|Buddhism|Taiwan|onom\.|bound form|HK)\b/i;
const SKIP = /\b(as in|variant of|surname|abbr\. for|used in|see also|see |erhua|pr\.|also written|Japanese|radical)\b/i;
const LEADING = /^(to be |to |a |an |the )/i;
const CLASSIFIER_NOTE = /\(?\bCL:[^()]*\)?/g;

function parentheticals(meaning) {
  return [...meaning.matchAll(/\(([^()]*)\)/g)].flatMap((m) => m[1].split(/\s*[,;]\s*/));
}

// Literary, regional, archaic, slang and the like: not the sense a reader
// wants first.
// A note on how Taiwan pronounces the word marks nothing about the sense.
export const isMarked = (meaning) => {
  const labels = meaning.replace(/\(?\b(Taiwan|Tw) pr\. \[[^\]]*\]\)?/g, ' ');
  return isDisreputable(labels) || MARKED.test(labels);
};
const MARKED = /\b(literary|dialect|Tw|Cantonese|classical|Taiwan|onom\.|HK)\b/i;

export function isDisreputable(meaning) {
  return parentheticals(meaning).some((t) => DISREPUTABLE.has(t.toLowerCase()) || /propaganda/i.test(t));
}

function stripParens(s) {
  let prev;
  do { prev = s; s = s.replace(/\([^()]*\)/g, ' '); } while (s !== prev);
  return s.replace(/[()]/g, ' ').replace(/\s+/g, ' ').trim();
}

// The headword a gloss names, if it names a word or short phrase. A
// classifier note ("cat (CL:隻|只[zhi1])") says nothing about the sense.
export function headwordOf(gloss) {
  gloss = gloss.replace(CLASSIFIER_NOTE, ' ');
  if (SKIP.test(gloss) || hasHan(gloss) || /[\[\]]/.test(gloss)) return null;
  let g = stripParens(gloss).replace(/^[\s,.:;!?"'-]+|[\s,.:;!?"-]+$/g, '');
  g = g.replace(LEADING, '').trim();
  if (!g || !/^[A-Za-z][A-Za-z' .-]*$/.test(g)) return null;
  if (g.split(' ').length > MAX_PHRASE_WORDS || g.length > 40) return null;
  if (/\.\s|\.$/.test(g) && !/^[A-Za-z]\.([A-Za-z]\.)*$/.test(g)) return null;  // abbreviations only
  return g;
}

// Word classes of the frequency list whose counts mostly come from a use
// other than the verb a gloss names: 于 is counted as the preposition, not
// as "to go". (Its name tags are too loose to say more: it tags 美丽 as a
// place; a name's own entry takes its share through usage.mjs instead.)
const NOT_A_VERB = /^(p|c|u\w*|q|d|t|f|r\w*|m|y|e|o|nr\w*|ns\w*)$/;

// A single character the list tags as a bound noun, verb or adjective form
// (师 "ng", 身 "ng") is counted mostly inside words: 老师 is how "teacher"
// is said. (Its "zg" is a catch-all that 鸟 and 村 carry too.)
const BOUND_FORM = /^[nva]g$/;

function countsForThisUse(word, verbGloss, single) {
  if (!word.count) return 0;
  const elsewhere = verbGloss && NOT_A_VERB.test(word.tag);
  const bound = single && BOUND_FORM.test(word.tag);
  return word.count * (elsewhere ? 1 / 20 : 1) * (bound ? 1 / 5 : 1);
}

// A character counted fewer times than this in the whole list (溍, 獀, 虺)
// never leads a common word: a reader would not know it.
const RARE_CHARACTER = 300;
const isRare = (zh, listed) => (listed.count || 0) < ([...zh].length === 1 ? RARE_CHARACTER : 1);

// "cell phone" and "mobile phone" are phones: a two-word gloss of a modifier
// and a noun makes the Chinese word a candidate for the plain word as well,
// ranked below the words glossed with it alone. A closed compound of tele-
// and a word ("telephone") does so too, but only for a plain word that
// hardly any Chinese word is glossed with on its own (phone: 致电 alone):
// television is no vision, nor a telescope a scope.
const FUNCTION_WORD =
  /^(a|an|the|of|to|in|on|at|for|by|with|and|or|from|as|up|out|off|into|not|be|is|one|sb|sth|etc)$/i;
const COMBINING_FORM = /^(tele)([a-z]{4,})$/i;
const QUALIFIED_PENALTY = 2.5;
const FEW_OWN_RENDERINGS = 2;

// "to listen to", "to wait for", "to look at": the verb without its
// preposition is the word a reader looks up. Some such pairs are idioms of
// their own ("to bring about" is to cause, not to bring), so a verb rendered
// alone comes first when the two are used about as much.
const PARTICLE = /^([a-z]+) (to|at|for|on|with|about|of|from|into)$/;
const PARTICLE_PENALTY = 0.6;
const verbOf = (sub, form) => (/^\s*to /i.test(sub) ? PARTICLE.exec(form)?.[1] ?? null : null);

// { word, closed } or null.
function plainWordOf(sub, form) {
  if (/^\s*to /i.test(sub)) return null;  // a verb phrase ("go to bed") names no thing
  const words = form.split(' ');
  if (words.length === 2 && /^[a-z]+$/.test(words[1]) && !words.some((w) => FUNCTION_WORD.test(w)))
    return { word: words[1], closed: false };
  const m = words.length === 1 && COMBINING_FORM.exec(form);
  return m ? { word: m[2].toLowerCase(), closed: true } : null;
}

// Higher is better. How common the Chinese word is leads; a sense far down
// the Chinese entry, one said among others, a name rendering a common word
// ("Apple" the company for "apple") or a regional or literary use counts
// against it, so that 时间 ("time", first sense) outranks 时 (second sense)
// even though 时 is the more frequent word.
const SENSE_DECAY = 0.5;
// A lone character's first listed sense is mostly its use as a word of its
// own; the later ones are more often heard only inside longer words (礼
// "gift" before "rite", "ceremony"…, but 礼物 is how a gift is named).
const SINGLE_SENSE_DECAY = 0.3;
const SUB_PENALTY = 0.7;
// Everyday Chinese says most things in words of two characters or more;
// a lone character is more often a bound or literary form.
const SINGLE_PENALTY = 0.3;
function score({ frequency, meaningIndex, meaningCount, subIndex, subCount, proper, form, secondary, length,
  restricted }) {
  const namePenalty = proper && /^[a-z]/.test(form) ? 12 : !proper && /^[A-Z]/.test(form) ? 2 : 0;
  // The word's count spread over its senses, the first ones (as CC-CEDICT
  // orders them) carrying more: 老师 means only "teacher", 先生 also
  // "gentleman", "husband" and "doctor".
  let spread = 0;
  const decay = length === 1 ? SINGLE_SENSE_DECAY : SENSE_DECAY;
  for (let i = 0; i < meaningCount; ++i) spread += decay ** i;
  const forThisSense = frequency * decay ** meaningIndex / spread;
  return Math.log1p(forThisSense) - SUB_PENALTY * subIndex - (subCount > 1 ? 0.3 : 0) -
    namePenalty - (secondary ? 4 : 0) - 0.2 * Math.abs(length - 2) - (length === 1 ? SINGLE_PENALTY : 0) -
    (restricted ? RESTRICTED_PENALTY : 0);
}

// "key (project etc)", "to play (string instruments)": the word only in
// such uses, not the word as a reader means it. A one-word complement ("to
// think (about)") narrows nothing.
const RESTRICTED = /\S\s*\(([^()]*\betc\b[^()]*|[^()\s]+\s[^()]+)\)\s*$/;
// "(of water etc) clear; clean", "(indicating agreement) yes": a sense said
// of some things only, or a word used in one way only, narrows every gloss it
// leads. ("(concept of) time" only says which time is meant.)
const NARROWED = /^\s*\(((of|said of|used|indicating|after|before|in|when|with)\b[^()]*|[^()]*\betc\b[^()]*)\)/;
const RESTRICTED_PENALTY = 1.5;

// Keeps the order, except that no disreputable rendering stands in the first
// three places. When too few decent ones exist to fill them the others are
// left out, unless nothing decent renders the word at all (the English word
// is slang itself then).
export function demoteDisreputable(renderings) {
  if (renderings.every((r) => r.disreputable)) return renderings;
  const out = [];
  const held = [];
  for (const r of renderings) {
    if (r.disreputable && out.length < PROTECTED_PLACES) held.push(r);
    else out.push(r);
    while (held.length && out.length >= PROTECTED_PLACES) out.push(held.shift());
  }
  return out;
}

// Map of folded headword -> { form, renderings: [Chinese word, ...], candidates:
// how many Chinese words render it }. frequencyOf(zh) gives { count, tag }
// (count 0 for a word the list lacks); shares (usage.mjs) the part of that
// count each entry carries.
const logSumExp = (a, b) => Math.max(a, b) + Math.log1p(Math.exp(-Math.abs(a - b)));

// mainUseOf(word) says how the English word is mostly used: 'verb', 'other'
// (a noun or adjective) or '' (either). A rendering glossed in that use ranks
// first: "play" is mostly the verb, 玩 "to play" before 表演 "play; show".
// singularOf(word) gives the singular of a plural noun, or null.
const OTHER_USE_PENALTY = 1;

// Two signs of an everyday word that the written counts lack: levelOf(zh)
// gives its level in a learner's graded word list (1 is learnt first, up to
// GRADED_LEVELS; 0 if the list leaves it out), spokenOf(zh) how often film
// dialogue says it. Both speak of a word's main use, so they count in full
// for the first gloss of its first sense and less the further down the
// entry the English word is named: 多少 is learnt as "how many", not as
// "number". The subtitles count a written form, so a reading or entry gets
// the part of it that usage.mjs gives it (了 "to finish" is rarely said). They
// add to the score and never replace it: 老师 and 先生 are both learnt first.
const GRADED_BONUS = 1.5;
const GRADED_LEVELS = 6;
const gradedBonus = (level) => (level ? GRADED_BONUS * (GRADED_LEVELS + 1 - level) / GRADED_LEVELS : 0);
const SPOKEN_WEIGHT = 0.8;
const PRIMACY_DECAY = 0.5;
const everydayBonus = (c, levelOf, spokenOf) =>
  c.primacy * (gradedBonus(levelOf(c.zh)) + SPOKEN_WEIGHT * Math.log1p(spokenOf(c.zh) * c.share));

export function englishHeadwords(entries, frequencyOf, shares,
  { mainUseOf = () => '', singularOf = () => null, levelOf = () => 0, spokenOf = () => 0 } = {}) {
  const found = new Map();  // folded -> { forms: Map(form -> weight), candidates: Map(zh -> candidate) }
  const offer = (key, form, weight, c) => {
    let h = found.get(key);
    if (!h) found.set(key, (h = { forms: new Map(), candidates: new Map() }));
    if (form) h.forms.set(form, (h.forms.get(form) || 0) + weight);
    const old = h.candidates.get(c.zh);
    // One decent sense is enough for a word to be decent here; the counts of
    // its senses that name the same word add up (时间 is "time" three times).
    if (!old) h.candidates.set(c.zh, c);
    else h.candidates.set(c.zh, { ...c, score: logSumExp(old.score, c.score),
      disreputable: old.disreputable && c.disreputable, direct: old.direct || c.direct,
      closed: old.closed && c.closed, primacy: Math.max(old.primacy, c.primacy),
      share: Math.max(old.share, c.share) });
  };
  for (const e of entries) {
    const zh = e[1];
    if (!zh || isAscii(zh) || !shares.has(e)) continue;
    const proper = isProperName(e);
    const listed = frequencyOf(zh);
    const word = { ...listed, count: listed.count * shares.get(e) };
    const single = [...zh].length === 1;
    const rare = isRare(zh, listed);
    const meanings = meaningsOf(e);
    const share = shares.get(e);
    meanings.forEach((meaning, meaningIndex) => {
      const disreputable = isDisreputable(meaning);
      const secondary = SECONDARY.test(meaning);
      const subs = meaning.replace(CLASSIFIER_NOTE, ' ').split(/;\s*/);
      subs.forEach((sub, subIndex) => {
        const form = headwordOf(sub);
        if (!form) return;
        const verbGloss = /^\s*to (?!be )/i.test(stripParens(sub));
        const frequency = countsForThisUse(word, verbGloss, single);
        const use = mainUseOf(form.toLowerCase());
        const otherUse = use !== '' && (use === 'verb') !== verbGloss;
        const value = score({ frequency, meaningIndex, meaningCount: meanings.length, subIndex,
          subCount: subs.length, proper, form, secondary, length: [...zh].length,
          restricted: RESTRICTED.test(sub) || NARROWED.test(meaning) }) - (otherUse ? OTHER_USE_PENALTY : 0);
        const primacy = PRIMACY_DECAY ** (meaningIndex + subIndex);
        offer(form.toLowerCase(), form, proper ? 1 : 4,
          { zh, disreputable, rare, direct: true, score: value, primacy, share });
        const plain = plainWordOf(sub, form);
        if (plain && !proper) {
          offer(plain.word, null, 0,
            { zh, disreputable, rare, closed: plain.closed, score: value - QUALIFIED_PENALTY, primacy, share });
        }
        // "sports" renders "sport" too, which CC-CEDICT glosses in the plural
        // only; like a closed compound it stays out where the singular has
        // renderings of its own ("glasses" are no glass).
        const singular = proper ? null : singularOf(form);
        if (singular) {
          offer(singular, singular, 0,
            { zh, disreputable, rare, closed: true, score: value - QUALIFIED_PENALTY, primacy, share });
        }
        const verb = verbOf(sub, form);
        if (verb && !proper) {
          offer(verb, null, 0, { zh, disreputable, rare, score: value - PARTICLE_PENALTY, primacy, share });
        }
      });
    });
  }

  const out = new Map();
  for (const [key, h] of found) {
    // Stored headword: the form seen most (a lower-case common use outweighs a proper name).
    if (!h.forms.size) continue;  // named only inside compounds
    const form = [...h.forms.entries()].sort((a, b) => b[1] - a[1] || (a[0] < b[0] ? -1 : 1))[0][0];
    if (Buffer.byteLength(form) > MAX_WORD_BYTES || form.includes(';')) continue;
    const all = [...h.candidates.values()]
      .map((c) => ({ ...c, score: c.score + everydayBonus(c, levelOf, spokenOf) }));
    const own = all.filter((c) => c.direct).length;
    const ranked = all.filter((c) => !c.closed || own < FEW_OWN_RENDERINGS).sort((a, b) => a.rare - b.rare ||
      b.score - a.score || [...a.zh].length - [...b.zh].length || (a.zh < b.zh ? -1 : 1));
    out.set(key, { form, candidates: ranked.length,
      renderings: demoteDisreputable(ranked).slice(0, MAX_RENDERINGS).map((c) => c.zh) });
  }
  return out;
}
