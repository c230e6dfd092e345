#include "tools/nativegen-build/frontend.h"

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
#include "tools/nativegen-build/library_sources.h"

namespace fs = std::filesystem;

namespace frontend {
namespace {

// A path of this many bytes or more in code page 936 is not searched or
// opened by the walk (MAX_PATH, terminator included).
constexpr std::size_t kMaxPath = 260;

// ---- Paths --------------------------------------------------------------------

fs::path FsPath(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8(const fs::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

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

// Reports `why` for `path` on standard error; the run's answer for failure.
int Fail(const std::string& path, const std::string& why) {
    std::fprintf(stderr, "nativegen-build: %s: %s\n", path.c_str(), why.c_str());
    return 1;
}

// ---- What the walk did ------------------------------------------------------------

// Collects from the walk what a depfile lists and what was not embedded
// whole. Library mode also keeps each script's name and bytes.
class Collector final : public RunWatcher {
public:
    // Library mode keeps the bytes of the scripts up to `keepLimit` in all.
    Collector(bool keepBytes, std::uint64_t keepLimit) : keepBytes_(keepBytes), keepLimit_(keepLimit) {}

    void Listed(TextValue directory) override {
        std::string dir(directory);
        dir.pop_back();  // the walk's own trailing backslash
        /* refused by the search? then its scripts are missing, not empty */
        if (dir.size() + 1 + 4 >= kMaxPath || dir.find_first_of("?*") != std::string::npos) {
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
        /* past the limit the run is refused: the bytes are not kept */
        if (keepBytes_ && total_ <= keepLimit_) {
            scripts_.push_back({name ? name : "", bytes_.size(), count});
            if (count) bytes_.append(reinterpret_cast<const char*>(data), count);
        }
        if (file.find('?') != std::string::npos) return;  // named by its folder's listing; nothing to depend on
        fs::path real = FsPathOf(file);
        std::error_code error;
        /* bytes came, so the file is there; otherwise a dangling link is left to its folder */
        if (count > 0 || fs::exists(real, error)) inputs_.insert(DepfilePath(real));
        if (count > 0) return;
        std::uintmax_t size = fs::is_regular_file(real, error) ? fs::file_size(real, error) : 0;
        if (error || size == 0) return;  // empty indeed, or no file (a directory)
        if (file.size() >= kMaxPath)
            Problem(file, "its path is 260 bytes or more in code page 936: embedded with empty braces");
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

    // Library mode: each script's name and place in Bytes(), in header order.
    const std::vector<library::Script>& Scripts() const { return scripts_; }
    const std::string& Bytes() const { return bytes_; }
    // The bytes of every script the walk emitted, kept or not.
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
            Problem(dir, "its path leaves no room under the 260-byte limit: the scripts below it are left out");
    }

    bool keepBytes_;
    std::uint64_t keepLimit_;
    std::uint64_t total_ = 0;
    std::set<std::string> inputs_;
    std::map<std::string, std::string> names_;  // module name -> the first script's path
    std::vector<std::string> problems_;
    std::vector<library::Script> scripts_;
    std::string bytes_;
};

// ---- Writing ------------------------------------------------------------------------

// Writes `content` to the file `path` only when it holds something else,
// through a new file put in place whole. False, with `why`, when it
// cannot. Changes the working directory to the file's.
bool PutIfChanged(const fs::path& path, const std::string& content, std::string* why) {
    std::error_code error;
    fs::current_path(path.parent_path(), error);
    std::string name;
    if (error || !platform::ToProgramPath(Utf8(path.filename()), &name)) {
        *why = error ? "its directory cannot be entered" : "code page 936 cannot hold its name";
        return false;
    }
    PendingFile file;
    if (!OpenPendingFile(name.c_str(), &file)) {
        *why = "cannot be written (read-only, no regular file, or in a directory that takes no new file)";
        return false;
    }
    file.onlyIfChanged = true;
    WritePendingFile(&file, content.data(), content.size());
    if (!CommitPendingFile(&file)) {
        *why = "cannot be written";
        return false;
    }
    return true;
}

// Can Ninja, and Make, read `path` back from a depfile? Besides what
// DepfileName escapes, their file names hold only these bytes, and a name
// may not end in ":".
bool Nameable(std::string_view path) {
    if (!path.empty() && path.back() == ':') return false;  // read as the end of a target, escaped or not
    for (unsigned char c : path)
        if (c < 0x80 && !std::isalnum(c) && !std::strchr(" #$!%()+,-./:=@[]_{}~", c)) return false;
    return true;
}

// The depfile: `target` depends on every input. An input no depfile can
// name (a ";", "&", "'", "^" or "`" in it) is not listed; in its place
// stands a file that never exists, so the build runs the front end every
// time and still sees that file change.
std::string DepfileText(const fs::path& target, const std::set<std::string>& inputs, const fs::path& depfile) {
    std::string text = DepfileName(DepfilePath(target)) + ":", unnamed;
    for (const std::string& input : inputs) {
        if (Nameable(input))
            text += " \\\n  " + DepfileName(input);
        else if (unnamed.empty())
            unnamed = input;
    }
    if (!unnamed.empty()) {
        std::fprintf(stderr, "nativegen-build: note: %s: a depfile cannot name it, so the scripts are read again on "
                             "every build\n", unnamed.c_str());
        text += " \\\n  " + DepfileName(DepfilePath(depfile) + ".never");
    }
    return text + "\n";
}

// The header in the file `scratch` with its identifiers made valid, as
// text; `rewritten` is a second scratch file. Both stay in the output's
// directory, and both are gone afterwards.
bool RewrittenHeader(const char* scratch, const char* rewritten, std::string* text, std::string* why) {
    std::FILE* in = std::fopen(scratch, "rb");
    std::FILE* out = in ? std::fopen(rewritten, "w+b") : nullptr;
    bool done = in && out && identifiers::Rewrite(in, out, why);
    if (done) {
        std::rewind(out);
        char piece[64 * 1024];
        for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, out)) > 0;) text->append(piece, n);
        done = !std::ferror(out);
    }
    if (!done && why->empty()) *why = "the header could not be rewritten";
    if (in) std::fclose(in);
    if (out) std::fclose(out);
    platform::RemoveFile(scratch);
    platform::RemoveFile(rewritten);
    return done;
}

// ---- Library mode ---------------------------------------------------------------------

// Is `name` one a library's files may take as their stem: what CMake
// allows a target's name (letters, digits, "_", ".", "+", "-"), and not
// a name of the directory itself?
bool LibraryName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || std::strchr("_.+-", c)))
            return false;
    return true;
}

