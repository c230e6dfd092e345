#!/usr/bin/env python3
"""Writes a benchmark corpus: JS-like text in a tree of directories,
the same bytes for the same name and seed on every machine.

    corpus.py NAME DIR [--seed N]

Corpora: c100 (200 files of 500 KB over 4 directories), s100k (100,000 files
of 1 KB in 1,000 directories, 10 levels deep in places), m25, m50, m100,
m200 (a doubling series of 500 KB files), small20k (20,000 files of 1 KB in
200 directories), tiny (a seconds-long smoke).

Shaped like real packages, for the consumer-build benchmark: typescript
(7 scripts, 15 MB, two of several MB, as typescript@5.6.3's lib/),
typescript-package (that package whole, 120 files, 22 MB, with its
.d.ts and .json files),
three (886 scripts, 12 MB, many small and a few large, as three@0.150.0's
build/, src/ and examples/jsm/), and consumer-tiny (a seconds-long smoke
of the same).
"""
import argparse
import os
import random
import sys

KEYWORDS = ("function", "const", "let", "var", "return", "if", "else", "for", "while", "new",
            "this", "typeof", "await", "async", "class", "extends", "import", "export", "null")
WORDS = ("value", "index", "buffer", "module", "exports", "require", "length", "result",
         "callback", "options", "handler", "stream", "native", "binding", "path", "error")
NON_ASCII = ("café", "naïve", "“quoted”", "中文", "日本語", "Ωmega", "→", "…")


def make_pool(rng, size):
    """About `size` bytes of JS-like text: keywords, identifiers, numbers,
    strings, comments and some non-ASCII bytes."""
    out = []
    total = 0
    while total < size:
        kind = rng.random()
        if kind < 0.30:
            piece = rng.choice(KEYWORDS) + " "
        elif kind < 0.55:
            piece = rng.choice(WORDS) + rng.choice(("", "_", "")) + rng.choice(("", str(rng.randrange(100))))
            piece += rng.choice((" = ", "(", ").", ", ", ";\n", " + "))
        elif kind < 0.70:
            piece = str(rng.randrange(1 << rng.randrange(1, 31))) + rng.choice((";\n", ", ", " * "))
        elif kind < 0.82:
            piece = "'" + " ".join(rng.choice(WORDS) for _ in range(rng.randrange(1, 5))) + "'"
        elif kind < 0.92:
            piece = "// " + " ".join(rng.choice(WORDS + NON_ASCII) for _ in range(rng.randrange(2, 9))) + "\n"
        elif kind < 0.97:
            piece = "{\n  " if rng.random() < 0.5 else "\n}\n"
        else:
            piece = "/* " + rng.choice(NON_ASCII) + " */ "
        data = piece.encode("utf-8")
        out.append(data)
        total += len(data)
    return b"".join(out)


def write_files(rng, pool, root, directories, count, size):
    """`count` files of `size` bytes, spread over the directories in turn,
    each a slice of the pool at a seeded offset."""
    for i in range(count):
        directory = directories[i % len(directories)]
        os.makedirs(os.path.join(root, directory), exist_ok=True)
        start = rng.randrange(len(pool) - size)
        with open(os.path.join(root, directory, "f%05d.js" % i), "wb") as f:
            f.write(pool[start:start + size])


def write_sized(rng, pool, root, files):
    """Each (relative path, size) pair as a slice of the pool."""
    for path, size in files:
        os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
        start = rng.randrange(len(pool) - size)
        with open(os.path.join(root, path), "wb") as f:
            f.write(pool[start:start + size])


# typescript@5.6.3: lib/ holds two compilers' bundles of several MB and
# small entry points; 15 MB in all.
TYPESCRIPT = [("lib/typescript.js", 8_700_000), ("lib/_tsc.js", 5_900_000), ("lib/_tsserver.js", 290_000),
              ("lib/_typingsInstaller.js", 150_000), ("lib/tsserver.js", 1_000), ("lib/tsc.js", 800),
              ("lib/watchGuard.js", 600)]


