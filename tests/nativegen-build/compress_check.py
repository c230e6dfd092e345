#!/usr/bin/env python3
"""A compressed library through a consumer, beside an uncompressed one.

Builds tests/nativegen-build/library_consumer's compress_check with one
compiler over a tree of compressible, incompressible, tiny and empty
files, and runs it (under Wine for MinGW): every entry read back equals
its file, and four threads reading at once get the same bytes. Then one
byte of a compressed entry is changed in a copy of the program: that
entry must read false, the others still right. With --no-zstd, a project
asking for COMPRESS where no zstd is found must stop at configure time,
saying what to install.

  compress_check.py --source S --work DIR --builder B --compiler gcc|clang|mingw
                    [--wine RUNNER] [--windows-builder W] [--no-zstd]
"""
import argparse
import os
import random
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from package_check import COMPILERS, expected_probe, fail, probe_paths, read_back, run  # noqa: E402

ZSTD_MAGIC = b"\x28\xb5\x2f\xfd"


def make_tree(root):
    noise = random.Random(21)
    text = b"".join(b"export function f%d(a, b) { return a * %d + b; }\n" % (i, i) for i in range(4000))
    files = {
        "lib/big.js": text,                                        # compresses well
        "lib/types.d.ts": text[:5000].replace(b"export", b"declare"),
        "noise.bin": bytes(noise.getrandbits(8) for _ in range(50000)),  # would not save a tenth: raw
        "tiny.json": b"{}",                                        # raw
        "empty.js": b"",
        "bytes.bin": bytes(range(256)) * 4,
        "deep/\u00e9t\u00e9/readme.md": b"# r\xc3\xa9sum\xc3\xa9\n" * 300,
    }
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)
    return files


def program_run(args, program, written, *extra):
    command = [program, written, *extra]
    if args.wine:
        command = [args.wine, program, "Z:" + written, *extra]
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def damage(build, program, damaged):
    """A copy of `program` with one byte inside the first compressed
    frame of packed's blob changed."""
    folder = os.path.join(build, "nativegen-libraries", "packed")
    blobs = [n for n in os.listdir(folder) if n.endswith(".bin")]
    with open(os.path.join(folder, blobs[0]), "rb") as source:
        blob = source.read()
    start = blob.find(ZSTD_MAGIC)
    with open(program, "rb") as source:
        image = bytearray(source.read())
    at = image.find(blob[start:start + 64])
    if start < 0 or at < 0 or image.find(blob[start:start + 64], at + 1) >= 0:
        fail("no single compressed frame of the blob found in the program")
    image[at + 16] ^= 0x55
    with open(damaged, "wb") as out:
        out.write(image)
    os.chmod(damaged, 0o755)


def no_zstd(args):
    """COMPRESS where neither the zstd package nor pkg-config's libzstd is found."""
    project = os.path.join(args.work, "no-zstd")
    os.makedirs(os.path.join(project, "tree"), exist_ok=True)
    with open(os.path.join(project, "CMakeLists.txt"), "w") as out:
        out.write("cmake_minimum_required(VERSION 3.25)\nproject(p LANGUAGES CXX)\n"
                  f"include({args.source}/cmake/NativeGen.cmake)\n"
                  f"nativegen_add_library(lib SCRIPT_ROOT tree COMPRESS BUILDER {args.builder})\n")
    done = subprocess.run(["cmake", "-S", project, "-B", os.path.join(project, "build"), "-G", "Ninja",
                           "-DCMAKE_DISABLE_FIND_PACKAGE_zstd=ON", "-DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON"],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    said = done.stdout.decode(errors="replace")
    if done.returncode == 0 or "needs zstd" not in said or "libzstd-dev" not in said:
        fail("COMPRESS without zstd configured, or said nothing of what to install:\n" + said)
    print("COMPRESS without zstd stops at configure time")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--source", "--work", "--builder", "--compiler"):
        parser.add_argument(option, required=True)
    parser.add_argument("--wine", default="")
    parser.add_argument("--windows-builder", default="")  # the package check's; not used here
    parser.add_argument("--no-zstd", action="store_true")
    args = parser.parse_args()
    if args.compiler == "clang" and not shutil.which("clang++-14"):
        print("clang++-14 is not installed: skipped")
        return

    shutil.rmtree(args.work, ignore_errors=True)
    root = os.path.join(args.work, "tree")
    files = make_tree(root)
    build = os.path.join(args.work, "build")
    run(["cmake", "-S", os.path.join(args.source, "tests", "nativegen-build", "library_consumer"), "-B", build,
         "-G", "Ninja", "-DNATIVEGEN_SOURCE=" + args.source, "-DBUILDER=" + args.builder, "-DCOMPRESS_ROOT=" + root]
        + COMPILERS(args.source)[args.compiler])
    run(["cmake", "--build", build, "--target", "compress_check"])
    program = os.path.join(build, "compress_check" + (".exe" if args.compiler == "mingw" else ""))
    written = os.path.join(args.work, "written")

    probes = probe_paths(root, files)
    probe_file = os.path.join(args.work, "probes")
    with open(probe_file, "wb") as out:
        for probe in probes:
            out.write(b"%d\n%s\n" % (len(probe), probe))
    done = program_run(args, program, written, "--probes", ("Z:" if args.wine else "") + probe_file)
    got, _, failures, answers = read_back(written)
    if done.returncode != 0 or failures:
        fail(f"the program found {failures} wrong entries:\n" + done.stdout.decode(errors="replace"))
    # kind() and list() of every path and its neighbours, in either library, as the tree says
    if len(answers) != 2 * len(probes):
        fail(f"{len(probes)} paths probed in two libraries, {len(answers)} answers")
    for probe, answer in zip(probes * 2, answers):
        want = expected_probe(root, probe, files)
        if answer != want:
            fail(f"kind() and list() of {probe!r} gave {answer!r}, the tree {want!r}")
    for name in sorted(set(files) | set(got)):
        if files.get(name) != got.get(name):
            fail(f"{name!r}: the tree holds {len(files.get(name) or b'')} bytes, read() gave {got.get(name)!r:.80}")
    print(f"{len(got)} entries read back as their files, from four threads too; {len(probes)} paths probed; "
          + done.stdout.decode(errors="replace").strip())

    damaged = os.path.join(build, "damaged" + (".exe" if args.compiler == "mingw" else ""))
    damage(build, program, damaged)
    done = program_run(args, damaged, written, "--damaged")
    if done.returncode != 0:
        fail("the damaged entry did not read false alone:\n" + done.stdout.decode(errors="replace"))
    print("a damaged entry reads false: " + done.stdout.decode(errors="replace").strip())
    if args.no_zstd:
        no_zstd(args)


if __name__ == "__main__":
    main()
