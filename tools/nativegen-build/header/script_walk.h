// The generator's own walk over a script tree, run from a root named on
// the command line: what the header and a script library are made from.
// The collector beside it hears what the walk does, for the depfile and
// the problems, and hands a script library each script's bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "generator/generator.h"
#include "tools/nativegen-build/cli/outputs.h"
#include "tools/nativegen-build/library/writes.h"

namespace frontend {

// The tree to walk: the root as the program names it (code page 936,
// backslashes, no trailing separator) and as the file system does.
struct Tree {
    std::string root;
    std::filesystem::path real;
};

// Check the root: a directory code page 936 holds, that can be listed, not
// the file system's root, with room for a script's name below the limit.
bool CheckRoot(const std::string& given, Tree* tree, Failure* failure);

// Collects from the walk what a depfile lists and what was not embedded
// whole. Library mode also writes each script's bytes to the blob as they
// come, and keeps its module name and place.
class Collector final : public RunWatcher {
public:
    // `blob`: library mode's, the caller's, which takes the scripts' bytes
    // up to `keepLimit` in all; null for a header.
    Collector(library::ScratchBlob* blob, std::uint64_t keepLimit) : blob_(blob), keepLimit_(keepLimit) {}

    // A library takes the bytes alone: no header line is formatted.
    bool WantsLines() const override { return blob_ == nullptr; }
    void Listed(TextValue directory) override;
    void Emitted(TextValue path, TextValue name, const unsigned char* data, std::size_t count) override;
    void NotEntered(TextValue path, TextValue ancestor) override;

    // Every file and directory the walk read, for the depfile.
    const std::set<std::string>& Inputs() const { return inputs_; }
    const std::vector<std::string>& Problems() const { return problems_; }

    // Library mode: each script's module name and place in the blob, in header order.
    const std::vector<library::Script>& Scripts() const { return scripts_; }
    // The bytes of every script the walk emitted, written or not.
    std::uint64_t Total() const { return total_; }

private:
    void Problem(const std::string& programPath, const std::string& why);
    // What the walk of `dir` cannot name as it is on this system: scripts
    // whose names Windows cannot hold are left out, scripts whose names
    // code page 936 cannot hold get empty braces under a "?" name, and
    // folders whose names it cannot hold are not searched.
    void NamesNotHeld(const std::filesystem::path& dir);
    // A directory the search refuses for its length: say so when scripts
    // stand below it. (One whose name holds a "?" was named by its parent.)
    void NotSearched(const std::string& dir);

    library::ScratchBlob* blob_;
    std::uint64_t keepLimit_;
    std::uint64_t total_ = 0;
    std::set<std::string> inputs_;
    std::map<std::string, std::string> names_;  // module name -> the first script's path
    std::vector<std::string> problems_;
    std::vector<library::Script> scripts_;
};

// Walk the tree, with `collector` told what the walk does. The header, when
// one was begun, grows as the walk goes.
void Walk(const Tree& tree, Collector* collector);

}  // namespace frontend
