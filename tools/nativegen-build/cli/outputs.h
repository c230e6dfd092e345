// How the front end writes its outputs: each file named by the full path
// its caller passes (the working directory is never changed), put in place
// whole, and only when its content changes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/tools/files.h"

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

// Writes `content` to the file `path` only when it holds something else,
// through a new file beside it put in place whole (platform::PutFile; a
// link's file, the link kept). False, with `failure` naming the file, when
// it cannot; the file is then as it was. `changed`, when given, is set
// when the file's content changed.
bool PutIfChanged(const std::filesystem::path& path, std::string_view content, Failure* failure,
                  bool* changed = nullptr);

// The path in UTF-8 and back, by the tools' one rule.
using platform::FsPath;
using platform::Utf8;

}  // namespace frontend
