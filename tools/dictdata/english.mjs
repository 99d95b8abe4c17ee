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
// other than the one a gloss names: 于 is counted as the preposition, not as
// "to go"; 宗 mostly as a name, not as "school".
const NOT_A_VERB = /^(p|c|u\w*|q|d|t|f|r\w*|m|y|e|o|nr\w*|ns\w*)$/;
const A_NAME = /^(nr\w*|ns\w*)$/;

function countsForThisUse(word, verbGloss, form) {
  if (!word.count) return 0;
  const elsewhere = verbGloss ? NOT_A_VERB.test(word.tag) : /^[a-z]/.test(form) && A_NAME.test(word.tag);
  return elsewhere ? word.count / 20 : word.count;
}

// Higher is better. How common the Chinese word is leads; a sense far down
// the Chinese entry, one said among others, a name rendering a common word
// ("Apple" the company for "apple") or a regional or literary use counts
// against it, so that 时间 ("time", first sense) outranks 时 (second sense)
// even though 时 is the more frequent word.
function score({ frequency, meaningIndex, subIndex, subCount, proper, form, secondary, length }) {
  const namePenalty = proper && /^[a-z]/.test(form) ? 12 : !proper && /^[A-Z]/.test(form) ? 2 : 0;
  return Math.log1p(frequency) - 1.2 * meaningIndex - 0.7 * subIndex - (subCount > 1 ? 0.3 : 0) -
    namePenalty - (secondary ? 4 : 0) - 0.2 * Math.abs(length - 2);
}

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

// Map of folded headword -> { form, renderings: [Chinese word, ...] }.
// frequencyOf(zh) gives { count, tag } (count 0 for a word the list lacks).
export function englishHeadwords(entries, frequencyOf) {
  // A word with several entries (汉: the Han people, and "man") shares its
  // count among them: the list does not say which reading it counted. A name
  // (often a surname) takes a smaller share; an entry that only names another
  // spelling (帋, "variant of 紙") takes none.
  const entriesOf = new Map();
  for (const e of entries) {
    if (meaningsOf(e).every((m) => VARIANT_ONLY.test(m))) continue;
    entriesOf.set(e[1], (entriesOf.get(e[1]) || 0) + (isProperName(e) ? 0.5 : 1));
  }
  const found = new Map();  // folded -> { forms: Map(form -> weight), candidates: Map(zh -> candidate) }
  for (const e of entries) {
    const zh = e[1];
    if (!zh || isAscii(zh)) continue;
    const proper = isProperName(e);
    const listed = frequencyOf(zh);
    const word = { ...listed, count: listed.count / Math.max(1, entriesOf.get(zh) || 0) };
    meaningsOf(e).forEach((meaning, meaningIndex) => {
      const disreputable = isDisreputable(meaning);
      const secondary = SECONDARY.test(meaning);
      const subs = meaning.replace(CLASSIFIER_NOTE, ' ').split(/;\s*/);
      subs.forEach((sub, subIndex) => {
        const form = headwordOf(sub);
        if (!form) return;
        const frequency = countsForThisUse(word, /^\s*to (?!be )/i.test(stripParens(sub)), form);
        const key = form.toLowerCase();
        let h = found.get(key);
        if (!h) found.set(key, (h = { forms: new Map(), candidates: new Map() }));
        h.forms.set(form, (h.forms.get(form) || 0) + (proper ? 1 : 4));
        const c = {
          zh, disreputable, score: score({ frequency, meaningIndex, subIndex, subCount: subs.length, proper,
            form, secondary, length: [...zh].length }),
        };
        const old = h.candidates.get(zh);
        // One decent sense is enough for a word to be decent here.
        if (!old) h.candidates.set(zh, c);
        else h.candidates.set(zh, { zh, score: Math.max(old.score, c.score),
          disreputable: old.disreputable && c.disreputable });
      });
    });
  }

  const out = new Map();
  for (const [key, h] of found) {
    // Stored headword: the form seen most (a lower-case common use outweighs a proper name).
    const form = [...h.forms.entries()].sort((a, b) => b[1] - a[1] || (a[0] < b[0] ? -1 : 1))[0][0];
    if (Buffer.byteLength(form) > MAX_WORD_BYTES || form.includes(';')) continue;
    const ranked = [...h.candidates.values()].sort((a, b) =>
      b.score - a.score || [...a.zh].length - [...b.zh].length || (a.zh < b.zh ? -1 : 1));
    out.set(key, { form, renderings: demoteDisreputable(ranked).slice(0, MAX_RENDERINGS).map((c) => c.zh) });
  }
  return out;
}
