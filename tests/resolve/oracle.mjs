// Node's own answers to resolution questions, written as the tables the resolver's tests compare with.
//
//   node tests/resolve/oracle.mjs fixtures tests/resolve/cases.json tests/resolve/expected-fixtures.json
//   node tests/resolve/oracle.mjs packages FOLDER tests/resolve/expected-packages.json
//
// fixtures: builds each fixture of the cases file in a temporary folder and
// asks node for every (specifier, from) of it. packages: over FOLDER (what
// tests/packages/fetch prints), every require("...") and import/export
// ... from "..." found in the packages' scripts, from the file that holds
// it, and each package's name and exported subpaths from FOLDER/index.js.
// Every question is asked in both modes: require by
// module.createRequire(from).resolve(), import by a resolve hook that
// calls nextResolve with the mode's conditions. Answers are tree paths
// (the root of the tree is the fixture's folder, or FOLDER; "${root}" in a
// specifier stands for it) with a format,
// or node's error code; the table is sorted, one row a line.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import module from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const ASK = 'nativegen-ask:';

// The hook: a question in the specifier, node's answer back as a module.
const hook = `
export async function resolve(specifier, context, nextResolve) {
  if (!specifier.startsWith(${JSON.stringify(ASK)})) return nextResolve(specifier, context);
  const q = JSON.parse(decodeURIComponent(specifier.slice(${ASK.length})));
  let answer;
  try {
    const r = await nextResolve(q.specifier, { parentURL: q.parentURL, conditions: q.conditions, importAttributes: {} });
    answer = { url: r.url, format: r.format ?? null };
  } catch (e) {
    answer = { code: e.code ?? null, message: String(e.message).split('\\n')[0] };
  }
  return { url: 'data:text/javascript,export default ' + encodeURIComponent(JSON.stringify(answer)), shortCircuit: true };
}`;

// The tree path of the file `file` below `root`, or what node gave when
// it is not a file there.
function treePath(root, file) {
  if (!path.isAbsolute(file)) return file;
  const rel = path.relative(root, file);
  if (rel.startsWith('..')) throw new Error(`oracle: ${file} is outside the tree ${root}`);
  return '/' + rel.split(path.sep).join('/');
}

// Run in a child with the host's conditions (-C): answers every question.
async function answer(questions) {
  module.register('data:text/javascript,' + encodeURIComponent(hook));
  const ask = async (specifier, from, conditions) => {
    const q = { specifier, parentURL: pathToFileURL(from).href, conditions };
    return (await import(ASK + encodeURIComponent(JSON.stringify(q)))).default;
  };
  const out = [];
  for (const { root, specifier: asked, from, conditions } of questions) {
    const absolute = path.join(root, from);
    // "${root}" in a specifier stands for the tree's root (absolute paths and file: URLs)
    const specifier = asked.replaceAll('${root}', root);
    const row = {};
    // import, with node's conditions for it and the host's
    const esm = ['import', 'node', 'node-addons', ...conditions];
    const i = await ask(specifier, absolute, esm);
    if (i.code !== undefined) {
      row.import = { code: i.code };
    } else {
      const file = i.url.startsWith('file:') ? path.normalize(fileURLToPath(i.url)) : i.url;
      row.import = { path: treePath(root, file), format: i.format };
    }
    // require (the host's conditions came with -C)
    try {
      const found = module.createRequire(absolute).resolve(specifier);
      let format = 'builtin';
      if (path.isAbsolute(found)) {
        // the format by the rule import gives a file by
        const f = await ask(pathToFileURL(found).href, absolute, esm);
        format = f.code !== undefined ? null : f.format;
      }
      row.require = { path: treePath(root, found), format };
    } catch (e) {
      // node 20's require throws a package.json it cannot parse with no
      // code; import names the same fault ERR_INVALID_PACKAGE_CONFIG
      const code = e.code ?? (String(e.message).startsWith('Error parsing ') ? 'ERR_INVALID_PACKAGE_CONFIG' : null);
      row.require = { code };
    }
    out.push(row);
  }
  return out;
}

// Asks node every question, a child per set of host conditions.
function askNode(questions) {
  const groups = new Map();
  questions.forEach((q, n) => {
    const key = JSON.stringify(q.conditions);
    if (!groups.has(key)) groups.set(key, []);
    groups.get(key).push(n);
  });
  const answers = new Array(questions.length);
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'nativegen-oracle-'));
  try {
    for (const [key, members] of groups) {
      const file = path.join(scratch, 'questions.json');
      fs.writeFileSync(file, JSON.stringify(members.map((n) => questions[n])));
      const flags = JSON.parse(key).flatMap((c) => ['-C', c]);
      const child = spawnSync(process.execPath,
        ['--experimental-wasm-modules', '--no-warnings', ...flags, fileURLToPath(import.meta.url), 'answer', file],
        { encoding: 'utf8', maxBuffer: 1 << 30 });
      if (child.status !== 0) throw new Error(`oracle: node failed answering: ${child.stderr}`);
      const got = JSON.parse(child.stdout);
      members.forEach((n, k) => { answers[n] = got[k]; });
    }
  } finally {
    fs.rmSync(scratch, { recursive: true, force: true });
  }
  return answers;
}

