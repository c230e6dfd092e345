// The directory walk over random trees, checked against a small model of
// its order (files before subdirectories, depth first, names sorted with
// a-z folded onto A-Z), of what the attribute mask takes, and of the two
// line formats.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "runtime/services/text.h"
#include "tests/fuzz/fuzz_tree.h"

namespace {

// A directory of the model: its files with their bytes, and its
// subdirectories, each in name order.
struct Dir {
    std::map<std::string, std::string> files;
    std::map<std::string, Dir> dirs;
};

bool NtfsLess(const std::string& a, const std::string& b) {
    auto fold = [](std::string s) {
        for (char& c : s)
            if (c >= 'a' && c <= 'z') c -= 32;
        return s;
    };
    std::string fa = fold(a), fb = fold(b);
    return fa != fb ? fa < fb : a < b;
}

bool IsScript(const std::string& name) {
    if (name.size() < 3) return false;
    std::string tail = name.substr(name.size() - 3);
    for (char& c : tail)
        if (c >= 'A' && c <= 'Z') c += 32;
    return tail == ".js";
}

void Expect(const Dir& dir, const std::string& prefix, std::string* out) {
    // the file pass: scripts, and directories named like scripts that carry
    // a bit of the mask (hidden, for a name that begins with a dot), which
    // cannot be read and get empty braces
    std::vector<std::string> entries, dirs;
    for (const auto& [name, _] : dir.files) entries.push_back(name);
    for (const auto& [name, _] : dir.dirs) {
        entries.push_back(name);
        dirs.push_back(name);
    }
    std::sort(entries.begin(), entries.end(), NtfsLess);
    std::sort(dirs.begin(), dirs.end(), NtfsLess);
    for (const std::string& name : entries) {
        if (!IsScript(name)) continue;
        if (dir.files.count(name)) *out += fuzz::Pair(prefix + name, dir.files.at(name));
        else if (name[0] == '.') *out += fuzz::Pair(prefix + name, "");
    }
    // then the subdirectories, each whole before the next
    for (const std::string& name : dirs) Expect(dir.dirs.at(name), prefix + name + "\\", out);
}

void Build(const Dir& dir, const fuzz::fs::path& at) {
    fuzz::fs::create_directories(at);
    for (const auto& [name, bytes] : dir.files) {
        FILE* f = std::fopen((at / name).c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    for (const auto& [name, sub] : dir.dirs) Build(sub, at / name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The input reads as a program of steps: each makes a file or a
    // directory with a short name from a small alphabet, in the directory
    // the step's depth picks on the current path.
    static const char kAlphabet[] = "aAbB._jJsS0";
    Dir root;
    std::vector<Dir*> stack{&root};
    std::size_t i = 0;
    while (i + 3 <= size && i < 3 * 48) {
        std::uint8_t op = data[i], len = data[i + 1] % 6 + 1, seed = data[i + 2];
        i += 3;
        std::string name;
        for (int k = 0; k < len; ++k) name += kAlphabet[(seed + k * (op | 1)) % (sizeof kAlphabet - 1)];
        if (op & 1) name += (op & 2) ? ".js" : ".JS";
        if (name == "." || name == "..") continue;
        while (stack.size() > 1 + (op >> 5) % 4) stack.pop_back();
        Dir* here = stack.back();
        if (here->files.count(name) || here->dirs.count(name)) continue;
        if ((op & 0x0C) == 0x0C && stack.size() < 5) {
            stack.push_back(&here->dirs[name]);
        } else {
            std::size_t length = std::min<std::size_t>((seed % 4) * (op % 3), size - (i - 3));
            here->files[name] = std::string(reinterpret_cast<const char*>(data) + i - 3, length);
        }
    }

    fuzz::fs::path scratch = fuzz::ScratchRoot();
    fuzz::fs::remove_all(scratch);
    Build(root, scratch);
    std::string expected;
    Expect(root, scratch.filename().string() + "\\", &expected);

    std::string header = fuzz::CaptureHeader([&] {
        TextValue start = CopyText(fuzz::ProgramPath(scratch).c_str());
        TextValue pattern = nullptr;
        WalkDirectory(start, pattern, false, 0, false);
        ReleaseText(start);
        ReleaseText(pattern);
    });
    fuzz::fs::remove_all(scratch);
    if (header != expected) {
        std::fprintf(stderr, "walk gave:\n%s\nthe model says:\n%s\n", header.c_str(), expected.c_str());
        std::abort();
    }
    return 0;
}
