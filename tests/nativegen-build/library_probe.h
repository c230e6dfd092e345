// kind() and list() of probe paths through nativegen::library, written out for the package and compress checks.
#pragma once

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <nativegen/library.h>

// Writes kind() and list() of each probe in the file `path` (each as its
// length in bytes, a newline, its bytes, a newline), in order: "P <kind:
// 0 none, 1 file, 2 folder> <count>", then the names listed, a line each.
// False when the file cannot be read.
inline bool Probe(const nativegen::library& lib, const char* path, std::FILE* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return false;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t line = text.find('\n', at);
        if (line == std::string::npos) return false;
        const std::size_t size = std::stoul(text.substr(at, line - at));
        const std::string_view probe = std::string_view(text).substr(line + 1, size);
        at = line + 1 + size + 1;
        const nativegen::names names = lib.list(probe);
        std::fprintf(out, "P %d %zu\n", static_cast<int>(lib.kind(probe)), names.size());
        for (std::string_view name : names) std::fprintf(out, "%.*s\n", static_cast<int>(name.size()), name.data());
    }
    return true;
}