// The table: rows sorted by their questions, one a line.
function writeTable(file, rows) {
  const key = (r) => JSON.stringify([r.fixture ?? '', r.conditions, r.from, r.specifier]);
  rows.sort((a, b) => (key(a) < key(b) ? -1 : key(a) > key(b) ? 1 : 0));
  const lines = rows.map((r) => '  ' + JSON.stringify(r));
  fs.writeFileSync(file, `{"node": ${JSON.stringify(process.version)}, "rows": [\n${lines.join(',\n')}\n]}\n`);
  console.log(`oracle: ${rows.length} rows into ${file}`);
}

// Writes a fixture's files under `root`: a name ending in "/" is a
// folder; a value that is not a string is written as JSON.
export function buildFixture(root, files) {
  for (const [name, content] of Object.entries(files)) {
    const target = path.join(root, name);
    if (name.endsWith('/')) { fs.mkdirSync(target, { recursive: true }); continue; }
    fs.mkdirSync(path.dirname(target), { recursive: true });
    fs.writeFileSync(target, typeof content === 'string' ? content : JSON.stringify(content, null, 2));
  }
}

function fixtures(casesFile, out) {
  const cases = JSON.parse(fs.readFileSync(casesFile, 'utf8'));
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'nativegen-fixtures-'));
  try {
    const questions = [];
    for (const f of cases.fixtures) {
      const root = path.join(scratch, f.name);
      buildFixture(root, f.files);
      // the builtins fixture asks for every builtin node lists, bare and with "node:"
      const every = f.name === 'builtins' ? module.builtinModules.flatMap((b) => [[b, '/main.js'], ['node:' + b, '/main.js']]) : [];
      const asked = new Set();
      for (const [specifier, from] of [...f.asks, ...every]) {
        if (asked.has(specifier + '\0' + from)) continue;
        asked.add(specifier + '\0' + from);
        questions.push({ fixture: f.name, root, specifier, from, conditions: f.conditions ?? [] });
      }
    }
    const answers = askNode(questions);
    writeTable(out, questions.map(({ fixture, specifier, from, conditions }, n) =>
      ({ fixture, conditions, from, specifier, ...answers[n] })));
  } finally {
    fs.rmSync(scratch, { recursive: true, force: true });
  }
}

// What the scripts below `folder` ask for: (specifier, from) pairs.
function scan(root, folder, found) {
  const patterns = [/\brequire\(\s*(['"])([^'"\n]+)\1\s*\)/g,
    /\b(?:import|export)\s[^;'"]*?\bfrom\s*(['"])([^'"\n]+)\1/g, /\bimport\s*(['"])([^'"\n]+)\1/g];
  for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
    const full = path.join(folder, entry.name);
    if (entry.isDirectory()) { if (entry.name !== 'node_modules') scan(root, full, found); continue; }
    if (!entry.isFile() || !/\.(js|cjs|mjs)$/.test(entry.name)) continue;
    const text = fs.readFileSync(full, 'utf8');
    const from = treePath(root, full);
    for (const re of patterns) for (const m of text.matchAll(re)) found.add(JSON.stringify([m[2], from]));
  }
}

function packages(folder, out) {
  const root = path.resolve(folder);
  const names = ['date-fns', 'prettier', 'typescript'];
  const found = new Set();
  for (const name of names) {
    const dir = path.join(root, 'node_modules', name);
    scan(root, dir, found);
    found.add(JSON.stringify([name, '/index.js']));
    const { exports } = JSON.parse(fs.readFileSync(path.join(dir, 'package.json'), 'utf8'));
    if (exports && typeof exports === 'object')
      for (const key of Object.keys(exports))
        if (key.startsWith('./') && !key.includes('*')) found.add(JSON.stringify([name + key.slice(1), '/index.js']));
  }
  const questions = [...found].sort().map((s) => {
    const [specifier, from] = JSON.parse(s);
    return { root, specifier, from, conditions: [] };
  });
  const answers = askNode(questions);
  writeTable(out, questions.map(({ specifier, from, conditions }, n) => ({ conditions, from, specifier, ...answers[n] })));
}

const [command, input, output] = process.argv.slice(2);
if (command === 'answer') {
  process.stdout.write(JSON.stringify(await answer(JSON.parse(fs.readFileSync(input, 'utf8')))));
} else if (command === 'fixtures' && input && output) {
  fixtures(input, output);
} else if (command === 'packages' && input && output) {
  packages(input, output);
} else {
  console.error('usage: oracle.mjs fixtures CASES OUT | packages FOLDER OUT');
  process.exit(2);
}
