// date-fns through its ES entry: a fixed date in Japanese and German.
import { format, formatRelative, subMonths } from "date-fns";
import { ja, de } from "date-fns/locale";

const when = new Date(2024, 0, 15, 13, 5, 9);
for (const [name, locale] of [["ja", ja], ["de", de]]) {
  console.log(name, format(when, "PPPP HH:mm", { locale }));
  console.log(name, format(subMonths(when, 7), "EEEE do MMMM yyyy", { locale }));
  console.log(name, formatRelative(subMonths(when, 1), when, { locale }));
}
