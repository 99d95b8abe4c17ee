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
// differs from it. A word that is both (乾 is a word of its own and the
// traditional form of 干) lists its own senses first.
export function chineseHeadwords(entries) {
  // Common uses before proper names.
  const byCommonFirst = [...entries].sort((a, b) => isProperName(a) - isProperName(b));
  const words = new Map();  // headword -> { readings: [], senses: [] }
  const add = (word, e) => {
    if (isAscii(word) || !storable(word)) return;
    let c = words.get(word);
    if (!c) words.set(word, (c = { readings: [], senses: [] }));
    const r = readingCode(e[2]);
    if (r && !c.readings.includes(r)) c.readings.push(r);
    for (const m of meaningsOf(e)) {
      // Cross-references to other spellings say nothing on their own.
      if (VARIANT_ONLY.test(m)) continue;
      const sense = readableReferences(m);
      if (c.senses.includes(sense) || c.senses.length >= MAX_SENSES) continue;
      c.senses.push(sense);
    }
  };
  for (const e of byCommonFirst) if (e[1]) add(e[1], e);
  for (const e of byCommonFirst) if (e[0] && e[0] !== e[1]) add(e[0], e);
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
