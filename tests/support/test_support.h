// What the tests share: a temporary directory per test, file helpers, and
// running a built program.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/services/files.h"

namespace test {

namespace fs = std::filesystem;

// A fresh directory below the system's temporary directory, removed with
// everything in it when the object goes.
// The names in `folder` (UTF-8), sorted; none when it is missing.
std::vector<std::string> Listing(const fs::path& folder);

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return root_; }
    // Writes `bytes` to the file at `relative`, making its directories.
    fs::path Write(const fs::path& relative, const std::string& bytes) const;
    // Makes the directory at `relative` and those above it.
    fs::path MakeDir(const fs::path& relative) const;
    // The names of the entries directly inside, sorted.
    std::vector<std::string> Names() const;

private:
    fs::path root_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadAll(const fs::path& file);

// The bytes of a C string literal's inside, with the escapes the library
// writer uses (three-digit octal, "\n", and a backslash before any other).
std::string DecodeLiteral(const std::string& inside);

// The path as the program's texts hold it: code page 936, backslashes, as
// the platform layer of this build reports paths to the runtime.
std::string ProgramPath(const fs::path& path);

// Starts a pending file for the target at `path`, named as the program
// names it; true when it could be opened.
bool OpenPendingAt(const fs::path& path, PendingFile* file);

// Gives the file the Windows attribute `attribute` ('r' read-only, 'h'
// hidden, 's' system) the way this build's system keeps it; false when it
// cannot be kept here.
bool MarkFile(const fs::path& file, char attribute);

// How a program is run: its one argument (none when empty), or else its
// arguments as paths (handed over whole, whatever they hold), and whether
// it runs as an unprivileged user (on Linux, when the tests run as root).
struct RunOptions {
    std::string argument;
    bool unprivileged = false;
    std::vector<fs::path> arguments = {};
};

// Runs the program from `workDir`; answers its exit code, -1 when it could
// not be run or did not exit. Standard error goes to `errors`.
int RunProgram(const fs::path& program, const fs::path& workDir, std::string* errors = nullptr,
               const RunOptions& options = {});

// True when programs can be run as an unprivileged user here.
bool CanRunUnprivileged();

// The generator built with these tests, and the same with its heap failure
// hook in reach of an argument.
fs::path GeneratorProgram();
fs::path FaultyGeneratorProgram();

// The build front end built with these tests.
fs::path BuildProgram();
// The identifier rewriter built with these tests.
fs::path IdentifiersProgram();

// True on the Windows build.
extern const bool kWindowsBuild;

// Is this test built with AddressSanitizer? Its runtime makes system calls
// of its own and costs memory: some runs are the plain build's alone.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

}  // namespace test
