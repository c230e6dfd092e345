// Joins path pieces with "/".
exports.join = (...parts) => parts.filter(Boolean).join('/');
