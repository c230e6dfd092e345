#!/usr/bin/env python3
"""A package library through a consumer: the tree written back out.

Makes a package under a root code page 936 cannot name, builds
tests/nativegen-build/library_consumer's package_check against it with one compiler and runs
its program (under Wine for MinGW), which writes every entry and the
listing of every folder out; the entries must be exactly the selected
files of the tree, byte for byte, and each listing the folder's directory
listing of what the library holds. With --windows-builder, the Windows
front end (under Wine) must also write the same library as the Linux one.

  package_check.py --source S --work DIR --builder B --compiler gcc|clang|mingw
                   [--wine RUNNER] [--windows-builder W]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

LONG = "l" * 120
# path: (what it is, whether the library takes it). A file holds its bytes;
# ("link", target) is a symbolic link; ("fifo",) a FIFO. The consumer takes
# *.js *.JSON *.wasm *.bin LICENSE docs/**, but not *.draft.*.
TREE = {
    "package.json": (b'{"main": "lib/index.js"}', True),
    "lib/index.js": (b"module.exports = require('./Sub/Deep.JS');\n", True),
    "lib/Sub/Deep.JS": (b"exports.deep = 1;\r\n", True),
    "lib/empty.js": (b"", True),
    "lib/bundle.js": (b"exports.x = 1;\n" * 2000, True),  # what --compress shrinks
    "lib/loop": (("link", ".."), False),
    "alias.js": (("link", "lib/index.js"), True),
    "data/stra\u00dfe.json": (b"{}", True),
    "data/ni\u00f1o.js": (b"// ni\xc3\xb1o\n", True),
    "\U0001F600.wasm": (b"\x00asm\x01\x00\x00\x00", True),
    "bytes.bin": (bytes(range(256)), True),
    "LICENSE": (b"MIT\n", True),
    "docs/guide.md": (b"# guide\n", True),
    "docs/guide.draft.md": (b"not yet\n", False),
    "notes.txt": (b"not taken\n", False),
    f"{LONG}/{LONG}/{LONG}/deep.js": (b"a path of 360 bytes and more\n", True),
    "\u0130stanbul/dvo\u0159\u00e1k.js": (b"x", True),
    "pipe.js": (("fifo",), False),
}


def COMPILERS(source):
    """The configure options of each compiler's consumer build."""
    return {"gcc": ["-DCMAKE_C_COMPILER=gcc", "-DCMAKE_CXX_COMPILER=g++"],
            "clang": ["-DCMAKE_C_COMPILER=clang-14", "-DCMAKE_CXX_COMPILER=clang++-14"],
            "mingw": ["-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(source, "cmake", "mingw-w64.cmake")]}


def fail(message):
    print("package_check: " + message, file=sys.stderr)
    sys.exit(1)


def run(command, **kwargs):
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, **kwargs)
    if done.returncode != 0:
        fail(" ".join(command) + " failed:\n" + done.stdout.decode(errors="replace"))
    return done.stdout.decode(errors="replace")


def make_tree(root):
    for relative, (what, _) in TREE.items():
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if isinstance(what, bytes):
            with open(path, "wb") as out:
                out.write(what)
        elif what[0] == "link":
            os.symlink(what[1], path)
        else:
            os.mkfifo(path)


def expected_files(root):
    files = {}
    for relative, (what, taken) in TREE.items():
        if taken:
            with open(os.path.join(root, relative), "rb") as source:
                files[relative] = source.read()
    return files


def expected_listing(root, folder, files):
    """What the directory lists that the library holds: files it takes, and
    folders holding one at any depth, with a "/"."""
    names = []
    for name in os.listdir(os.path.join(root, folder)):
        relative = folder + "/" + name if folder else name
        if relative in files:
            names.append(name)
        elif any(f.startswith(relative + "/") for f in files):
            names.append(name + "/")
    return sorted(names, key=lambda n: n.encode())


def read_back(path):
    """The entries, listings and probes (kind, names) the program wrote, and its failures."""
    with open(path, "rb") as source:
        data = source.read()
    files, listings, probes, at = {}, {}, [], 0

    def line():
        nonlocal at
        end = data.index(b"\n", at)
        text = data[at:end].decode()
        at = end + 1
        return text

    while True:
        head = line()
        if head.startswith("E "):
            return files, listings, int(head[2:]), probes
        if head.startswith("P "):
            kind, count = head[2:].split()
            probes.append((int(kind), [line() for _ in range(int(count))]))
            continue
        count = int(line())
        if head.startswith("F "):
            files[head[2:]] = data[at:at + count]
            at += count + 1
        else:
            listings[head[2:]] = [line() for _ in range(count)]


NONE, FILE, FOLDER = 0, 1, 2


def probe_paths(root, files):
    """Every path of the tree (taken or not), every folder, and each
    perturbed: a "/" after it, a zero byte after it, its last and its first
    byte one higher and one lower (same-length names around it): bytes."""
    paths = {""}
    for folder, folders, names in os.walk(root):
        for name in folders + names:
            paths.add(os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/"))
    probes = set()
    for path in sorted(paths):
        raw = path.encode()
        probes |= {raw, raw + b"/", raw + b"\0"}
        for at in {0, len(raw) - 1} if raw else ():
            for step in (1, -1):
                byte = raw[at] + step
                if 0 < byte < 256 and byte != ord("/") and raw[at] != ord("/"):
                    probes.add(raw[:at] + bytes([byte]) + raw[at + 1:])
    return sorted(probes)


def expected_probe(root, probe, files):
    """What the tree on disk says `probe` is for the library that holds
    `files`: a taken file, a folder holding one at any depth (one "/"
    after it ignored; the root always), or none; and the folder's listing."""
    if b"\0" in probe:
        return NONE, []
    path = probe.decode(errors="surrogateescape")
    if path in files and os.path.isfile(os.path.join(root, path)):
        return FILE, []
    folder = path[:-1] if path.endswith("/") else path
    on_disk = os.path.join(root, folder)
    if folder == "" or (not folder.endswith("/") and os.path.isdir(on_disk)
                        and any(f.startswith(folder + "/") for f in files)):
        return FOLDER, expected_listing(root, folder, files)
    return NONE, []


def compare(args, root, program, files):
    """Runs the program and compares what it wrote with `files`, and what
    kind() and list() say of every path and its neighbours with the tree."""
    written = os.path.join(args.work, "written")
    probes = probe_paths(root, files)
    probe_file = os.path.join(args.work, "probes")
    with open(probe_file, "wb") as out:
        for probe in probes:
            out.write(b"%d\n%s\n" % (len(probe), probe))
    command = [program, written, probe_file]
    if args.wine:
        command = [args.wine, program, "Z:" + written, "Z:" + probe_file]
    run(command)
    got, listings, failures, answers = read_back(written)
    if len(answers) != len(probes):
        fail(f"{len(probes)} paths probed, {len(answers)} answers")
    for probe, answer in zip(probes, answers):
        want = expected_probe(root, probe, files)
        if answer != want:
            fail(f"kind() and list() of {probe!r} gave {answer!r}, the tree {want!r}")
    if failures:
        fail(f"the program found {failures} wrong lookups")
    for name in sorted(set(files) | set(got)):
        if files.get(name) != got.get(name):
            fail(f"{name!r}: the tree holds {files.get(name)!r}, the library {got.get(name)!r}")
    folders = {""} | {name.rsplit("/", 1)[0] for name in files if "/" in name}
    folders |= {f.rsplit("/", 1)[0] for f in folders if "/" in f}
    for folder in sorted(folders):
        want = expected_listing(root, folder, files)
        if listings.get(folder) != want:
            fail(f"list({folder!r}) gave {listings.get(folder)!r}, the directory {want!r}")
    print(f"{len(got)} files and {len(listings)} folders as the tree holds them; {len(probes)} paths probed")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--source", "--work", "--builder", "--compiler"):
        parser.add_argument(option, required=True)
    parser.add_argument("--wine", default="")
    parser.add_argument("--windows-builder", default="")
    args = parser.parse_args()

    shutil.rmtree(args.work, ignore_errors=True)
    # "[", "$" and a space: a depfile names them, so the tracking below is Ninja's own
    root = os.path.join(args.work, "dvo\u0159\u00e1k stra\u00dfe [$]", "pkg")
    make_tree(root)
    files = expected_files(root)

    compilers = COMPILERS(args.source)
    if args.compiler == "clang" and not shutil.which("clang++-14"):
        print("clang++-14 is not installed: skipped")
        return
    # the build tree reached from below the root, as an in-source build has
    # it (through a link: Ninja cannot build below a "$"): its objects
    # ("*.bin" among them) and the library's own files stay out
    build = os.path.join(args.work, "build")
    os.makedirs(build)
    os.symlink(build, os.path.join(root, "build"))
    run(["cmake", "-S", os.path.join(args.source, "tests", "nativegen-build", "library_consumer"), "-B", build,
         "-G", "Ninja", "-DNATIVEGEN_SOURCE=" + args.source, "-DBUILDER=" + args.builder, "-DPACKAGE_ROOT=" + root]
        + compilers[args.compiler])
    run(["cmake", "--build", build, "--target", "package_check"])
    program = os.path.join(build, "package_check" + (".exe" if args.compiler == "mingw" else ""))
    compare(args, root, program, files)

    # Adding, renaming or removing a taken file remakes the library's table
    # (and data) and links again; no consumer source compiles again.
    changes = [("add", "lib/Sub/new.js", None), ("rename", "lib/Sub/new.js", "lib/renamed.js"),
               ("remove", "lib/renamed.js", None)]
    for change, name, to in changes:
        path = os.path.join(root, name)
        if change == "add":
            with open(path, "wb") as out:
                out.write(b"new")
            files[name] = b"new"
        elif change == "rename":
            os.rename(path, os.path.join(root, to))
            files[to] = files.pop(name)
        else:
            os.remove(path)
            del files[name]
        log = run(["cmake", "--build", build, "--target", "package_check", "--verbose"])
        compiled = set(re.findall(r" -c (\S+)", log))
        if [c for c in compiled if not c.endswith("pkg.table.cpp")] or not compiled:
            fail(f"{change} {name}: compiled {sorted(compiled)}, not the table alone")
        compare(args, root, program, files)

    if args.windows_builder:
        # the same library from the Linux and the Windows front end
        for data, compress in (("msvc", []), ("incbin", []), ("incbin", ["--compress=3"])):
            outputs = {}
            for system, builder in (("linux", [args.builder]), ("windows", [args.wine, args.windows_builder])):
                out = os.path.join(args.work, f"{system}-{data}{len(compress)}")
                prefix = "Z:" if system == "windows" else ""
                run(builder + [prefix + root, prefix + out, "--library", "pkg", "--data", data] + compress + [
                               "--files", "*.js", "--files", "*.JSON", "--files", "*.wasm", "--files", "*.bin",
                               "--files", "LICENSE", "--files", "docs/**", "--exclude", "*.draft.*"])
                outputs[system] = {}
                for name in sorted(os.listdir(out)):
                    with open(os.path.join(out, name), "rb") as source:
                        # the blob's path, the system's own way, stands in the incbin table alone
                        outputs[system][name] = re.sub(rb'\.incbin \\".*?\\"', b".incbin", source.read())
            if outputs["linux"] != outputs["windows"]:
                fail(f"{data} {compress}: the Windows front end wrote another library: "
                     + ", ".join(n for n in outputs["linux"] if outputs["linux"][n] != outputs["windows"].get(n)))
        print("the Windows front end writes the same library")


if __name__ == "__main__":
    main()
