// Reading CC-CEDICT entries: glosses cleaned for display, and the Chinese
// headwords (simplified and traditional forms) with their readings and senses.
//
// An entry of the cc-cedict package is [traditional, simplified, pinyin,
// meaning or meanings, ...].

export const MAX_WORD_BYTES = 160;
export const SEP = '\\n';  // backslash + "n": the format's sense separator
const MAX_SENSES = 8;
export const VARIANT_ONLY = /^(\(\w+\) )?((old|unofficial|archaic|Japanese|erroneous|ancient|nonstandard) )*variant of \S+$/i;

export const isAscii = (s) => /^[\x00-\x7f]*$/.test(s);
export const hasHan = (s) => /\p{Script=Han}/u.test(s);
export const cleanText = (s) => s.replace(/[\t\r\n\\]/g, ' ').replace(/\s+/g, ' ').trim();

export function meaningsOf(e) {
  return (Array.isArray(e[3]) ? e[3] : [e[3]]).map(cleanText).filter(Boolean);
}

// Headwords the format can store.
export const storable = (word) =>
  !!word && !word.includes(';') && Buffer.byteLength(word) <= MAX_WORD_BYTES;

// A capitalised reading marks a proper name.
export const isProperName = (e) => /^[A-Z]/.test(e[2]);

// "紙|纸[zhi3]", "紙|纸" and "纸[zhi3]" read as the simplified word alone; the
// classifier note "CL:個|个[ge4],張|张[zhang1]" as "量词: 个, 张".
export function readableReferences(meaning) {
  return meaning
    .replace(/\bCL:\s*/g, '量词: ')
    .replace(/(?:[^\s\[\]|,;()]+\|)?([^\s\[\]|,;()]+)\[[^\]]*\]/gu, '$1')
    .replace(/[\p{Script=Han}·]+\|([\p{Script=Han}·]+)/gu, '$1')
    .replace(/量词: ([^()]*)/g, (_, list) => '量词: ' + list.split(/\s*,\s*/).join(', '));
}

// Readings as the ASCII phonetic code: lower case (capitals would be taken
// for symbol codes), "u:" written "v", nothing but letters, digits and blanks.
function readingCode(pinyin) {
  return pinyin.toLowerCase().replace(/u:/g, 'v').replace(/[^a-z0-9 ]/g, '').replace(/\s+/g, ' ').trim();
}

// Chinese headwords: every simplified form, then every traditional form that
// differs from it, each with its readings and senses, the most used first:
// share(e) is the part of the word's use that entry carries (usage.mjs), so
// 说 reads shuō before shuì and 东西 "thing" comes before "east and west".
// Proper names come after common uses. Within an entry CC-CEDICT's order
// holds, except that senseKey(meaning) puts a sense that names a word or
// short phrase (0) before one glossed by longer phrases only (1, "to go to
// bed" after "to sleep") or marked literary, regional or the like (1), and
// those before a usage note that names nothing (2, "used in 上声").
export function chineseHeadwords(entries, { share = () => 1, senseKey = () => 0 } = {}) {
  const entriesOf = new Map();  // headword -> [entry]
  const collect = (word, e) => {
    if (isAscii(word) || !storable(word)) return;
    if (!entriesOf.has(word)) entriesOf.set(word, []);
    entriesOf.get(word).push(e);
  };
  for (const e of entries) if (e[1]) collect(e[1], e);
  for (const e of entries) if (e[0] && e[0] !== e[1]) collect(e[0], e);

  const words = new Map();  // headword -> { readings: [], senses: [] }
  for (const [word, list] of entriesOf) {
    const readingWeight = new Map();
    for (const e of list) {
      const r = readingCode(e[2]);
      if (!isProperName(e)) readingWeight.set(r, (readingWeight.get(r) || 0) + share(e));
    }
    const weightOf = (e) => readingWeight.get(readingCode(e[2])) ?? -1;
    // Entries of one reading: the one with more senses first (后 "empress"
    // is hòu, and so is 後 "back; behind; after; later…").
    const ordered = list.map((e, order) => ({ e, order })).sort((a, b) =>
      isProperName(a.e) - isProperName(b.e) || weightOf(b.e) - weightOf(a.e) ||
      meaningsOf(b.e).length - meaningsOf(a.e).length || a.order - b.order);
    const c = { readings: [], senses: [] };
    for (const { e } of ordered) {
      const r = readingCode(e[2]);
      if (r && !c.readings.includes(r)) c.readings.push(r);
      const senses = meaningsOf(e)
        // Cross-references to other spellings say nothing on their own.
        .filter((m) => !VARIANT_ONLY.test(m))
        .map((m, i) => ({ text: readableReferences(m), key: senseKey(m), i }))
        .sort((a, b) => a.key - b.key || a.i - b.i);
      for (const { text } of senses) {
        if (c.senses.includes(text) || c.senses.length >= MAX_SENSES) continue;
        c.senses.push(text);
      }
    }
    words.set(word, c);
  }
  return words;
}

export function chineseLines(words) {
  const lines = [];
  for (const [word, c] of words) {
    if (!c.senses.length) continue;
    const phone = c.readings.length ? `/${c.readings.join(', ')}/` + SEP : '';
    lines.push(`${word}\t${phone}${c.senses.join(SEP)}`);
  }
  return lines;
}
