// Fails as node does: a package that is not there.
console.log("before");
require("no-such-package");
console.log("never");
