// The build front end: the generator's own walk, emission and header code
// run from a root named on the command line, for build systems. It writes
// only into the output's directory and only what changed, lists what the
// walk read in a depfile, and says which scripts the header does not
// carry whole.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace frontend {

// What the command line asks for.
struct Options {
    std::string root;          // the script tree (UTF-8, as given)
    std::string output;        // the header file, or the library's directory
    std::string depfile;       // empty: none
    std::string depfileTarget; // what the depfile says is made; empty: the output
    std::string library;       // the library's name; empty: a header
    std::string nameSpace;     // the library's namespace; empty: its name
    std::string data = "incbin";  // how the library holds the bytes: incbin or msvc
    std::string target = "any";   // what the library's data goes to, for its size limit
    bool strict = false;       // scripts not embedded whole fail the run
    bool safeIdentifiers = false;
};

// Reads the arguments (UTF-8, the program first) into `options`. False,
// with `why` set, on anything it does not know or a value missing.
bool ParseArguments(const std::vector<std::string>& arguments, Options* options, std::string* why);

// `path` as a name in a Make-syntax depfile: spaces and "#" behind a
// backslash, "$" doubled. A ":" stays as it is: inside a name (a drive
// letter's) Ninja and CMake read it so, and an escaped one they do not.
std::string DepfileName(std::string_view path);

// The whole run for `options`. 0 when everything asked for stands written;
// otherwise an error naming the path went to standard error, and no output
// that was there before has changed. Needs the runtime started and Main's
// exit hook.
int Run(const Options& options);

// The program: the runtime, the command line, the run, and the exit with
// Run's answer (2 for a command line it cannot take; 1 when the run
// stopped early, out of memory or on a runtime error). Does not return.
[[noreturn]] void Main(int argc, char** argv);

}  // namespace frontend
