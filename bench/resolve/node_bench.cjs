// node's require.resolve's time per call over the same questions: the first pass, then the passes after it (node caches).
//
//   node bench/resolve/node_bench.cjs FOLDER QUESTIONS PASSES
// Prints "node-require first|warm MEDIAN_NS P90_NS CALLS" lines.
const fs = require('node:fs');
const path = require('node:path');
const { createRequire } = require('node:module');

const [folder, file, passesText] = process.argv.slice(2);
const questions = fs.readFileSync(file, 'utf8').split('\n').filter(Boolean).map((l) => l.split('\t'))
  .filter(([mode]) => mode === 'require');
const requires = new Map();
for (const [, , from] of questions)
  if (!requires.has(from)) requires.set(from, createRequire(path.join(folder, from)));
const times = [[], []];
for (let pass = 0; pass < Math.max(1, Number(passesText)); ++pass) {
  for (const [, specifier, from] of questions) {
    const r = requires.get(from);
    const start = process.hrtime.bigint();
    try { r.resolve(specifier); } catch {}
    times[pass > 0 ? 1 : 0].push(Number(process.hrtime.bigint() - start));
  }
}
['first', 'warm'].forEach((pass, k) => {
  const t = times[k].sort((a, b) => a - b);
  if (t.length) console.log(`node-require ${pass} ${t[t.length >> 1]} ${t[Math.floor(t.length * 0.9)]} ${t.length}`);
});
