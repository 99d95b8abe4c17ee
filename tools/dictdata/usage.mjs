// How much of a Chinese word's use each of its CC-CEDICT entries carries.
//
// The frequency list counts written forms, not readings: 那 is counted once,
// though nearly all of it is nà "that" and hardly any nuó "beautiful". A
// single character's count is split by the use of each reading in the words
// it is written in (那 is nà in 那么, 那里, 那些…); entries that share a
// reading split its share by the senses they record, a proper name's
// counting half. A longer word's entries share in that proportion alone:
// 东西 dōngxi "thing; stuff; person" is used more than dōngxī "east and west".
import { isProperName, meaningsOf, VARIANT_ONLY } from './cedict.mjs';

// Readings of a word as lower-case syllables with tone numbers ("nu:3" as "nv3").
export const syllablesOf = (pinyin) =>
  pinyin.toLowerCase().replace(/u:/g, 'v').split(/\s+/).filter(Boolean);

const onlyVariants = (e) => meaningsOf(e).every((m) => VARIANT_ONLY.test(m));

// The list's word class of a lone character says which use its own count
// is: 都 tagged as an adverb is dōu "all", however often 首都 and 成都 read
// it dū. A function-word class gives that count to the readings with a
// function-word sense.
const FUNCTION_CLASS = /^(d|p|c|u\w*|r\w*|m|q|f|y|e|o)$/;
const FUNCTION_SENSE = new RegExp('^(\\([^)]*\\)\\s*)*(all|both|still|yet|and|or|with|of|that|this|those|' +
  'these|not|also|even|again|only|just|then|already|very|more|most|in|at|on|from|by|for|if|because|but|so|' +
  'who|what|which|where|when|how|why|one|some|every|each|no)\\b|\\b(particle|marker|classifier|auxiliary)\\b', 'i');

const MIN_CLASS_USE = 100;

// Map entry -> share (0..1) of its simplified form's count. countOf(word)
// gives the listed count (0 when absent), tagOf(word) its word class.
export function entryShares(entries, countOf, tagOf = () => '') {
  // Use of each (character, syllable) in the words that contain the character.
  const readingUse = new Map();
  const classUse = new Map();  // the same in words of one class: "长 chang2 a"
  for (const e of entries) {
    const chars = [...e[1]];
    const syllables = syllablesOf(e[2]);
    if (chars.length < 2 || syllables.length !== chars.length || isProperName(e)) continue;
    const n = countOf(e[1]);
    if (!n) continue;
    const cls = tagOf(e[1]).charAt(0);
    chars.forEach((c, i) => {
      if (syllables[i] === 'r5') return;  // the erhua suffix (这儿 zhèr) is no use of 儿 as a word
      const key = `${c} ${syllables[i]}`;
      readingUse.set(key, (readingUse.get(key) || 0) + n);
      classUse.set(`${key} ${cls}`, (classUse.get(`${key} ${cls}`) || 0) + n);
    });
  }
  const bySimplified = new Map();
  for (const e of entries) {
    if (!e[1] || onlyVariants(e)) continue;
    let list = bySimplified.get(e[1]);
    if (!list) bySimplified.set(e[1], (list = []));
    list.push(e);
  }
  const shares = new Map();
  for (const [word, list] of bySimplified) {
    const single = [...word].length === 1;
    const readings = new Map();  // reading -> entries
    for (const e of list) {
      const r = syllablesOf(e[2]).join(' ');
      if (!readings.has(r)) readings.set(r, []);
      readings.get(r).push(e);
    }
    const weightOf = (e) => (isProperName(e) ? 0.5 : 1) * meaningsOf(e).length;
    if (single && FUNCTION_CLASS.test(tagOf(word))) {
      const functional = [...readings].filter(([, es]) =>
        es.some((e) => !isProperName(e) && meaningsOf(e).some((m) => FUNCTION_SENSE.test(m))));
      // Split as the words split them: 那 is nà in 那么 and 那些, and its
      // nuó "beautiful; how" hardly ever.
      const inWords = functional.map(([r]) => (readingUse.get(`${word} ${r}`) || 0) + 1);
      const sum = inWords.reduce((s, n) => s + n, 0);
      functional.forEach(([r], i) => {
        const key = `${word} ${r}`;
        readingUse.set(key, (readingUse.get(key) || 0) + countOf(word) * inWords[i] / sum);
      });
    }
    // One added use keeps a reading met in no listed word from vanishing; a
    // longer word's readings are weighed by the senses of their entries.
    // A lone noun, verb or adjective is read as it is in the words of its
    // class: 长 tagged an adjective is cháng "long" as in 漫长 and 冗长,
    // however often the nouns 校长 and 部长 read it zhǎng. A reading met
    // only in one word (扎 zhá "used in 挣扎") is no use of the character
    // alone. Too few such words leave it to the words of every class.
    const cls = tagOf(word).charAt(0);
    const onlyInWords = (r) => readings.get(r).every((e) => meaningsOf(e).every((m) => /^used in\b/i.test(m)));
    const inClass = (r) => (onlyInWords(r) ? 0 : classUse.get(`${word} ${r} ${cls}`) || 0);
    const byClass = single && cls !== '' && !FUNCTION_CLASS.test(tagOf(word)) &&
      [...readings.keys()].reduce((s, r) => s + inClass(r), 0) >= MIN_CLASS_USE;
    const use = (r) => (byClass ? inClass(r) + 1 : single ? (readingUse.get(`${word} ${r}`) || 0) + 1
      : readings.get(r).reduce((s, e) => s + weightOf(e), 0));
    const total = [...readings.keys()].reduce((s, r) => s + use(r), 0);
    for (const [r, es] of readings) {
      const weights = es.map(weightOf);
      const sum = weights.reduce((s, w) => s + w, 0);
      es.forEach((e, i) => shares.set(e, (use(r) / total) * (weights[i] / sum)));
    }
  }
  return shares;
}
