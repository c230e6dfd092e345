#!/usr/bin/env python3
"""Writes each fenced code block of the given Markdown files to OUT as
<file name>.<language>.<n> (n counts from 1 per file and language), byte
for byte as a reader copies it, and lists the names written. Blocks marked
`text` are samples, not code, and are left out; a block with no language
is an error, so that every snippet is either code a test builds or a
sample said to be one.
    snippets.py OUT FILE.md...
"""
import os
import sys


def main():
    out, files = sys.argv[1], sys.argv[2:]
    os.makedirs(out, exist_ok=True)
    for path in files:
        counts = {}
        language, lines, opened_at = None, [], 0
        with open(path, encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                if line.startswith("```") and language is None:
                    language = line[3:].strip()
                    if not language:
                        sys.exit(f"{path}:{number}: a code block with no language (text, sh, cmake, cpp, ...)")
                    lines, opened_at = [], number
                elif line.startswith("```"):
                    if language != "text":
                        counts[language] = counts.get(language, 0) + 1
                        name = f"{os.path.basename(path)}.{language}.{counts[language]}"
                        with open(os.path.join(out, name), "w", encoding="utf-8", newline="") as block:
                            block.write("".join(lines))
                        print(name)
                    language = None
                elif language is not None:
                    lines.append(line)
        if language is not None:
            sys.exit(f"{path}:{opened_at}: a code block that is never closed")


main()
