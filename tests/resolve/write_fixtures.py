#!/usr/bin/env python3
"""Writes the fixture trees of a resolution cases file, as the oracle builds them.

  write_fixtures.py CASES OUT     # OUT/<fixture>/... for every fixture

A name ending in "/" is a folder; a value that is not a string is written
as JSON (two-space indent, as JSON.stringify(v, null, 2) writes it). A file
already holding its bytes is left alone, so a build that reads them redoes
nothing.
"""
import json
import os
import sys


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: write_fixtures.py CASES OUT")
    with open(sys.argv[1], encoding="utf-8") as f:
        cases = json.load(f)
    for fixture in cases["fixtures"]:
        root = os.path.join(sys.argv[2], fixture["name"])
        for name, content in fixture["files"].items():
            target = os.path.join(root, name.lstrip("/"))
            if name.endswith("/"):
                os.makedirs(target, exist_ok=True)
                continue
            os.makedirs(os.path.dirname(target), exist_ok=True)
            text = content if isinstance(content, str) else json.dumps(content, indent=2, ensure_ascii=False)
            data = text.encode("utf-8")
            try:
                with open(target, "rb") as f:
                    if f.read() == data:
                        continue
            except OSError:
                pass
            with open(target, "wb") as f:
                f.write(data)


main()
