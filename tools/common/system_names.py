#!/usr/bin/env python3
"""Writes tools/common/system_names.inc: every name that a standard C or C++
header of g++ 12, clang++ 14 or the MinGW g++ 12 (posix) declares at global
scope or defines as a macro, under -std=gnu++17 and -std=gnu++20, as a
sorted list of C++ string literals. Names of the reserved shapes (a
leading "_", any "__") are left out: no safe identifier takes those shapes.
Run it from the top of the source after a compiler or library update:
    python3 tools/common/system_names.py
"""
import re
import subprocess
import sys
import tempfile

C_HEADERS = ("assert complex ctype errno fenv float inttypes iso646 limits locale math setjmp signal stdalign "
             "stdarg stdbool stddef stdint stdio stdlib stdnoreturn string tgmath threads time uchar wchar "
             "wctype").split()
# <coroutine> declares nothing at global scope and needs -fcoroutines with g++
CXX_HEADERS = ("algorithm any array atomic barrier bit bitset charconv chrono codecvt compare complex concepts "
               "condition_variable deque exception execution filesystem format forward_list fstream functional "
               "future initializer_list iomanip ios iosfwd iostream istream iterator latch limits list locale map "
               "memory memory_resource mutex new numbers numeric optional ostream queue random ranges ratio regex "
               "scoped_allocator semaphore set shared_mutex source_location span sstream stack stdexcept stop_token "
               "streambuf string string_view strstream syncstream system_error thread tuple type_traits typeindex "
               "typeinfo unordered_map unordered_set utility valarray variant vector version cassert cctype cerrno "
               "cfenv cfloat cinttypes climits clocale cmath csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib "
               "cstring ctime cuchar cwchar cwctype").split()
COMPILERS = [("g++", None), ("clang++-14", None), ("x86_64-w64-mingw32-g++-posix", "x86_64-w64-mingw32")]
NAME = re.compile(r"[A-Za-z][A-Za-z0-9_]*")
NODE = re.compile(r"^((?:[| ] )*)[|`]-(\w+)")
NOT_NAMES = {"col", "line", "used", "referenced", "implicit", "invalid", "sloc", "extern", "static", "inline",
             "constexpr", "prev", "parent", "imported", "hidden", "cinit", "callinit", "listinit", "nrvo",
             "typename", "struct", "union", "class", "enum", "default", "delete", "deleted", "trivial", "pure",
             "virtual", "fixed", "definition", "mutable"}


def global_names(dump):
    """The names clang's text dump of a translation unit declares at global
    scope: its top-level declarations, those inside extern "C" blocks, and
    the constants of unscoped enumerations among them."""
    names, kinds = set(), []
    for line in dump.splitlines():
        node = NODE.match(line)
        if not node:
            continue
        depth, kind = len(node.group(1)) // 2, node.group(2)
        del kinds[depth:]
        kinds.append(kind)
        parents = kinds[:depth]
        if kind == "EnumConstantDecl" and parents and parents[-1] == "EnumDecl":
            parents = parents[:-1]
        if any(p != "LinkageSpecDecl" for p in parents) or not kind.endswith("Decl"):
            continue
        text = re.sub(r"<[^>]*>+", " ", line.split("'", 1)[0])
        tagged = re.search(r"\b(?:struct|union|class|enum)\s+(\w+)", text)
        if kind in ("RecordDecl", "CXXRecordDecl", "EnumDecl"):
            if tagged:
                names.add(tagged.group(1))
            continue
        words = [w for w in re.findall(r"\b[A-Za-z_]\w*\b", text.split(None, 2)[-1])
                 if w not in NOT_NAMES and not w.startswith("0x")]
        if words and kind not in ("LinkageSpecDecl", "UsingDirectiveDecl", "StaticAssertDecl", "EmptyDecl"):
            names.add(words[-1])
    return names


def output(command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def main():
    names = set()
    with tempfile.TemporaryDirectory() as work:
        source = f"{work}/all.cpp"
        with open(source, "w") as f:
            for header in [h + ".h" for h in C_HEADERS] + CXX_HEADERS:
                f.write(f"#if __has_include(<{header}>)\n#include <{header}>\n#endif\n")
        for compiler, target in COMPILERS:
            for std in ("gnu++17", "gnu++20"):
                # macros
                for line in output([compiler, f"-std={std}", "-w", "-dM", "-E", source]).splitlines():
                    names.add(re.split(r"[ (]", line.split(" ", 1)[1])[0])
                # declarations: the compiler's own preprocessing, dumped by clang
                preprocessed = f"{work}/all.ii"
                with open(preprocessed, "w") as f:
                    f.write(output([compiler, f"-std={std}", "-w", "-E", source]))
                dumper = ["clang++-14", f"-std={std}", "-fsyntax-only", "-w", "-fno-color-diagnostics", "-Xclang",
                          "-ast-dump", "-x", "c++-cpp-output", preprocessed] + ([f"--target={target}"] if target else [])
                # the GNU type traits clang does not know are errors; the dump stands
                names.update(global_names(subprocess.run(dumper, capture_output=True, text=True).stdout))
    kept = sorted(n for n in names if NAME.fullmatch(n) and "__" not in n)
    with open("tools/common/system_names.inc", "w") as f:
        f.write("// Written by tools/common/system_names.py: names standard headers declare at\n"
                "// global scope or define as macros (g++ 12, clang++ 14, MinGW g++ 12).\n")
        for name in kept:
            f.write(f'"{name}",\n')
    print(f"{len(kept)} names", file=sys.stderr)


main()
