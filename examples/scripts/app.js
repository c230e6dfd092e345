// The entry script of the example: greets and uses the two libraries.
const fs = require('lib/fs');
const text = require('util/text');
console.log(text.banner('native scripts'));