// The blob's path as the compiler's assembler must name it: below the
// output directory as the command line gave it when that is absolute, for
// the build system named it so (a front end run through an emulator sees
// its own form of the path, the assembler the build's); otherwise made
// absolute here.
std::string BlobPath(const Options& options, const fs::path& outDir) {
    const std::string& given = options.output;
    // a backslash ends a name where it is no separator (Linux): it stays
    auto separator = [](char c) { return c == '/' || c == static_cast<char>(fs::path::preferred_separator); };
    bool absolute = separator(given[0]) ||
                    (given.size() > 2 && std::isalpha(static_cast<unsigned char>(given[0])) && given[1] == ':' &&
                     (given[2] == '/' || given[2] == '\\'));
    std::string dir = absolute ? given : DepfilePath(outDir);
    while (dir.size() > 1 && separator(dir.back())) dir.pop_back();
    return dir + "/" + options.library + ".bin";
}

// Writes the library's files into `outDir`, each only when it changed:
// the blob first and the consumer header last, so a run that fails part
// way leaves files that the next run completes. False, with the path and
// `why`, when one cannot be written.
bool PutLibrary(const Options& options, const std::string& nameSpace, const fs::path& outDir,
                const Collector& collector, std::string* path, std::string* why) {
    bool incbin = options.data == "incbin";
    library::Plan plan{options.library, nameSpace, incbin ? library::DataFormat::Incbin : library::DataFormat::Msvc,
                       incbin ? BlobPath(options, outDir) : std::string()};
    std::vector<library::File> files = library::Sources(plan, collector.Scripts(), collector.Bytes());
    auto put = [&](const std::string& name, const std::string& content) {
        fs::path target = outDir / FsPath(name);
        if (PutIfChanged(target, content, why)) return true;
        *path = Utf8(target);
        return false;
    };
    if (incbin && !put(options.library + ".bin", collector.Bytes())) return false;
    // Sources gives the header, the table, the data: written the other way round
    for (auto f = files.rbegin(); f != files.rend(); ++f)
        if (!put(f->name, f->content)) return false;
    return true;
}

