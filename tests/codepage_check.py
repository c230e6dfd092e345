#!/usr/bin/env python3
"""One header for one tree on every system.

Runs the generator over a tree of non-ASCII names (the executable itself
named 乗gen, whose trail byte is a backslash) and compares its header with
the stored one. The Windows generator runs under Wine twice, on a system
with ANSI code page 936 and on one with 1252 (made once under
~/.cache/nativegen/wine, or $NATIVEGEN_WINE_PREFIXES, and kept); with --host-generator
it is also run beside the Linux build over random trees, whose headers must
be identical.

  codepage_check.py --generator G --expected H --work DIR
                    [--wine RUNNER] [--host-generator L] [--tests T]
"""
import argparse
import os
import random
import shutil
import subprocess
import sys

# Each name with the bytes it holds; the "order" directory is the one whose
# listing NTFS orders by upper-cased UTF-16.
TREE = {
    "café.js": b"caf\xc3\xa9",
    "niño.js": b"not in code page 936",
    "模块/入口.js": b"entry",
    "乗/a.js": b"trail byte",
}
ORDER = ["a", "Z", "[", "_", "~", "é", "ü", "ā", "ё", "乗", "模"]
# Names Windows' case table sorts its own way (ı µ ς ſ keep their code
# points: their upper cases do not map back), beside characters beyond the
# Basic Multilingual Plane, which code page 936 writes "?" per UTF-16 unit.
FOLD = ["ı", "I", "µ", "Μ", "ς", "Σ", "ſ", "S", "s", "😀", "𝒜"]

# Systems a Windows generator is tried on: the prefix's Unix locale and the
# ANSI code page Wine gives it.
SYSTEMS = [("zh_CN.UTF-8", "936"), ("en_US.UTF-8", "1252")]


def fail(message):
    print("codepage_check: " + message, file=sys.stderr)
    sys.exit(1)


def make_tree(root, files):
    shutil.rmtree(root, ignore_errors=True)
    for relative, content in files.items():
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(content)


def place(program, root, windows):
    placed = os.path.join(root, "乗gen.exe" if windows else "乗gen")
    shutil.copyfile(program, placed)
    os.chmod(placed, 0o755)
    return placed


def prefix_root():
    """Where the Wine systems live: outside any build tree (each is some
    700 MB), made once and kept for every later run and build."""
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.environ.get("NATIVEGEN_WINE_PREFIXES") or os.path.join(cache, "nativegen", "wine")


class Wine:
    """A Wine system of its own per code page, made on first use with the
    given locale and used again after that."""

    def __init__(self, runner, locale, codepage):
        self.runner = runner
        prefix = os.path.join(prefix_root(), "prefix-" + codepage)
        self.env = dict(os.environ, WINEPREFIX=prefix, LANG=locale, LC_ALL=locale, WINEDEBUG="-all")
        self.codepage = codepage
        # a system is kept only once it was made whole: one cut short (a
        # run stopped while Wine set it up) is made again
        ready = os.path.join(prefix, ".nativegen-ready")
        if not os.path.exists(ready):
            shutil.rmtree(prefix, ignore_errors=True)
            os.makedirs(prefix_root(), exist_ok=True)
            quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wine", "wineboot", "--init"], env=self.env, **quiet)
            subprocess.run(["wineserver", "-w"], env=self.env, **quiet)
            open(ready, "w").close()

    def run(self, argv, cwd, capture=False):
        # the runner starts the server and services detached, then the program
        return subprocess.run([self.runner] + argv, cwd=cwd, env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
                              stderr=subprocess.PIPE if capture else subprocess.DEVNULL)

    def check_codepage(self, cwd):
        query = self.run(["reg", "query", r"HKLM\System\CurrentControlSet\Control\Nls\CodePage", "/v", "ACP"],
                         cwd, capture=True)
        words = query.stdout.decode(errors="replace").split()
        if self.codepage not in words:
            fail("the Wine system for %s does not have code page %s: %s" %
                 (self.env["LANG"], self.codepage, " ".join(words)))

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def generate(program, tree, out, wine=None, windows=False):
    """The header the generator writes for the tree, run from `out`."""
    placed = place(program, tree, windows)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    if wine:
        result = wine.run([placed], out)
    else:
        result = subprocess.run([placed], cwd=out, stdin=subprocess.DEVNULL)
    os.remove(placed)
    if result.returncode != 0:
        fail("%s ended with %d" % (placed, result.returncode))
    with open(os.path.join(out, "native.h"), "rb") as header:
        return header.read()


