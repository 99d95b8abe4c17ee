// English inflected forms (went, children, better, studies) as headwords that
// point to their lemma and carry its renderings.
//
// en-inflectors makes the forms by rule and by its lists of irregular words;
// a form is used only when the en-lexicon word list knows it in that role
// (so "child" gives "children" but no "childed"), and only for a lemma the
// lexicon knows in the matching part of speech.
import { SEP } from './cedict.mjs';

// [lexicon tags of the lemma, tag of the form, how the form is made, its
// name]. Comparison needs the lemma to be mainly an adjective or adverb (its
// first tag): "bet" is rarely one, and "better" is not its comparative.
const KINDS = [
  [['VB', 'VBP'], 'VBD', (i) => i.toPast(), '过去式'],
  [['VB', 'VBP'], 'VBN', (i) => i.toPastParticiple(), '过去分词'],
  [['VB', 'VBP'], 'VBZ', (i) => i.toPresentS(), '第三人称单数'],
  [['VB', 'VBP'], 'VBG', (i) => i.toGerund(), '现在分词'],
  [['NN'], 'NNS', (i) => i.toPlural(), '复数'],
  [['JJ'], 'JJR', (i) => i.comparative(), '比较级'],
  [['JJ'], 'JJS', (i) => i.superlative(), '最高级'],
  [['RB'], 'RBR', (i) => i.comparative(), '比较级'],
  [['RB'], 'RBS', (i) => i.superlative(), '最高级'],
];
const RENDERINGS_SHOWN = 6;
const RENDERINGS_INLINE = 3;

export const tagsOf = (lexicon, word) =>
  (Object.prototype.hasOwnProperty.call(lexicon, word) && typeof lexicon[word] === 'string'
    ? lexicon[word].split('|') : []);

const joinNames = (names) =>
  (names.length <= 2 ? names.join('和') : names.slice(0, -1).join('、') + '和' + names[names.length - 1]);

// form -> [{ lemma, names: [..] }], for every single-word lower-case
// headword that has renderings.
export function inflectedForms(english, Inflectors, lexicon) {
  const forms = new Map();
  for (const [key, h] of english) {
    if (!/^[a-z]+$/.test(key) || h.form !== key || !h.renderings.length) continue;
    // A word that is mainly a function word ("the") has no inflections,
    // whatever rare tags the lexicon also gives it.
    const lemmaTags = tagsOf(lexicon, key);
    if (!/^(NN|VB|JJ|RB)/.test(lemmaTags[0] || '')) continue;
    const inflector = new Inflectors(key);
    for (const [lemmaNeeds, tag, make, name] of KINDS) {
      const comparison = /^(JJ|RB)$/.test(lemmaNeeds[0]);
      if (comparison ? lemmaTags[0] !== lemmaNeeds[0] : !lemmaNeeds.some((t) => lemmaTags.includes(t))) continue;
      let form;
      try { form = make(inflector); } catch { continue; }
      if (typeof form !== 'string' || !/^[a-z]+$/.test(form) || form === key) continue;
      if (!tagsOf(lexicon, form).includes(tag)) continue;
      let list = forms.get(form);
      if (!list) forms.set(form, (list = []));
      let p = list.find((x) => x.lemma === key);
      if (!p) list.push((p = { lemma: key, names: [] }));
      if (!p.names.includes(name)) p.names.push(name);
    }
  }
  return forms;
}

// Entry lines for the inflected forms. A form that is no headword yet gets
// one: "go 的过去式", then the lemma's renderings (or, with several lemmas,
// one sense for each: "leaf 的复数：叶；叶子"). A form that already is a
// headword of its own ("felt" is also the cloth) keeps its senses and gains
// the pointer after its first three.
export function inflectionLines(english, forms) {
  const lines = [];
  const extra = new Map();  // existing headword key -> pointer senses to append
  const pointer = (p, inline) => {
    const head = `${p.lemma} 的${joinNames(p.names)}`;
    const renderings = english.get(p.lemma).renderings;
    return inline ? `${head}：${renderings.slice(0, RENDERINGS_INLINE).join('；')}` : head;
  };
  for (const [form, pointers] of forms) {
    if (english.has(form)) {
      extra.set(form, pointers.map((p) => pointer(p, true)));
      continue;
    }
    const senses = pointers.length === 1
      ? [pointer(pointers[0], false), ...english.get(pointers[0].lemma).renderings.slice(0, RENDERINGS_SHOWN)]
      : pointers.map((p) => pointer(p, true));
    lines.push(`${form}\t${senses.join(SEP)}`);
  }
  return { lines, extra };
}
