// A folder on disk mounted in a tree: what a path below it names, lists and holds, and its package.json files, read once.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <nativegen/tree.h>

#include "package_json.h"

namespace nativegen::detail {

// The system path of the UTF-8 path `utf8`, and a system path's name in
// UTF-8: names outside the system's code page stay whole on Windows.
std::filesystem::path system_path(std::string_view utf8);
std::string utf8_name(const std::filesystem::path& p);

// One folder on disk. Paths below it are as a library names them ("" is
// the folder itself, "/" between parts); it reads the disk on every
// question but package_at, whose answers it keeps. Answers from any
// number of threads at once.
class disk_folder {
public:
    // `root` must be a folder (the tree checks when it mounts).
    explicit disk_folder(std::filesystem::path root) : root_(std::move(root)) {}

    // What `rel` names, through symbolic links.
    ::nativegen::kind kind(std::string_view rel) const;
    // The names in the folder `rel` as tree::list gives them (UTF-8, byte
    // order, "/" after a folder's); `names` filled only on fault::none.
    fault list(std::string_view rel, std::vector<std::string>& names) const;
    // The whole file `rel` into `bytes` (`size` of them; never null, even
    // for none), or why not.
    fault read(std::string_view rel, std::unique_ptr<char[]>& bytes, std::size_t& size) const;
    // The package.json of the folder `rel`, named `folder` (its tree
    // path) in what it gives; read once, then kept for this one's life.
    const package* package_at(std::string_view rel, std::string_view folder) const;

private:
    // The system path of `rel`.
    std::filesystem::path at(std::string_view rel) const;
    // Why `rel`, which is not there, is not: a part before its last is a
    // file (not_folder), or no_entry.
    fault missing(std::string_view rel) const;

    struct kept {
        package_json json;
        package view;
    };
    std::filesystem::path root_;
    mutable std::mutex mutex_;  // guards packages_
    // by folder; null for none there. Entries are never removed, so the
    // packages handed out stay where they are.
    mutable std::map<std::string, std::unique_ptr<kept>, std::less<>> packages_;
};

}  // namespace nativegen::detail
