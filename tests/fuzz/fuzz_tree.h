// What the generator's fuzz targets share: a scratch directory below the
// fuzz program's own directory (the generator's paths are relative to it),
// a run of the header writer captured as a string, and an independent
// model of the two line formats.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "generator/generator.h"

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

inline std::string ReplaceEvery(std::string text, const std::string& find, const std::string& by) {
    for (std::size_t at = 0; (at = text.find(find, at)) != std::string::npos; at += by.size())
        text.replace(at, find.size(), by);
    return text;
}

// The two lines of a script at `relative` (backslashes) holding `bytes`.
inline std::string Pair(const std::string& relative, const std::string& bytes) {
    std::string identifier = ReplaceEvery(ReplaceEvery(relative, "\\", "_"), ".js", "");
    std::string name = ReplaceEvery(ReplaceEvery(relative, "\\", "/"), ".js", "");
    std::string list;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        list += (i ? "," : "") + std::to_string(static_cast<unsigned char>(bytes[i]));
    return "const char " + identifier + "[] = {" + list + "};\r\n" + "node_native native_" + identifier + "{ \"" +
           name + "\", " + identifier + ", sizeof(" + identifier + ") };\r\n";
}

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
