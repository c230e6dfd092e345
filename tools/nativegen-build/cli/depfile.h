// The depfile: what a run read, in the Make syntax Ninja and Make read
// back, so that the build runs the front end again when any of it changes.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "tools/nativegen-build/cli/options.h"
#include "tools/nativegen-build/cli/outputs.h"

namespace frontend {

// `path` as a name in a Make-syntax depfile: spaces, "#" and ":" behind a
// backslash, "$" doubled. (Ninja and Make read "\:" back as ":", so a
// drive letter's colon survives.)
std::string DepfileName(std::string_view path);

// The depfile's text: `target` depends on each of `inputs` (paths with "/"
// separators), and each has an empty rule of its own (as a compiler's -MP
// writes), so that Make takes a deleted input as a reason to run again,
// not as an error. An input Ninja or Make cannot read back from a depfile
// (a ";", "&", "'", "^", "`" or another such byte in it, or a trailing
// ":") is not listed; in its place stands `depfile`.always, a file that
// never exists, under an empty rule too: the build runs the front end
// every time and goes on. `unnamed` is set to the first such input, or
// left empty.
std::string DepfileText(const std::string& target, const std::set<std::string>& inputs, const std::string& depfile,
                        std::string* unnamed);

// `path` as a depfile names it: "/" on every system (Make and Ninja take
// it so on Windows too, and a backslash stays out of their escapes).
std::string DepfilePath(const std::filesystem::path& path);

// Writes the depfile `options` ask for, if any: the output (or
// --depfile-target) depends on every one of `inputs` (DepfilePath's
// form); `unnamed` as DepfileText sets it. False, with `failure`, when it
// cannot be written.
bool WriteDepfile(const Options& options, const std::set<std::string>& inputs, std::string* unnamed,
                  Failure* failure);

}  // namespace frontend