// Whether the process ends because the run is through.
bool finished = false;

// The exit hook: the generator's, and a run that ends early (out of
// memory, a runtime error) fails the build instead of passing it.
void ExitHook() {
    ReleaseGlobals();
    if (!finished) {
        std::fprintf(stderr, "nativegen-build: the run stopped early; no output was changed\n");
        platform::EndProcess(1);
    }
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& arguments, Options* options, std::string* why) {
    std::vector<std::string> positional;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        std::string* value = a == "--depfile"          ? &options->depfile
                             : a == "--depfile-target" ? &options->depfileTarget
                             : a == "--library"   ? &options->library
                             : a == "--namespace" ? &options->nameSpace
                             : a == "--data"      ? &options->data
                             : a == "--target"    ? &options->target
                                                  : nullptr;
        if (value) {
            if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
                *why = a + " needs a value";
                return false;
            }
            *value = arguments[++i];
        } else if (a == "--strict") {
            options->strict = true;
        } else if (a == "--safe-identifiers") {
            options->safeIdentifiers = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "--") {
            *why = "unknown option " + a;
            return false;
        } else {
            if (a == "--" && i + 1 < arguments.size()) ++i;
            positional.push_back(arguments[i]);
        }
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

int Run(const Options& options) {
    std::error_code error;

    // the root: a directory code page 936 holds, with room for a script's name
    fs::path given = FsPath(options.root);
    if (!fs::exists(given, error)) return Fail(options.root, "no such directory");
    if (!fs::is_directory(given, error)) return Fail(options.root, "not a directory");
    fs::path rootPath = fs::canonical(given, error);
    std::string root;
    if (error || !platform::ToProgramPath(Utf8(rootPath), &root) || root.find_first_of("?*") != std::string::npos)
        return Fail(options.root, "code page 936 or Windows cannot hold this path, so the walk cannot name it");
    if (fs::directory_iterator(rootPath, error); error) return Fail(Utf8(rootPath), "cannot be listed");
    while (!root.empty() && EndsInSeparator(root)) root.pop_back();
    if (root.empty()) return Fail(Utf8(rootPath), "the file system's root cannot be walked");
    if (root.size() + 1 + 4 >= kMaxPath)
        return Fail(Utf8(rootPath), "the path leaves no room under the 260-byte limit for a script's name");

    // library mode: a name for the files and a namespace the header can open
    std::string nameSpace = options.nameSpace.empty() ? options.library : options.nameSpace;
    std::string why;
    if (!options.library.empty() && !LibraryName(options.library))
        return Fail(options.library, "not a library name: letters, digits, \"_\", \".\", \"+\" and \"-\" only");
    if (!options.library.empty() && !library::ValidNamespace(nameSpace, &why))
        return Fail(nameSpace, "not a namespace for the library" +
                                   std::string(options.nameSpace.empty() ? " (its name; give --namespace): " : ": ") +
                                   why);

    fs::path output = fs::absolute(FsPath(options.output), error);
    fs::path depfile = options.depfile.empty() ? fs::path() : fs::absolute(FsPath(options.depfile), error);
    // the depfile names what the rule makes as the build system named it
    fs::path made = FsPath(options.depfileTarget.empty() ? options.output : options.depfileTarget);
    fs::path outDir = options.library.empty() ? output.parent_path() : output;
    fs::create_directories(outDir, error);
    if (!fs::is_directory(outDir, error)) return Fail(Utf8(outDir), "the output directory cannot be made");

    // header mode: the header goes to a new file beside the old one from
    // the start; with identifiers to rewrite, to a scratch file first
    std::string headerName;
    const std::string scratch = "nativegen-build." + std::to_string(platform::ProcessNumber());
    if (options.library.empty()) {
        fs::current_path(outDir, error);
        if (error) return Fail(Utf8(outDir), "the output directory cannot be entered");
        if (!platform::ToProgramPath(Utf8(output.filename()), &headerName))
            return Fail(Utf8(output), "code page 936 cannot hold the file's name");
        if (!BeginHeader(options.safeIdentifiers ? scratch.c_str() : headerName.c_str(), !options.safeIdentifiers))
            return Fail(Utf8(output), "cannot be written (read-only, no regular file, or in a directory that takes no "
                                      "new file)");
    }

    std::uint64_t limit = 0;  // the most bytes a library's data can hold for its target
    library::BlobLimit(options.target, &limit);
    Collector collector(!options.library.empty(), limit);
    Watcher = &collector;
    SetWalkRoot(root.c_str());
    TextValue start = CopyText(root.c_str());
    TextValue pattern = nullptr;
    WalkDirectory(start, pattern, false, 0, false);
    ReleaseText(start);
    ReleaseText(pattern);
    Watcher = nullptr;

    for (const std::string& problem : collector.Problems())
        std::fprintf(stderr, "nativegen-build: %s%s\n", options.strict ? "" : "warning: ", problem.c_str());
    if (options.strict && !collector.Problems().empty()) {
        return Fail(Utf8(output), "not written, for the problems above (" +
                                      std::to_string(collector.Problems().size()) + ")");
    }

    // a blob past what links for the target is refused before anything compiles
    if (!options.library.empty() && collector.Total() > limit)
        return Fail(Utf8(outDir / FsPath(options.library + ".bin")),
                    "the scripts come to " + std::to_string(collector.Total()) + " bytes, past the " +
                        std::to_string(limit) + " bytes a library's data can hold for " + options.target +
                        ": nothing was written");

    // the depfile first: a run that fails on it leaves the header as it was
    if (!depfile.empty() && !PutIfChanged(depfile, DepfileText(made, collector.Inputs(), depfile), &why))
        return Fail(Utf8(depfile), why);
    if (options.library.empty()) {
        fs::current_path(outDir, error);  // the pending header's names are relative to it
        if (error || !EndHeader()) return Fail(Utf8(output), "cannot be written");
        std::string text;
        if (options.safeIdentifiers && (!RewrittenHeader(scratch.c_str(), (scratch + ".safe").c_str(), &text, &why) ||
                                        !PutIfChanged(output, text, &why)))
            return Fail(Utf8(output), why);
    }
    std::string failed;
    if (!options.library.empty() && !PutLibrary(options, nameSpace, outDir, collector, &failed, &why))
        return Fail(failed, why);
    return 0;
}

}  // namespace frontend

namespace frontend {

void Main(int argc, char** argv) {
    StartRuntime();
    RegisterExitHook(ExitHook);
    Options options;
    std::string why;
    int code = 2;
    std::vector<std::string> arguments{"nativegen-build"};
    for (const fs::path& argument : platform::ToolArguments(argc, argv)) arguments.push_back(Utf8(argument));
    if (ParseArguments(arguments, &options, &why))
        code = Run(options);
    else
        std::fprintf(stderr,
                     "nativegen-build: %s\n"
                     "usage: nativegen-build ROOT HEADER [--depfile FILE [--depfile-target FILE]] [--strict]\n"
                     "                       [--safe-identifiers]\n"
                     "       nativegen-build ROOT DIR --library NAME [--namespace NS] [--data incbin|msvc]\n"
                     "                       [--target elf-x86_64|elf-aarch64|elf|coff|msvc|macho-x86_64|macho-arm64]\n"
                     "                       [--depfile FILE [--depfile-target FILE]] [--strict]\n",
                     why.c_str());
    finished = true;
    ExitProgram(code);
}

}  // namespace frontend
