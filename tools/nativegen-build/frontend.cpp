#include "tools/nativegen-build/frontend.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "generator/generator.h"
#include "platform/platform.h"
#include "platform/tool_files.h"
#include "runtime/services/files.h"
#include "runtime/services/text.h"
#include "tools/common/identifiers.h"
#include "tools/nativegen-build/library_files.h"
#include "tools/nativegen-build/outputs.h"
#include "tools/nativegen-build/package_files.h"

namespace fs = std::filesystem;

namespace frontend {
namespace {

// A path of this many bytes or more in code page 936 is not searched or
// opened by the walk (MAX_PATH, terminator included).
constexpr std::size_t kMaxPath = 260;
const std::string kLimit = std::to_string(kMaxPath) + "-byte limit";

// Does a folder path of `length` bytes leave no room below the limit for
// a script's name (a separator, a letter and ".js")?
bool NoRoomForAName(std::size_t length) { return length + 1 + 4 >= kMaxPath; }

// ---- Paths --------------------------------------------------------------------

// A program path (code page 936, backslashes) for the file system.
fs::path FsPathOf(const std::string& programPath) { return FsPath(platform::ToSystemPath(programPath.c_str())); }

// Does the program path end in a backslash character (not a trail byte)?
bool EndsInSeparator(const std::string& path) {
    auto n = static_cast<std::int32_t>(path.size());
    return n > 0 && LastSeparator(path.c_str(), n) == n - 1;
}

// A depfile names a path with "/" on every system: Make and Ninja take it
// so on Windows too, and a backslash stays out of their escapes.
std::string DepfilePath(const fs::path& path) { return Utf8(path.generic_u8string()); }

// Is the path absolute as either system writes it ("/x", "\x", "C:/x")?
bool IsAbsolute(const std::string& path) {
    return !path.empty() && (path[0] == '/' || path[0] == '\\' ||
                             (path.size() > 2 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                              path[1] == ':' && (path[2] == '/' || path[2] == '\\')));
}

// ---- What the walk did ------------------------------------------------------------

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

    void Listed(TextValue directory) override {
        std::string dir(directory);
        dir.pop_back();  // the walk's own trailing backslash
        /* refused by the search? then its scripts are missing, not empty */
        if (NoRoomForAName(dir.size()) || dir.find_first_of("?*") != std::string::npos) {
            NotSearched(dir);
            return;
        }
        fs::path real = FsPathOf(dir);
        inputs_.insert(DepfilePath(real));
        NamesNotHeld(real);
    }

    void Emitted(TextValue path, TextValue name, const unsigned char* data, std::size_t count) override {
        std::string file(path);
        auto [first, fresh] = names_.emplace(std::string(name ? name : ""), file);
        if (!fresh)
            Problem(file, "its module name \"" + first->first + "\" is " + ShownPath(first->second) +
                              "'s too: a lookup by name finds only that one");
        total_ += count;
        /* past the limit the run is refused: no more bytes are written */
        if (blob_ && total_ <= keepLimit_)
            scripts_.push_back(blob_->Put(name ? name : "", std::string_view(reinterpret_cast<const char*>(data), count)));
        if (file.find('?') != std::string::npos) return;  // named by its folder's listing; nothing to depend on
        fs::path real = FsPathOf(file);
        std::error_code error;
        /* bytes came, so the file is there; otherwise a dangling link is left to its folder */
        if (count > 0 || fs::exists(real, error)) inputs_.insert(DepfilePath(real));
        if (count > 0) return;
        std::uintmax_t size = fs::is_regular_file(real, error) ? fs::file_size(real, error) : 0;
        if (error || size == 0) return;  // empty indeed, or no file (a directory)
        if (file.size() >= kMaxPath)
            Problem(file, "its path reaches the " + kLimit + " in code page 936: embedded with empty braces");
        else if (size > 0x7FFFFFFF)
            Problem(file, "it is 2 GiB or more: embedded with empty braces");
        else
            Problem(file, "it cannot be read: embedded with empty braces");
    }

    void NotEntered(TextValue path, TextValue ancestor) override {
        std::string above(ancestor);
        above.pop_back();  // the walk's own trailing backslash
        Problem(path, "the same folder as " + ShownPath(above) + ", which holds it: not entered");
    }

