#!/usr/bin/env node
// Stops as node does: process.exit(3) from a promise's job, with the lines before it written.
const fs = require("fs");
console.log(fs.readdirSync(__dirname).includes("fails-exit.js"), typeof process.cwd(), typeof process.env);
console.log(fs.readdirSync(__dirname + "/..").filter((n) => n === "app" || n === "node_modules").sort().join());
Promise.resolve(3).then((code) => {
  console.log("exiting with", code);
  process.exit(code);
}).then(() => console.log("never"));
