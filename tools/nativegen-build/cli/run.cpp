#include "tools/nativegen-build/cli/run.h"

#include <cstdio>
#include <system_error>

#include "generator/generator.h"
#include "platform/runtime/platform.h"
#include "platform/tools/files.h"
#include "runtime/services/files.h"
#include "tools/nativegen-build/cli/steps.h"

namespace fs = std::filesystem;

namespace frontend {
namespace {

// Whether the process ends because the run is through.
bool finished = false;

// The exit hook: the generator's (which drops the pending header), and a
// run that ends early (out of memory, a runtime error) fails the build
// instead of passing it. A depfile written before the stop may stand.
void ExitHook() {
    ReleaseGlobals();
    if (!finished) {
        std::fprintf(stderr, "%s: the run stopped early; a header stays as it was, a library's files still fit together\n",
                     kProgram);
        platform::EndProcess(1);
    }
}

// The path as this run compares it with another: absolute, "." and ".."
// resolved, no "/" after it.
fs::path Compared(const std::string& given) {
    std::error_code error;
    fs::path path = fs::absolute(FsPath(given), error).lexically_normal();
    return path.has_filename() ? path : path.parent_path();
}

// Are the depfile and the stamp files of their own: not each other, and
// not the header, the library's folder or a source the library writes?
// One of them would take the other's place, and the run would say it
// wrote both.
bool OutputsApart(const Options& options, Failure* failure) {
    std::vector<std::pair<fs::path, std::string>> taken{{Compared(options.output), "the output"}};
    if (!options.library.empty())
        for (const char* ending : {".h", ".table.cpp", ".data.c"})
            taken.push_back({Compared(options.output) / FsPath(options.library + ending), "a file of the library"});
    for (const auto& [given, what] : {std::pair<const std::string&, const char*>{options.depfile, "the depfile"},
                                      {options.stamp, "the stamp"}}) {
        if (given.empty()) continue;
        for (const auto& [path, whose] : taken)
            if (Compared(given) == path) {
                *failure = {given, "cannot be " + std::string(what) + ": it is " + whose + " of this run"};
                return false;
            }
        taken.push_back({Compared(given), what});
    }
    return true;
}

}  // namespace

bool Folders::Make(const fs::path& folder, Failure* failure) {
    std::error_code error;
    std::vector<fs::path> missing;
    for (fs::path at = folder; !at.empty() && !fs::exists(at, error); at = at.parent_path()) {
        missing.push_back(at);
        if (at == at.parent_path()) break;
    }
    fs::create_directories(folder, error);
    for (const fs::path& at : missing)
        if (fs::is_directory(at, error)) made_.push_back(at);  // deepest first
    if (fs::is_directory(folder, error)) return true;
    *failure = {Utf8(folder), "the output directory cannot be made"};
    return false;
}

void Folders::RemoveIfEmpty() {
    std::error_code error;
    for (const fs::path& folder : made_)
        if (!fs::is_empty(folder, error) || error || !fs::remove(folder, error)) return;
}

bool ReportProblems(const std::vector<std::string>& problems, bool strict, const fs::path& output, Failure* failure) {
    if (!strict || problems.empty()) return true;
    for (const std::string& problem : problems) std::fprintf(stderr, "%s: %s\n", kProgram, problem.c_str());
    *failure = {Utf8(output), "not written, for the problems above (" + std::to_string(problems.size()) + ")"};
    return false;
}

void Say(const std::vector<std::string>& problems, const std::string& unnamed, bool changed) {
    if (!changed) return;
    for (const std::string& problem : problems) std::fprintf(stderr, "%s: warning: %s\n", kProgram, problem.c_str());
    if (!unnamed.empty())
        std::fprintf(stderr, "%s: note: %s: a depfile cannot name it, so the scripts are read again on every build\n",
                     kProgram, unnamed.c_str());
}

// Makes the file at `path`, or sets its time to now: the build's record
// that the run went through, whether or not an output changed. False,
// with `failure` naming it, when it cannot.
bool Stamp(const fs::path& path, Failure* failure) {
    *failure = {Utf8(path), "cannot be written"};
    std::error_code error;
    if (!fs::exists(path, error) && !PutIfChanged(path, "", failure)) return false;
    fs::last_write_time(path, fs::file_time_type::clock::now(), error);
    return !error;
}

int Run(const Options& options) {
    Tree tree;
    Failure failure;
    std::string nameSpace;
    if (options.checkNames) return CheckLibraryNames(options, &nameSpace, &failure) ? 0 : Report(failure);
    if (!OutputsApart(options, &failure)) return Report(failure);
    Folders made;
    // a stamp that could not be made would fail the run after its outputs
    // stand: it is no folder, and its folder is made first (as an output's is)
    if (std::error_code error; !options.stamp.empty()) {
        fs::path stamp = fs::absolute(FsPath(options.stamp), error);
        if (error || fs::is_directory(stamp, error) || !made.Make(stamp.parent_path(), &failure)) {
            made.RemoveIfEmpty();
            return Report({options.stamp, "cannot be the stamp: it is a folder, or its folder cannot be made"});
        }
    }
    int code = !options.files.empty()                        ? RunPackage(options, &made)
               : !CheckRoot(options.root, &tree, &failure) ? Report(failure)
               : options.library.empty()                     ? RunHeader(options, tree, &made)
                                                             : RunLibrary(options, tree, &made);
    if (code != 0) made.RemoveIfEmpty();
    if (code == 0 && !options.stamp.empty() && !Stamp(FsPath(options.stamp), &failure)) code = Report(failure);
    return code;
}

void Main(int argc, char** argv) {
    StartRuntime();
    RegisterExitHook(ExitHook);
    Options options;
    std::string why;
    int code = 2;
    std::vector<std::string> arguments{kProgram};
    for (const fs::path& argument : platform::ToolArguments(argc, argv)) arguments.push_back(Utf8(argument));
    if (!ParseArguments(arguments, &options, &why)) {
        std::fprintf(stderr, "%s: %s\n%s", kProgram, why.c_str(), Usage().c_str());
    } else if (options.help || options.version) {
        std::fputs((options.help ? Usage() : std::string(kProgram) + " " + NATIVEGEN_VERSION + "\n").c_str(), stdout);
        code = std::fflush(stdout) == 0 ? 0 : 1;
    } else {
        code = Run(options);
    }
    finished = true;
    ExitProgram(code);
}


}  // namespace frontend