    // Every file and directory the walk read, for the depfile.
    const std::set<std::string>& Inputs() const { return inputs_; }
    const std::vector<std::string>& Problems() const { return problems_; }

    // Library mode: each script's module name and place in the blob, in header order.
    const std::vector<library::Script>& Scripts() const { return scripts_; }
    // The bytes of every script the walk emitted, written or not.
    std::uint64_t Total() const { return total_; }

private:
    // A program path as the user's system writes it.
    static std::string ShownPath(const std::string& programPath) { return platform::ToSystemPath(programPath.c_str()); }

    void Problem(const std::string& programPath, const std::string& why) {
        problems_.push_back(ShownPath(programPath) + ": " + why);
    }

    // Is the file name a script's ("*.js" without regard to case)?
    static bool IsScriptName(const std::string& name) {
        std::size_t n = name.size();
        return n >= 3 && name[n - 3] == '.' && (name[n - 2] | 0x20) == 'j' && (name[n - 1] | 0x20) == 's';
    }

    // What the walk of `dir` cannot name as it is on this system: scripts
    // whose names Windows cannot hold are left out, scripts whose names
    // code page 936 cannot hold get empty braces under a "?" name, and
    // folders whose names it cannot hold are not searched.
    void NamesNotHeld(const fs::path& dir) {
        std::error_code error;
        std::string held;
        fs::directory_iterator it(dir, error);
        if (error) {
            problems_.push_back(Utf8(dir) + ": cannot be listed: the scripts in it and below it are left out");
            return;
        }
        for (fs::directory_iterator end; !error && it != end; it.increment(error)) {
            std::string name = Utf8(it->path().filename());
            bool windows = true;
            for (unsigned char c : name) windows = windows && c >= 0x20 && !std::strchr("<>:\"/\\|?*", c);
            if (windows && platform::ToProgramPath(name, &held)) continue;
            std::error_code kind;
            bool folder = it->is_directory(kind);
            if (!windows && IsScriptName(name) && !folder)
                problems_.push_back(Utf8(it->path()) + ": left out: its name holds a character Windows cannot hold");
            else if (windows && !folder && IsScriptName(name))
                problems_.push_back(Utf8(it->path()) +
                                    ": its name holds characters code page 936 cannot hold: embedded with a \"?\" "
                                    "name and empty braces");
            else if (folder && HoldsScripts(it->path()))
                problems_.push_back(Utf8(it->path()) +
                                    ": its name holds characters code page 936 or Windows cannot hold: the scripts "
                                    "below it are left out");
        }
    }

