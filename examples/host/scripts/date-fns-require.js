// date-fns through its CommonJS entry: a fixed date in Japanese and German.
const { format, formatDistance, addDays } = require("date-fns");
const { ja, de } = require("date-fns/locale");
const { version } = require("date-fns/package.json");
console.log("date-fns", version, "cached:", require("date-fns") === require("date-fns"));

const when = new Date(2024, 0, 15, 13, 5, 9);
for (const [name, locale] of [["ja", ja], ["de", de]]) {
  console.log(name, format(when, "PPPP p", { locale }));
  console.log(name, format(addDays(when, 45), "EEEE, d. MMMM yyyy, HH:mm:ss", { locale }));
  console.log(name, formatDistance(when, addDays(when, 45), { locale, addSuffix: true }));
}
