// The build front end: the generator's own walk, emission and header code
// run from a root named on the command line, for build systems. It writes
// only into the output's folder and only what changed, lists what the
// walk read in a depfile, and says which scripts the header does not
// carry whole.
//
// A run is a few steps, each handed the folders it works in: check the
// root (and a library's names), walk (the header, when one is made, grows
// as the walk goes), report what was not embedded whole, write the
// depfile, then put the header or the library's files in place. The
// working directory is never changed. A package (--files) has a walk of
// its own (package_files.h) over any root, by exact paths, and its files'
// bytes are streamed into the library.
#pragma once

#include <set>
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
    std::string stamp;         // made, or its time set to now, when the run succeeds; empty: none
    std::string library;       // the library's name; empty: a header
    std::string nameSpace;     // the library's namespace; empty: its name
    std::string data = "incbin";  // how the library holds the bytes: incbin or msvc
    std::vector<std::string> files;    // a package: the globs of the files it takes (none: the scripts)
    std::vector<std::string> exclude;  // a package: the globs of the files it leaves out
    std::vector<std::string> skip;     // a package: folders the walk never enters (the output folder never is)
    int compress = 0;          // --compress[=LEVEL]: each entry's zstd level; 0: stored as they are
    std::string target = "any";   // what the library's data goes to, for its size limit
    bool strict = false;       // scripts not embedded whole fail the run
    bool safeIdentifiers = false;
    bool checkNames = false;   // --check-names: check the library's names, nothing walked or written
    bool help = false;         // --help: the usage, and nothing else
    bool version = false;      // --version: the version, and nothing else
};

// Reads the arguments (UTF-8, the program first) into `options`. False,
// with `why` set, on anything it does not know, a value missing, an option
// given twice (but --files, --exclude and --skip-folder) or one that does
// not go with the others.
bool ParseArguments(const std::vector<std::string>& arguments, Options* options, std::string* why);

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

// The whole run for `options`. 0 when everything asked for stands written;
// otherwise an error naming the path went to standard error, and what
// stands is what the failed step promises: a header as it was, a
// library's files consistent (library_files.h). Needs the runtime started
// and Main's exit hook.
int Run(const Options& options);

// The program: the runtime, the command line, the run, and the exit with
// Run's answer (0 for --help and --version; 2 for a command line it cannot
// take; 1 when the run stopped early, out of memory or on a runtime
// error). Does not return.
[[noreturn]] void Main(int argc, char** argv);

}  // namespace frontend
