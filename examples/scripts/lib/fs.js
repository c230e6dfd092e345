// A tiny file-system facade the native host fills in.
exports.read = (name) => native.read(name);
exports.exists = (name) => native.exists(name);
