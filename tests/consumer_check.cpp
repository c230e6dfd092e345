// Compiled against the header the generator wrote over a tree of scripts:
// every script the generator takes (every "*.js", without regard to case)
// must be there under its module name, its array equal to the file's
// bytes, and nothing else. The tree's root is the one argument.
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <nativegen/node_native.h>

#include "native.h"

namespace {

// The module name of a script: its path below the root with "/" between
// parts, and every ".js" (as written, lower case) removed.
std::string ModuleName(const std::filesystem::path& relative) {
    std::string name = relative.generic_string();
    for (std::size_t at; (at = name.find(".js")) != std::string::npos;) name.erase(at, 3);
    return name;
}

bool IsScript(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    return extension.size() == 3 && (extension[1] | 0x20) == 'j' && (extension[2] | 0x20) == 's';
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::filesystem::path root = argv[1];
    int failures = 0;
    std::size_t scripts = 0, good = 0;
    for (auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || !IsScript(entry.path())) continue;
        ++scripts;
        std::string name = ModuleName(entry.path().lexically_relative(root));
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const node_native* m = node_native::find(name.c_str());
        bool same = m && m->size == bytes.size() && std::string(m->data, m->size) == bytes;
        std::printf("%-6s %-32s %zu bytes\n", same ? "ok" : "FAILED", name.c_str(), bytes.size());
        if (same) ++good;
        else ++failures;
    }
    if (node_native::count() != scripts) {
        std::printf("FAILED %zu entries for %zu scripts\n", node_native::count(), scripts);
        ++failures;
    }
    if (node_native::find("no/such/module") != nullptr) ++failures;
    std::printf("%zu passed, %d failed\n", good, failures);
    return failures == 0 && scripts > 0 ? 0 : 1;
}
