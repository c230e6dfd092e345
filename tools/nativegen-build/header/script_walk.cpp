#include "tools/nativegen-build/header/script_walk.h"

#include <cstring>
#include <system_error>

#include "platform/runtime/platform.h"
#include "runtime/services/files.h"
#include "runtime/services/text.h"
#include "tools/nativegen-build/cli/depfile.h"

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

// A program path (code page 936, backslashes) for the file system.
fs::path FsPathOf(const std::string& programPath) { return FsPath(platform::ToSystemPath(programPath.c_str())); }

// Does the program path end in a backslash character (not a trail byte)?
bool EndsInSeparator(const std::string& path) {
    auto n = static_cast<std::int32_t>(path.size());
    return n > 0 && LastSeparator(path.c_str(), n) == n - 1;
}

// A program path as the user's system writes it.
std::string ShownPath(const std::string& programPath) { return platform::ToSystemPath(programPath.c_str()); }

// Is the file name a script's ("*.js" without regard to case)?
bool IsScriptName(const std::string& name) {
    std::size_t n = name.size();
    return n >= 3 && name[n - 3] == '.' && (name[n - 2] | 0x20) == 'j' && (name[n - 1] | 0x20) == 's';
}

// Does a script stand anywhere below `dir`?
bool HoldsScripts(const fs::path& dir) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
        if (IsScriptName(Utf8(it->path().filename()))) return true;
    return false;
}

}  // namespace

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

void Collector::Listed(TextValue directory) {
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

void Collector::Emitted(TextValue path, TextValue name, const unsigned char* data, std::size_t count) {
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

void Collector::NotEntered(TextValue path, TextValue ancestor) {
    std::string above(ancestor);
    above.pop_back();  // the walk's own trailing backslash
    Problem(path, "the same folder as " + ShownPath(above) + ", which holds it: not entered");
}

void Collector::Problem(const std::string& programPath, const std::string& why) {
    problems_.push_back(ShownPath(programPath) + ": " + why);
}

void Collector::NamesNotHeld(const fs::path& dir) {
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

// A directory the search refuses for its length: say so when scripts
// stand below it. (One whose name holds a "?" was named by its parent.)
void Collector::NotSearched(const std::string& dir) {
    if (dir.find('?') == std::string::npos && HoldsScripts(FsPathOf(dir)))
        Problem(dir, "its path leaves no room under the " + kLimit + ": the scripts below it are left out");
}

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

}  // namespace frontend
