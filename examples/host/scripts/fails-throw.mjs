// Fails as node does: an ES module that throws once its imports are in.
import { format } from "date-fns";
console.log(format(new Date(2000, 1, 29), "yyyy-MM-dd"));
throw new Error("thrown from an ES module");
