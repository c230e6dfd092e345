// Our resolution's time per call over a list of questions, over the packages as the front end's libraries and as a folder on disk, the first pass over a fresh tree and the passes after it.
//
//   resolve_bench FOLDER QUESTIONS PASSES
//
// Each package built in (resolve_bench_libraries.h) is mounted at
// /node_modules/NAME; FOLDER, what tests/packages/fetch prints, is mounted
// at "/" for the disk rows. QUESTIONS holds one
// "require|import<TAB>specifier<TAB>from" a line. Prints one line per
// variant, mode and pass kind: "VARIANT MODE first|warm MEDIAN_NS P90_NS CALLS",
// VARIANT "libraries" or "disk".
#include <nativegen/resolve.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "resolve_bench_libraries.h"

namespace {

struct question {
    nativegen::mode how;
    std::string specifier, from;
};

// Prints one row of sorted times (`ns` is sorted here).
void report(const char* variant, const char* mode, const char* pass, std::vector<double>& ns) {
    if (ns.empty()) return;
    std::sort(ns.begin(), ns.end());
    std::printf("%s %s %s %.0f %.0f %zu\n", variant, mode, pass, ns[ns.size() / 2], ns[ns.size() * 9 / 10], ns.size());
}

// Times every question `passes` times over `files` (fresh: its first pass
// reads every package.json) and prints the variant's rows.
void run(const char* variant, const nativegen::tree& files, const std::vector<question>& questions, int passes) {
    const nativegen::resolver resolver(files);
    std::vector<double> ns[2][2];  // [mode][first, warm]
    std::size_t answered = 0;
    for (int pass = 0; pass < passes; ++pass) {
        for (const question& q : questions) {
            const auto start = std::chrono::steady_clock::now();
            const nativegen::resolution r = resolver.resolve(q.specifier, q.from, q.how);
            const auto end = std::chrono::steady_clock::now();
            answered += r.ok();
            ns[q.how == nativegen::mode::import][pass > 0].push_back(
                std::chrono::duration<double, std::nano>(end - start).count());
        }
    }
    report(variant, "require", "first", ns[0][0]);
    report(variant, "require", "warm", ns[0][1]);
    report(variant, "import", "first", ns[1][0]);
    report(variant, "import", "warm", ns[1][1]);
    std::fprintf(stderr, "resolve_bench: %s: %zu answers found\n", variant, answered);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: resolve_bench FOLDER QUESTIONS PASSES\n");
        return 2;
    }
    std::ifstream in(argv[2]);
    if (!in) {
        std::fprintf(stderr, "resolve_bench: %s: cannot be read\n", argv[2]);
        return 1;
    }
    std::vector<question> questions;
    for (std::string line; std::getline(in, line);) {
        const std::size_t a = line.find('\t'), b = line.find('\t', a + 1);
        if (a == std::string::npos || b == std::string::npos) {
            std::fprintf(stderr, "resolve_bench: %s: not MODE<TAB>SPECIFIER<TAB>FROM: %s\n", argv[2], line.c_str());
            return 1;
        }
        questions.push_back({line.compare(0, a, "import") == 0 ? nativegen::mode::import : nativegen::mode::require,
                             line.substr(a + 1, b - a - 1), line.substr(b + 1)});
    }
    const int passes = std::max(1, std::atoi(argv[3]));
    nativegen::tree libraries;
    for (const auto& [name, library] : resolve_bench_libraries)
        if (libraries.mount("/node_modules/" + name, library()) != nativegen::fault::none) {
            std::fprintf(stderr, "resolve_bench: /node_modules/%s could not be mounted\n", name.c_str());
            return 1;
        }
    nativegen::tree disk;
    if (disk.mount("/", argv[1]) != nativegen::fault::none) {
        std::fprintf(stderr, "resolve_bench: %s: not a folder\n", argv[1]);
        return 1;
    }
    run("libraries", libraries, questions, passes);
    run("disk", disk, questions, passes);
    return 0;
}
