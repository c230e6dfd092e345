// How the front end writes its outputs: each file named by the full path
// its caller passes (the working directory is never changed), put in place
// whole, and only when its content changes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace frontend {

// The program's name, as every message begins.
inline constexpr const char* kProgram = "nativegen-build";

// What stopped a step: the file it could not read or write, and why.
struct Failure {
    std::string path;  // UTF-8, as the user's system names it
    std::string why;
};

// Reports `failure` on standard error; answers the run's exit code for it, 1.
int Report(const Failure& failure);

// The path as the runtime's files take it (code page 936, backslashes,
// under 260 bytes): absolute where that fits, else relative to the working
// directory. False, with `why`, when neither fits or code page 936 cannot
// hold it.
bool RuntimePath(const std::filesystem::path& path, std::string* name, std::string* why);

// Writes `content` to the file `path` only when it holds something else,
// through a new file beside it put in place whole (or in place, as the
// runtime writes through a link). False, with `failure` naming the file,
// when it cannot; the file is then as it was. `changed`, when given, is
// set when the file's content changed.
bool PutIfChanged(const std::filesystem::path& path, std::string_view content, Failure* failure,
                  bool* changed = nullptr);

// The path in UTF-8 and back.
std::string Utf8(const std::filesystem::path& path);
std::filesystem::path FsPath(std::string_view utf8);

}  // namespace frontend