def typescript_package(rng):
    """typescript@5.6.3's whole package, 22 MB: lib/'s bundles, 90
    lib.*.d.ts files the compiler reads at run time, 13 locales'
    diagnosticMessages.generated.json, and the text beside them."""
    files = [("lib/typescript.js", 8_927_529), ("lib/tsc.js", 6_076_160), ("lib/typescript.d.ts", 582_742),
             ("lib/tsserver.js", 26_561), ("lib/typesMap.json", 17_285), ("lib/typingsInstaller.js", 10_892),
             ("lib/cancellationToken.js", 3_714), ("lib/watchGuard.js", 2_313), ("lib/tsserverlibrary.js", 1_012),
             ("lib/tsserverlibrary.d.ts", 865), ("package.json", 3_638), ("README.md", 2_848),
             ("SECURITY.md", 2_656), ("LICENSE.txt", 9_197), ("ThirdPartyNoticeText.txt", 37_824),
             ("bin/tsc", 45), ("bin/tsserver", 50)]
    for locale in ("cs", "de", "es", "fr", "it", "ja", "ko", "pl", "pt-br", "ru", "tr", "zh-cn", "zh-tw"):
        files.append(("lib/%s/diagnosticMessages.generated.json" % locale, rng.randrange(287_000, 436_000)))
    sizes = [rng.lognormvariate(0, 1.2) for _ in range(90)]
    for i, weight in enumerate(sizes):
        files.append(("lib/lib.es%d.d.ts" % i, max(200, int(weight * 2_356_485 / sum(sizes)))))
    return files


def three_files(rng, count, small_total):
    """three@0.150.0's shape: three bundles of about 1 MB, eight libraries
    of a few hundred KB, and the rest small modules in a few dozen
    directories, sizes spread log-normally around 6 KB."""
    files = [("build/three_cjs.js", 1_250_000), ("build/three_module.js", 1_230_000),
             ("build/three_min.js", 650_000)]
    for i in range(8):
        files.append(("examples/jsm/libs/lib%d.js" % i, rng.randrange(200_000, 400_000)))
    groups = ["src/%s" % g for g in ("animation", "audio", "cameras", "core", "extras", "geometries", "helpers",
                                     "lights", "loaders", "materials", "math", "objects", "renderers", "scenes",
                                     "textures")]
    groups += ["examples/jsm/%s" % g for g in ("controls", "exporters", "geometries", "helpers", "interactive",
                                               "lines", "loaders", "math", "misc", "modifiers", "nodes",
                                               "objects", "postprocessing", "renderers", "shaders", "utils")]
    small = count - len(files)
    sizes = [rng.lognormvariate(0, 1.1) for _ in range(small)]
    scale = small_total / sum(sizes)
    for i, weight in enumerate(sizes):
        files.append(("%s/m%03d.js" % (groups[i % len(groups)], i), max(200, int(weight * scale))))
    return files


def deep_directories(rng, count, depth):
    """`count` directory paths forming a tree at most `depth` levels deep,
    the first chain going all the way down."""
    paths = [""]
    depths = [0]
    for i in range(1, count + 1):
        if i <= depth:
            parent = i - 1  # one chain reaches the full depth
        else:
            parent = rng.choice([p for p in range(len(paths)) if depths[p] < depth] if i % 50 == 0
                                else range(max(0, len(paths) - 200), len(paths)))
            while depths[parent] >= depth:
                parent = rng.randrange(len(paths))
        paths.append(os.path.join(paths[parent], "d%d" % i))
        depths.append(depths[parent] + 1)
    return paths[1:]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("name")
    parser.add_argument("dir")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random("%s/%d" % (args.name, args.seed))
    series = {"m25": 50, "m50": 100, "m100": 200, "m200": 400}
    if args.name == "c100":
        pool = make_pool(rng, 4 << 20)
        write_files(rng, pool, args.dir, ["core", "lib", "lib/internal", "vendor"], 200, 500 * 1000)
    elif args.name in series:
        pool = make_pool(rng, 4 << 20)
        write_files(rng, pool, args.dir, ["a", "b", "b/c", "d"], series[args.name], 500 * 1000)
    elif args.name == "s100k":
        pool = make_pool(rng, 1 << 20)
        write_files(rng, pool, args.dir, deep_directories(rng, 1000, 10), 100000, 1000)
    elif args.name == "typescript":
        pool = make_pool(rng, 12 << 20)
        write_sized(rng, pool, args.dir, TYPESCRIPT)
    elif args.name == "typescript-package":
        pool = make_pool(rng, 12 << 20)
        write_sized(rng, pool, args.dir, typescript_package(rng))
    elif args.name == "three":
        pool = make_pool(rng, 4 << 20)
        write_sized(rng, pool, args.dir, three_files(rng, 886, 6_500_000))
    elif args.name == "consumer-tiny":
        pool = make_pool(rng, 1 << 18)
        write_sized(rng, pool, args.dir, [("big.js", 150_000)] + [("d/m%02d.js" % i, 2_000) for i in range(20)])
    elif args.name == "small20k":
        pool = make_pool(rng, 1 << 20)
        write_files(rng, pool, args.dir, ["d%03d" % i for i in range(200)], 20000, 1000)
    elif args.name == "tiny":
        pool = make_pool(rng, 1 << 18)
        write_files(rng, pool, args.dir, ["", "a", "a/b"], 30, 20 * 1000)
    else:
        sys.exit("unknown corpus: " + args.name)


if __name__ == "__main__":
    main()
