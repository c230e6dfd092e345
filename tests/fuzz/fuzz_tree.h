// What the generator's fuzz targets share: a scratch directory below the
// fuzz program's own directory (the generator's paths are relative to it)
// and a run of the header writer captured as a string.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "generator/generator.h"
#include "tests/support/header_model.h"

namespace fuzz {

namespace fs = std::filesystem;

// The fuzz program's directory, and a scratch tree below it that is new
// for every input.
inline fs::path ScratchRoot() {
    static fs::path root = fs::canonical("/proc/self/exe").parent_path() / ("fuzz-tree-" + std::to_string(getpid()));
    return root;
}

inline std::string ProgramPath(const fs::path& path) {
    std::string text = path.string();
    for (char& c : text)
        if (c == '/') c = '\\';
    return text;
}

using test::Pair;

// Runs `emit` between the start and the end of a header written in a
// scratch working directory, and answers the header's bytes.
template <typename Emit>
std::string CaptureHeader(Emit emit) {
    fs::path work = ScratchRoot().string() + "-work";
    fs::create_directories(work);
    fs::path before = fs::current_path();
    fs::current_path(work);
    BeginHeader();
    emit();
    EndHeader();
    fs::current_path(before);
    std::ifstream in(work / "native.h", std::ios::binary);
    std::string header((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove_all(work);
    return header;
}

}  // namespace fuzz