    // Does a script stand anywhere below `dir`?
    static bool HoldsScripts(const fs::path& dir) {
        std::error_code error;
        for (fs::recursive_directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
            if (IsScriptName(Utf8(it->path().filename()))) return true;
        return false;
    }

    // A directory the search refuses for its length: say so when scripts
    // stand below it. (One whose name holds a "?" was named by its parent.)
    void NotSearched(const std::string& dir) {
        if (dir.find('?') == std::string::npos && HoldsScripts(FsPathOf(dir)))
            Problem(dir, "its path leaves no room under the " + kLimit + ": the scripts below it are left out");
    }

    library::ScratchBlob* blob_;
    std::uint64_t keepLimit_;
    std::uint64_t total_ = 0;
    std::set<std::string> inputs_;
    std::map<std::string, std::string> names_;  // module name -> the first script's path
    std::vector<std::string> problems_;
    std::vector<library::Script> scripts_;
};

// ---- The depfile ----------------------------------------------------------------------

// Can Ninja, and Make, read `path` back from a depfile? Besides what
// DepfileName escapes, their file names hold only these bytes, and a name
// may not end in ":". ("=" and "%" would make Make read a name's empty
// rule as a variable or a pattern rule.)
bool Nameable(std::string_view path) {
    if (!path.empty() && path.back() == ':') return false;  // read as the end of a target, escaped or not
    for (unsigned char c : path)
        if (c < 0x80 && !std::isalnum(c) && !std::strchr(" #$!()+,-./:@[]_{}~", c)) return false;
    return true;
}

// ---- The steps of a run -----------------------------------------------------------------

// The tree to walk: the root as the program names it (code page 936,
// backslashes, no trailing separator) and as the file system does.
struct Tree {
    std::string root;
    fs::path real;
};

// Check the root: a directory code page 936 holds, that can be listed, not
// the file system's root, with room for a script's name below the limit.
bool CheckRoot(const std::string& given, Tree* tree, Failure* failure) {
    std::error_code error;
    fs::path path = FsPath(given);
    *failure = {given, ""};
    if (!fs::exists(path, error)) failure->why = "no such directory";
    else if (!fs::is_directory(path, error)) failure->why = "not a directory";
    if (!failure->why.empty()) return false;
    tree->real = fs::canonical(path, error);
    if (error || !platform::ToProgramPath(Utf8(tree->real), &tree->root) ||
        tree->root.find_first_of("?*") != std::string::npos) {
        failure->why = "code page 936 or Windows cannot hold this path, so the walk cannot name it";
        return false;
    }
    failure->path = Utf8(tree->real);
    if (fs::directory_iterator(tree->real, error); error) failure->why = "cannot be listed";
    while (!tree->root.empty() && EndsInSeparator(tree->root)) tree->root.pop_back();
    if (failure->why.empty() && (tree->root.empty() || tree->real == tree->real.root_path()))
        failure->why = "the file system's root cannot be walked";
    if (failure->why.empty() && NoRoomForAName(tree->root.size()))
        failure->why = "the path leaves no room under the " + kLimit + " for a script's name";
    return failure->why.empty();
}

// Check the library's names: a name its files may take as their stem and
// a namespace the header can open. Answers the namespace in `nameSpace`.
bool CheckLibraryNames(const Options& options, std::string* nameSpace, Failure* failure) {
    *nameSpace = options.nameSpace.empty() ? options.library : options.nameSpace;
    std::string why;
    if (!library::ValidLibraryName(options.library, &why)) {
        *failure = {options.library, "not a library name: " + why};
        return false;
    }
    if (!library::ValidNamespace(*nameSpace, &why)) {
        *failure = {*nameSpace, "not a namespace for the library" +
                                    std::string(options.nameSpace.empty() ? " (its name; give --namespace): " : ": ") +
                                    why};
        return false;
    }
    return true;
}

// The folders a run made, so that a run that fails leaves none of them
// behind empty.
class Folders {
public:
    // Makes `folder` and those above it that are missing, noting each one made.
    bool Make(const fs::path& folder, Failure* failure) {
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

    // Removes the folders made, deepest first, while they are empty.
    void RemoveIfEmpty() {
        std::error_code error;
        for (const fs::path& folder : made_)
            if (!fs::is_empty(folder, error) || error || !fs::remove(folder, error)) return;
    }

private:
    std::vector<fs::path> made_;
};

// Walk the tree, with `collector` told what the walk does. The header, when
// one was begun, grows as the walk goes.
void Walk(const Tree& tree, Collector* collector) {
    Watcher = collector;
    SetWalkRoot(tree.root.c_str());
    TextValue start = CopyText(tree.root.c_str());
    TextValue pattern = nullptr;
    WalkDirectory(start, pattern, false, 0, false);
    ReleaseText(start);
    ReleaseText(pattern);
    Watcher = nullptr;
}

// With `strict`, the problems (what is not embedded whole, what was
// passed over) are errors that fail the run before anything is written
// (warnings wait for Say).
bool ReportProblems(const std::vector<std::string>& problems, bool strict, const fs::path& output, Failure* failure) {
    if (!strict || problems.empty()) return true;
    for (const std::string& problem : problems) std::fprintf(stderr, "%s: %s\n", kProgram, problem.c_str());
    *failure = {Utf8(output), "not written, for the problems above (" + std::to_string(problems.size()) + ")"};
    return false;
}

// Says the problems as warnings, and the first input no depfile names
// (`unnamed`): once, when the outputs `changed`, not on every idle build
// that runs the front end.
void Say(const std::vector<std::string>& problems, const std::string& unnamed, bool changed) {
    if (!changed) return;
    for (const std::string& problem : problems) std::fprintf(stderr, "%s: warning: %s\n", kProgram, problem.c_str());
    if (!unnamed.empty())
        std::fprintf(stderr, "%s: note: %s: a depfile cannot name it, so the scripts are read again on every build\n",
                     kProgram, unnamed.c_str());
}

// Write the depfile, when asked for: `made` depends on every input (paths
// with "/"); `unnamed` as DepfileText sets it.
bool WriteDepfile(const Options& options, const std::set<std::string>& inputs, std::string* unnamed,
                  Failure* failure) {
    if (options.depfile.empty()) return true;
    std::error_code error;
    fs::path depfile = fs::absolute(FsPath(options.depfile), error);
    // the depfile names what the rule makes as the build system named it
    fs::path made = FsPath(options.depfileTarget.empty() ? options.output : options.depfileTarget);
    return PutIfChanged(depfile, DepfileText(DepfilePath(made), inputs, DepfilePath(depfile), unnamed), failure);
}

// The header, begun before the walk so that it is written as it grows: to
// a new file beside HEADER, or with identifiers to rewrite, to a scratch
// file beside it first. Whatever ends the run, Finish or Abandon leaves
// nothing of it behind but HEADER.
class HeaderOutput {
public:
    HeaderOutput(const fs::path& header, bool rewrite)
        : header_(header), rewrite_(rewrite),
          scratch_(header.parent_path() / FsPath(std::string(kProgram) + "." +
                                                 std::to_string(platform::ProcessNumber()))) {}
    ~HeaderOutput() { Abandon(); }