def random_tree(seed):
    """Files and directories named from ASCII, Latin, Greek, Cyrillic, CJK
    and beyond the Basic Multilingual Plane."""
    rng = random.Random(seed)
    alphabet = "abcXYZ019_[-" + "éüāçÉÜıſµ" + "ΣσςΜ" + "ёжЖщ" + "模块入口乗中文" + "😀𝒜"
    files = {}
    dirs = [""]
    taken = set()  # names that differ only in case cannot stand side by side on Windows
    for _ in range(rng.randint(5, 25)):
        name = "".join(rng.choice(alphabet) for _ in range(rng.randint(1, 4)))
        parent = rng.choice(dirs)
        if rng.random() < 0.25 and parent.count("/") < 3:
            name += "/"
        else:
            name += rng.choice([".js", ".JS", ".txt"])
        if (parent + name.rstrip("/")).upper() in taken:
            continue
        taken.add((parent + name.rstrip("/")).upper())
        if name.endswith("/"):
            dirs.append(parent + name)
        else:
            files[parent + name] = name.encode()
    return files


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--generator", required=True)
    parser.add_argument("--expected", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--wine")
    parser.add_argument("--host-generator")
    parser.add_argument("--tests", help="runtime tests to run on every system too")
    args = parser.parse_args()

    os.makedirs(args.work, exist_ok=True)
    tree = os.path.join(args.work, "tree")
    files = dict(TREE)
    for name in ORDER:
        files["order/%s.js" % name] = name.encode()
    for name in FOLD:
        files["fold/%s.js" % name] = name.encode()
    make_tree(tree, files)
    with open(args.expected, "rb") as stored:
        expected = stored.read()

    if not args.wine:
        header = generate(args.generator, tree, os.path.join(args.work, "out"))
        if header != expected:
            fail("the Linux header differs from %s:\n%r" % (args.expected, header))
        print("Linux: the stored header, byte for byte")
        return

    if args.host_generator:
        compare_random_trees(args, tree)
        return
    systems = [Wine(args.wine, locale, codepage) for locale, codepage in SYSTEMS]
    try:
        for wine in systems:
            out = os.path.join(args.work, "out-" + wine.codepage)
            header = generate(args.generator, tree, out, wine, windows=True)
            wine.check_codepage(out)
            if header != expected:
                fail("under code page %s the header differs from %s:\n%r" % (wine.codepage, args.expected, header))
            print("code page %s: the stored header, byte for byte" % wine.codepage)
            if args.tests:
                result = wine.run([args.tests, "--gtest_filter=ConvertTest.*:TextTest.*"], args.work, capture=True)
                if result.returncode != 0:
                    fail("the conversion tests fail under code page %s:\n%s" %
                         (wine.codepage, result.stdout.decode(errors="replace")))
                print("code page %s: the conversion tests pass" % wine.codepage)
    finally:
        for wine in systems:
            wine.stop()


def compare_random_trees(args, tree):
    """The Linux build and the Windows build on a 936 system, tree by tree."""
    if not os.path.exists(args.host_generator):
        print("no Linux generator at %s: the random trees are not compared" % args.host_generator)
        sys.exit(77)
    locale, codepage = SYSTEMS[0]
    wine = Wine(args.wine, locale, codepage)
    try:
        for seed in range(12):
            make_tree(tree, random_tree(seed))
            linux = generate(args.host_generator, tree, os.path.join(args.work, "out-linux"))
            windows = generate(args.generator, tree, os.path.join(args.work, "out-936"), wine, True)
            if linux != windows:
                fail("random tree %d: the builds differ\nLinux:   %r\nWindows: %r" % (seed, linux, windows))
        print("12 random trees: the Linux and Windows headers are identical")
    finally:
        wine.stop()


if __name__ == "__main__":
    main()
