// prettier's standalone build formatting a small file: its format() is async, so the job queue runs it.
const fs = require("fs");
const prettier = require("prettier/standalone");
const babel = require("prettier/plugins/babel");
const estree = require("prettier/plugins/estree");

const source = fs.readFileSync(__dirname + "/unformatted.js", "utf8");
prettier
  .format(source, { parser: "babel", plugins: [babel, estree], printWidth: 60 })
  .then((formatted) => console.log(formatted), (error) => { console.error(error); process.exit(1); });