    // Starts the pending header. False, with `failure`, when it cannot be written.
    bool Begin(Failure* failure) {
        *failure = {Utf8(header_), ""};
        std::string name;
        if (!RuntimePath(rewrite_ ? scratch_ : header_, &name, &failure->why)) return false;
        if (!BeginHeader(name.c_str(), !rewrite_)) {
            failure->why = "cannot be written (read-only, no regular file, or in a directory that takes no new file)";
            return false;
        }
        begun_ = true;
        return true;
    }

    // Has the header (or its scratch file) met a write that failed so far?
    // Then it, not a file written after it, is the one to name.
    bool Failed(Failure* failure) {
        if (!HeaderWriteFailed()) return false;
        *failure = {Utf8(header_), "cannot be written (a full disk?)"};
        return true;
    }

    // Puts the header in place (its identifiers rewritten when asked);
    // `changed` is set when its content changed.
    bool Finish(Failure* failure, bool* changed) {
        begun_ = false;
        *failure = {Utf8(header_), "cannot be written (a full disk?)"};
        if (!EndHeader()) return false;
        if (!rewrite_) {
            *changed = HeaderChanged();
            return true;
        }
        std::string text, why;
        bool done = Rewritten(&text, &why);
        RemoveScratch();
        if (!done && !why.empty()) failure->why = "its identifiers cannot be rewritten: " + why;
        return done && PutIfChanged(header_, text, failure, changed);
    }

    // Drops the pending header and any scratch file: HEADER stays as it was.
    void Abandon() {
        if (begun_) AbandonHeader();
        begun_ = false;
        RemoveScratch();
    }

private:
    // The scratch header with its identifiers made valid, as text.
    bool Rewritten(std::string* text, std::string* why) {
        fs::path rewritten = scratch_;
        rewritten += ".safe";
        std::FILE* in = platform::OpenStreamForRead(scratch_);
        std::FILE* out = in ? platform::CreateNewStream(rewritten) : nullptr;
        bool done = in && out && identifiers::Rewrite(in, out, why);
        if (in) std::fclose(in);
        done = out && std::fclose(out) == 0 && done;
        std::FILE* back = done ? platform::OpenStreamForRead(rewritten) : nullptr;
        if (back) {
            char piece[64 * 1024];
            for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, back)) > 0;) text->append(piece, n);
            done = !std::ferror(back);
            std::fclose(back);
        }
        return done && back;
    }

    void RemoveScratch() {
        if (!rewrite_) return;
        std::error_code error;
        fs::remove(scratch_, error);
        fs::path rewritten = scratch_;
        fs::remove(rewritten += ".safe", error);
    }

    fs::path header_;
    bool rewrite_;
    fs::path scratch_;
    bool begun_ = false;
};

