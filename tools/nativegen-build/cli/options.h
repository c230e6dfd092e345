// The front end's command line: what it asks for, read from the arguments.
#pragma once

#include <string>
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
    bool readFromSource = false;  // a package: its table names the root, for builds that read the files there
    bool safeIdentifiers = false;
    bool checkNames = false;   // --check-names: check the library's names (and level, target), nothing walked or written
    bool help = false;         // --help: the usage, and nothing else
    bool version = false;      // --version: the version, and nothing else
};

// Reads the arguments (UTF-8, the program first) into `options`. False,
// with `why` set, on anything it does not know, a value missing, an option
// given twice (but --files, --exclude and --skip-folder) or one that does
// not go with the others.
bool ParseArguments(const std::vector<std::string>& arguments, Options* options, std::string* why);

// The command lines the program takes, as --help and a refused one print them.
std::string Usage();

}  // namespace frontend
