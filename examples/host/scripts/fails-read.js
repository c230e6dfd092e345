// Fails as node does: a file that is not there, after asking whether it is.
const fs = require("fs");
console.log(fs.existsSync(__dirname + "/no-such-file.txt"), fs.existsSync(__dirname));
console.log(fs.statSync(__dirname + "/no-such-file.txt", { throwIfNoEntry: false }));
console.log(fs.statSync(__dirname).isDirectory(), fs.statSync(__filename).isFile(), fs.statSync(__filename).isDirectory());
fs.readFileSync(__dirname + "/no-such-file.txt", "utf8");