// The run in header mode.
int RunHeader(const Options& options, const Tree& tree, Folders* made) {
    Failure failure;
    std::error_code error;
    fs::path header = fs::absolute(FsPath(options.output), error);
    if (!made->Make(header.parent_path(), &failure)) return Report(failure);
    HeaderOutput output(header, options.safeIdentifiers);
    if (!output.Begin(&failure)) return Report(failure);
    Collector collector(nullptr, 0);
    Walk(tree, &collector);
    // the depfile first: a run that fails on it leaves the header as it was
    std::string unnamed;
    bool changed = false;
    if (!ReportProblems(collector.Problems(), options.strict, header, &failure) || output.Failed(&failure) ||
        !WriteDepfile(options, collector.Inputs(), &unnamed, &failure) || !output.Finish(&failure, &changed)) {
        output.Abandon();
        return Report(failure);
    }
    Say(collector.Problems(), unnamed, changed);
    return 0;
}

// The library `options` ask for, its names not yet checked.
library::Request LibraryRequest(const Options& options) {
    std::error_code error;
    library::Request request;
    request.name = options.library;
    request.format = options.data == "incbin" ? library::DataFormat::Incbin : library::DataFormat::Msvc;
    request.folder = fs::absolute(FsPath(options.output), error);
    // the assembler names the blob as the build named the folder when that
    // is absolute (a front end run through an emulator sees its own form of
    // the path); otherwise made absolute here
    request.blobFolder = IsAbsolute(options.output) ? options.output : DepfilePath(request.folder);
    // a backslash ends a name where it is no separator (Linux): it stays
    auto separator = [](char c) { return c == '/' || c == static_cast<char>(fs::path::preferred_separator); };
    while (request.blobFolder.size() > 1 && separator(request.blobFolder.back())) request.blobFolder.pop_back();
    request.package = !options.files.empty();
    request.compress = options.compress;
    return request;
}

// Can the runtime write the library's sources under the names they take?
// Asked before anything is written, so a folder it cannot name leaves no
// blob behind. (".table.cpp" is the longest of their endings.)
bool SourcesNameable(const library::Request& request, Failure* failure) {
    fs::path longest = request.folder / FsPath(request.name + ".table.cpp");
    std::string name;
    *failure = {Utf8(longest), ""};
    return RuntimePath(longest, &name, &failure->why);
}

// The most bytes a library's data can hold for the target `options` name.
std::uint64_t BlobLimit(const Options& options) {
    std::uint64_t limit = 0;
    library::BlobLimit(options.target, &limit);  // the name was checked with the command line
    return limit;
}

// Does a blob of `total` bytes link for the target? When not, `failure`
// says so with both sizes: it is refused before anything compiles.
bool WithinLimit(const Options& options, const library::Request& request, std::uint64_t total, Failure* failure) {
    std::uint64_t limit = BlobLimit(options);
    if (total <= limit) return true;
    *failure = {Utf8(request.folder),
                std::string(request.package ? "the files" : "the scripts") + " come to " + std::to_string(total) +
                    " bytes, past the " + std::to_string(limit) + " bytes a library's data can hold for " +
                    options.target + ": nothing was written"};
    return false;
}

// The run in library mode.
int RunLibrary(const Options& options, const Tree& tree, Folders* made) {
    Failure failure;
    library::Request request = LibraryRequest(options);
    if (!CheckLibraryNames(options, &request.nameSpace, &failure) || !SourcesNameable(request, &failure) ||
        !made->Make(request.folder, &failure))
        return Report(failure);
    library::ScratchBlob blob;
    if (!blob.Open(request, &failure)) return Report(failure);
    Collector collector(&blob, BlobLimit(options));
    Walk(tree, &collector);
    if (!WithinLimit(options, request, collector.Total(), &failure)) return Report(failure);
    // the depfile first: a run that fails on it leaves the library as it was
    std::string unnamed;
    bool changed = false;
    if (!ReportProblems(collector.Problems(), options.strict, request.folder, &failure) || !blob.Flushed(&failure) ||
        !WriteDepfile(options, collector.Inputs(), &unnamed, &failure) ||
        !library::FinishStreamed(request, collector.Scripts(), blob, std::string(), &failure, &changed))
        return Report(failure);
    Say(collector.Problems(), unnamed, changed);
    return 0;
}

