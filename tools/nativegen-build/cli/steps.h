// The steps every kind of run shares, and the runs themselves: a header
// (header/), a script library and a package library (library_run.cpp).
// Each is handed the folders it works in; none changes the working
// directory.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/nativegen-build/cli/options.h"
#include "tools/nativegen-build/cli/outputs.h"
#include "tools/nativegen-build/header/script_walk.h"

namespace frontend {

// The folders a run made, so that a run that fails leaves none of them
// behind empty.
class Folders {
public:
    // Makes `folder` and those above it that are missing, noting each one made.
    bool Make(const std::filesystem::path& folder, Failure* failure);
    // Removes the folders made, deepest first, while they are empty.
    void RemoveIfEmpty();

private:
    std::vector<std::filesystem::path> made_;
};

// With `strict`, the problems (what is not embedded whole, what was
// passed over) are errors that fail the run before anything is written
// (warnings wait for Say).
bool ReportProblems(const std::vector<std::string>& problems, bool strict, const std::filesystem::path& output,
                    Failure* failure);

// Says the problems as warnings, and the first input no depfile names
// (`unnamed`): once, when the outputs `changed`, not on every idle build
// that runs the front end.
void Say(const std::vector<std::string>& problems, const std::string& unnamed, bool changed);

// Check the library's names: a name its files may take as their stem and
// a namespace the header can open. Answers the namespace in `nameSpace`.
bool CheckLibraryNames(const Options& options, std::string* nameSpace, Failure* failure);

// The runs, each answering the exit code (0 when all it promises stands
// written; otherwise it reported the failure). A header or a script
// library from the tree `tree` (CheckRoot's); a package from the root on
// the command line, by exact paths.
int RunHeader(const Options& options, const Tree& tree, Folders* made);
int RunLibrary(const Options& options, const Tree& tree, Folders* made);
int RunPackage(const Options& options, Folders* made);

}  // namespace frontend
