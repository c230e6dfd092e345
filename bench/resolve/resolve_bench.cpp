// Our resolution's time per call over a list of questions, the first pass over a fresh tree and the passes after it.
//
//   resolve_bench FOLDER QUESTIONS PASSES
//
// FOLDER is mounted at "/"; QUESTIONS holds one "require|import<TAB>specifier<TAB>from"
// a line. Prints one line per mode and pass kind: "MODE first|warm MEDIAN_NS P90_NS CALLS".
#include <nativegen/resolve.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct question {
    nativegen::mode how;
    std::string specifier, from;
};

void report(const char* mode, const char* pass, std::vector<double>& ns) {
    if (ns.empty()) return;
    std::sort(ns.begin(), ns.end());
    std::printf("%s %s %.0f %.0f %zu\n", mode, pass, ns[ns.size() / 2], ns[ns.size() * 9 / 10], ns.size());
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
    nativegen::tree files;
    if (files.mount("/", argv[1]) != nativegen::fault::none) {
        std::fprintf(stderr, "resolve_bench: %s: not a folder\n", argv[1]);
        return 1;
    }
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
    report("require", "first", ns[0][0]);
    report("require", "warm", ns[0][1]);
    report("import", "first", ns[1][0]);
    report("import", "warm", ns[1][1]);
    std::fprintf(stderr, "resolve_bench: %zu answers found\n", answered);
    return 0;
}