// The run for a package (--files): the files below the root that the
// globs take, by their paths (package_files.h), each file's bytes
// streamed into the library (library_files.h). The root is any path the
// system can name.
int RunPackage(const Options& options, Folders* made) {
    Failure failure;
    library::Request request = LibraryRequest(options);
    if (!CheckLibraryNames(options, &request.nameSpace, &failure) || !SourcesNameable(request, &failure))
        return Report(failure);
    std::error_code error;
    fs::path root = fs::absolute(FsPath(options.root), error);
    package::Walk walk;
    if (error) return Report({options.root, "cannot be made absolute"});
    // "/", "/tmp/..", a link to "/": the walk would reach /proc
    if (fs::path real = fs::canonical(root, error); !error && real == real.root_path())
        return Report({Utf8(real), "the file system's root cannot be walked"});
    // the library's own folder never: its blob would be taken again on every run
    package::Selection selection{options.files, options.exclude, {request.folder}};
    for (const std::string& folder : options.skip) selection.skip.push_back(fs::absolute(FsPath(folder), error));
    if (!package::WalkTree(root, selection, &walk, &failure.path, &failure.why)) return Report(failure);
    std::set<std::string> inputs;
    for (const fs::path& path : walk.read) inputs.insert(DepfilePath(path));
    std::vector<library::Entry> entries;
    std::uint64_t total = 0;
    for (package::File& file : walk.files) {
        total += file.size;
        entries.push_back({std::move(file.name), std::move(file.path), {}, file.size, file.modified});
    }
    if (!WithinLimit(options, request, total, &failure)) return Report(failure);
    // the depfile first: a run that fails on it leaves the library as it was
    std::string unnamed;
    bool changed = false;
    if (!ReportProblems(walk.warnings, options.strict, request.folder, &failure) ||
        !made->Make(request.folder, &failure) || !WriteDepfile(options, inputs, &unnamed, &failure) ||
        !library::WriteLibrary(request, entries, &failure, &changed))
        return Report(failure);
    Say(walk.warnings, unnamed, changed);
    return 0;
}

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

