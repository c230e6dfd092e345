// The files of a package: which files below a root a library takes (the
// FILES and EXCLUDE globs), and the walk that finds them with their exact
// names. Each file's bytes are read later, by whoever writes the library.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace package {

// Does `glob` match `path` (relative to the root, "/" between parts)?
// "*" and "?" (one character) never cross a "/", a part "**" stands for
// any number of folders, and a glob without a "/" is matched against the
// last part alone, at any depth. ASCII letters match either case.
bool GlobMatches(std::string_view glob, std::string_view path);

// What a library takes: a path some `files` glob matches and no `exclude`
// glob, outside the folders `skip` names (the library's own output folder,
// a build tree below the root): those are never entered.
struct Selection {
    std::vector<std::string> files;
    std::vector<std::string> exclude;
    std::vector<std::filesystem::path> skip;
    bool Takes(std::string_view path) const;
};

// Is `bytes` valid UTF-8 (no overlong form, no surrogate, nothing past U+10FFFF)?
bool ValidUtf8(std::string_view bytes);

// One file taken: its name (the path below the root, UTF-8, "/" between
// parts), where the walk found it, and its length and time then.
struct File {
    std::string name;
    std::filesystem::path path;
    std::uint64_t size;
    std::int64_t modified;
};

struct Walk {
    std::vector<File> files;                   // in byte order of their names
    std::vector<std::filesystem::path> read;   // every folder listed and every file taken
    std::vector<std::string> warnings;         // what was passed over, with its path
};

// Walks `root` (a directory, as the system names it), links followed:
// a folder reached again through a link to one of its own ancestors is
// not entered (a warning names the link); what is no regular file (a
// FIFO, a device, a link to nothing) is passed over with a warning when
// the selection takes its path; a folder of `selection.skip` is not
// entered. False, with `failed` (the path) and `why`, when a folder cannot
// be listed, an entry cannot be asked about, a name the library needs is
// not valid UTF-8, or a `files` glob takes no file (each such glob named).
// The caller owns `walk`.
bool WalkTree(const std::filesystem::path& root, const Selection& selection, Walk* walk, std::string* failed,
              std::string* why);

}  // namespace package
