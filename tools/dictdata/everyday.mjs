// Signs of which Chinese words are everyday ones besides the counts of the
// frequency list, which come from written text and cannot tell 老师 from 先生:
// the graded word list of a learner's course (levels 1 to 6) and word counts
// of film subtitles, both as the chinese-lexicon package carries them.
import fs from 'node:fs';
import path from 'node:path';

// Map word -> level (1 is learnt first). The package keeps the list as the
// literal array its module starts with and exports only a lookup that falls
// back to the levels of a word's characters; a word listed twice keeps its
// lower level.
export function loadLevels(lexiconDir) {
  const file = path.join(lexiconDir, 'statistics', 'hsk.js');
  const m = /let hsk = (\[[\s\S]*?\]\s*\]);/.exec(fs.readFileSync(file, 'utf8'));
  if (!m) throw new Error(`no graded word list in ${file}`);
  const levels = new Map();
  JSON.parse(m[1]).forEach((words, i) => {
    for (const w of words) if (!levels.has(w)) levels.set(w, i + 1);
  });
  if (levels.size < 4000) throw new Error(`graded word list of ${file} too short: ${levels.size}`);
  return levels;
}

// Map word -> how many times the subtitles say it.
export function loadSpoken(require) {
  const { movieWordFrequencies } = require('chinese-lexicon/statistics/movieWordFrequency.js');
  const spoken = new Map(Object.entries(movieWordFrequencies).map(([w, f]) => [w, Number(f.count) || 0]));
  if (spoken.size < 50000) throw new Error(`subtitle word counts too short: ${spoken.size}`);
  return spoken;
}