// The command lines the program takes.
std::string Usage() {
    const std::string p = kProgram, pad(p.size(), ' ');
    return "usage: " + p + " ROOT HEADER [--depfile FILE [--depfile-target FILE]] [--strict]\n" +
           "       " + pad + " [--safe-identifiers] [--stamp FILE]\n" +
           "       " + p + " ROOT DIR --library NAME [--namespace NS] [--data incbin|msvc]\n" +
           "       " + pad + " [--compress[=LEVEL]]\n" +
           "       " + pad + " [--files GLOB... [--exclude GLOB]... [--skip-folder DIR]...]\n" +
           "       " + pad + " [--target elf-x86_64|elf-aarch64|elf|coff|msvc|macho-x86_64|macho-arm64]\n" +
           "       " + pad + " [--depfile FILE [--depfile-target FILE]] [--strict] [--stamp FILE]\n" +
           "       " + p + " --check-names --library NAME [--namespace NS]\n" +
           "       " + p + " --help | --version\n";
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& arguments, Options* options, std::string* why) {
    std::vector<std::string> positional;
    std::set<std::string> seen;  // the options given so far
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        std::string* value = a == "--depfile"          ? &options->depfile
                             : a == "--depfile-target" ? &options->depfileTarget
                             : a == "--stamp"          ? &options->stamp
                             : a == "--library"   ? &options->library
                             : a == "--namespace" ? &options->nameSpace
                             : a == "--data"      ? &options->data
                             : a == "--target"    ? &options->target
                                                  : nullptr;
        std::vector<std::string>* globs = a == "--files"         ? &options->files
                                          : a == "--exclude"     ? &options->exclude
                                          : a == "--skip-folder" ? &options->skip
                                                                 : nullptr;
        // a second value would silently win over the first
        if (!globs && a.starts_with("--") && a.size() > 2 && !seen.insert(a.substr(0, a.find('='))).second) {
            *why = a + " is given twice";
            return false;
        }
        if (globs) {
            if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
                *why = a + (globs == &options->skip ? " needs a folder" : " needs a glob");
                return false;
            }
            globs->push_back(arguments[++i]);
        } else if (value) {
            if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
                *why = a + " needs a value";
                return false;
            }
            *value = arguments[++i];
        } else if (a == "--compress" || a.rfind("--compress=", 0) == 0) {
            options->compress = library::kDefaultCompressLevel;
            std::string level = a.size() > 10 ? a.substr(11) : std::string();
            if (a.size() > 10 && (level.empty() || level.size() > 2 ||
                                  level.find_first_not_of("0123456789") != std::string::npos ||
                                  std::stoi(level) < 1 || std::stoi(level) > library::MaxCompressLevel())) {
                *why = "--compress takes a level from 1 to " + std::to_string(library::MaxCompressLevel()) +
                       ", not \"" + level + "\"";
                return false;
            }
            if (!level.empty()) options->compress = std::stoi(level);
        } else if (a == "--strict") {
            options->strict = true;
        } else if (a == "--safe-identifiers") {
            options->safeIdentifiers = true;
        } else if (a == "--check-names") {
            options->checkNames = true;
        } else if (a == "--help" || a == "--version") {
            options->help = a == "--help";
            options->version = a == "--version";
            return true;
        } else if (a.size() > 1 && a[0] == '-' && a != "--") {
            *why = "unknown option " + a;
            return false;
        } else {
            if (a == "--" && i + 1 < arguments.size()) ++i;
            positional.push_back(arguments[i]);
        }
    }
    if (options->checkNames) {
        // (an option it would pass over would look taken)
        const std::set<std::string> allowed{"--check-names", "--library", "--namespace"};
        bool other = !options->files.empty() || !options->exclude.empty() || !options->skip.empty() ||
                     std::any_of(seen.begin(), seen.end(), [&](const std::string& o) { return !allowed.count(o); });
        if (!positional.empty() || options->library.empty() || other) {
            *why = "--check-names takes --library NAME [--namespace NS] and nothing else";
            return false;
        }
        return true;
    }
    if (positional.size() != 2 || positional[0].empty() || positional[1].empty()) {
        *why = "expected a script root and an output";
        return false;
    }
    if (options->library.empty() && (!options->nameSpace.empty() || options->data != "incbin" ||
                                     options->target != "any")) {
        *why = "--namespace, --data and --target go with --library";
        return false;
    }
    if (options->library.empty() && options->compress > 0) {
        *why = "--compress goes with --library";
        return false;
    }
    if (options->library.empty() && !options->files.empty()) {
        *why = "--files goes with --library";
        return false;
    }
    if (options->files.empty() && (!options->exclude.empty() || !options->skip.empty())) {
        *why = "--exclude and --skip-folder go with --files";
        return false;
    }
    if (!options->library.empty() && options->safeIdentifiers) {
        *why = "--safe-identifiers goes with a header, not --library";
        return false;
    }
    if (options->depfile.empty() && !options->depfileTarget.empty()) {
        *why = "--depfile-target goes with --depfile";
        return false;
    }
    if (options->data != "incbin" && options->data != "msvc") {
        *why = "--data takes incbin or msvc, not " + options->data;
        return false;
    }
    if (std::uint64_t limit; !library::BlobLimit(options->target, &limit)) {
        *why = "--target takes elf-x86_64, elf-aarch64, elf, coff, msvc, macho-x86_64, macho-arm64 or any, not " +
               options->target;
        return false;
    }
    options->root = positional[0];
    options->output = positional[1];
    return true;
}

std::string DepfileName(std::string_view path) {
    std::string name;
    for (char c : path) {
        if (c == '$') name += '$';
        else if (c == ' ' || c == '#' || c == ':') name += '\\';
        name += c;
    }
    return name;
}

std::string DepfileText(const std::string& target, const std::set<std::string>& inputs, const std::string& depfile,
                        std::string* unnamed) {
    std::string text = DepfileName(target) + ":", rules;
    auto list = [&](const std::string& name) {
        text += " \\\n  " + name;
        rules += "\n" + name + ":\n";
    };
    for (const std::string& input : inputs) {
        if (Nameable(input))
            list(DepfileName(input));
        else if (unnamed->empty())
            *unnamed = input;
    }
    if (!unnamed->empty()) list(DepfileName(depfile + ".always"));
    return text + "\n" + rules;
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
