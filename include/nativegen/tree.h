// One tree of files over many libraries and folders on disk, mounted at absolute paths.
//
//   nativegen::tree t;
//   t.mount("/node_modules/typescript", typescript_lib::library());
//   t.mount("/app", "/home/me/app/scripts");          // a folder on disk
//   nativegen::contents js;
//   if (nativegen::fault f = t.read("/app/./main.js", js); f != nativegen::fault::none)
//       std::fprintf(stderr, "%s\n", nativegen::describe(f));
//
// Paths are absolute ("/" first; on Windows "\" is a separator too) and
// normalised before anything is looked up: ".", "..", repeated and
// trailing separators. The folders above every mount exist ("/",
// "/node_modules"). A library built to be read from its source folder
// (its table names one) is mounted as that folder on disk.
//
// Mount first, then read: once mounted, a tree answers from any number
// of threads at once. Compiled C++17; link NativeGen::tree.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nativegen/library.h>

namespace nativegen {

// Why an answer of the tree is not the one asked for.
enum class fault {
    none,
    no_entry,    // nothing has that path
    not_folder,  // the path, or a folder it passes through, is a file
    is_folder,   // a file was asked for and the path is a folder
    damaged,     // a library's stored bytes do not decompress to the entry
    unreadable,  // a file on disk that is there could not be read
    bad_path,    // not an absolute path, or one holding a zero byte
};

// What a fault says: "no such entry", "not a folder", "a folder",
// "damaged stored bytes", "cannot be read", "not an absolute path".
const char* describe(fault f) noexcept;

// The normal form of an absolute path: "/" between parts, no ".", ".."
// or empty parts (".." at the root stays there), no "/" after the last
// part, "/" for the root; empty when `path` is not absolute or holds a
// zero byte.
std::string normalise(std::string_view path);

// A file's bytes: a view of a library's own when they are stored as they
// are, otherwise held here (decompressed, or read from disk). Movable,
// not copyable; bytes() stays valid while this lives and is not assigned.
class contents {
public:
    contents() noexcept = default;
    std::string_view bytes() const noexcept { return view_; }
    const char* data() const noexcept { return view_.data(); }
    std::size_t size() const noexcept { return view_.size(); }
    bool held() const noexcept { return held_ != nullptr; }  // true when not a view of a library

private:
    friend class tree;
    std::string_view view_;
    std::unique_ptr<char[]> held_;
};

// A package.json as resolution reads it: the fields of a library's
// table, or the same read from a folder on disk when it is first asked
// for (owned by the tree then).
using package = detail::package;

class tree {
public:
    tree();
    ~tree();
    tree(tree&&) noexcept;
    tree& operator=(tree&&) noexcept;
    tree(const tree&) = delete;
    tree& operator=(const tree&) = delete;

    // Mounts `lib` (a value; its table lives as long as the program) or
    // the folder `folder` on disk (read when asked, so edits show at once)
    // at the absolute path `at`. A later mount at or inside an earlier one
    // hides what it covers. bad_path when `at` is not absolute; not_folder
    // when `folder` is not a folder on disk. A library's names are matched
    // byte for byte; a folder's on disk as its system matches them
    // (without case on Windows), its symbolic links followed.
    fault mount(std::string_view at, const library& lib);
    fault mount(std::string_view at, std::string_view folder);

    // What `path` names: a file, a folder, or none (a bad path too).
    ::nativegen::kind kind(std::string_view path) const;

    // The names directly inside the folder `path`, in byte order: files
    // by their own name, folders with a "/" after it ("sub/"), mounts
    // and the folders above them among them. Fills `names` only on
    // fault::none.
    fault list(std::string_view path, std::vector<std::string>& names) const;

    // The bytes of the file `path` into `out`: fault::none, or why not
    // (`out` is then empty).
    fault read(std::string_view path, contents& out) const;

    // The package.json in the folder `path` as resolution reads it; null
    // when that folder holds no package.json file. One that is not valid
    // JSON is there with valid false.
    const package* package_at(std::string_view folder) const;

private:
    struct state;
    std::unique_ptr<state> state_;
};

}  // namespace nativegen
