// TypeScript from its package: one module transpiled, and one file type-checked against the package's own lib files.
const fs = require("fs");
const ts = require("typescript");

const source = "enum Colour { Red, Green }\nexport const name = (c: Colour): string => Colour[c];\n";
const transpiled = ts.transpileModule(source, {
  compilerOptions: { module: ts.ModuleKind.CommonJS, target: ts.ScriptTarget.ES2020 },
});
console.log(transpiled.outputText);

// the lib files beside the package's main file
const lib = require.resolve("typescript").replace(/\/[^/]*$/, "");
const checked = __dirname + "/checked.ts";
const options = { strict: true, noEmit: true, target: ts.ScriptTarget.ES2020, lib: ["lib.es2020.d.ts"], types: [] };
const isFile = (f) => fs.existsSync(f) && fs.statSync(f).isFile();
const host = {
  getSourceFile: (f, language) => (isFile(f) ? ts.createSourceFile(f, fs.readFileSync(f, "utf8"), language) : undefined),
  getDefaultLibFileName: () => lib + "/lib.es2020.d.ts",
  getDefaultLibLocation: () => lib,
  writeFile: () => {},
  getCurrentDirectory: () => "/",
  getCanonicalFileName: (f) => f,
  useCaseSensitiveFileNames: () => true,
  getNewLine: () => "\n",
  fileExists: isFile,
  readFile: (f) => (isFile(f) ? fs.readFileSync(f, "utf8") : undefined),
  directoryExists: (d) => fs.existsSync(d) && fs.statSync(d).isDirectory(),
  getDirectories: (d) => fs.readdirSync(d).filter((n) => fs.statSync(d + "/" + n).isDirectory()),
};
const program = ts.createProgram([checked], options, host);
const libs = program.getSourceFiles().filter((f) => f.fileName.startsWith(lib)).length;
console.log(`checked.ts against ${libs} lib files`);
for (const d of ts.getPreEmitDiagnostics(program)) {
  const where = d.file ? d.file.fileName.replace(/^.*\//, "") : "(options)";
  const at = d.file ? d.file.getLineAndCharacterOfPosition(d.start) : { line: -1, character: -1 };
  const text = ts.flattenDiagnosticMessageText(d.messageText, "\n");
  console.log(`${where}(${at.line + 1},${at.character + 1}): error TS${d.code}: ${text}`);
}
