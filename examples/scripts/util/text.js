// Text helpers; note the non-ASCII bytes: “quotes” and café.
exports.banner = (s) => `== ${s} ==`;
exports.cafe = 'café';
