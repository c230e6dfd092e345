// A file with type errors, checked against the ES2020 lib.
const count: number = "three";

function greet(name: string): string {
  return "hello " + name.padStart(8);
}
greet(42);

const parts = [1, [2, 3]].flat().map((n) => n.toFixed(1)).join(", ");
parts.push("4.0");

const found = new Map<string, number>([["a", 1]]).get("a");
const doubled: number = found * 2;

console.log(count, doubled, "日本語".normalize("NFC"));
