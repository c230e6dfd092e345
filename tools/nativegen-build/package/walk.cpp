#include "tools/nativegen-build/package/walk.h"

#include <algorithm>
#include <utility>

#include "platform/tools/files.h"

namespace fs = std::filesystem;

namespace package {
namespace {

bool SameLetter(char a, char b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; };
    return lower(a) == lower(b);
}

// Where the UTF-8 character at `at` ends (one byte for a stray one).
std::size_t NextCharacter(std::string_view text, std::size_t at) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
    return at;
}

// One part of a glob against one part of a path: "*" any run, "?" one character.
bool PartMatches(std::string_view glob, std::string_view part) {
    std::size_t g = 0, p = 0, star = std::string_view::npos, resume = 0;
    while (p < part.size()) {
        if (g < glob.size() && glob[g] == '*') {
            star = g++;
            resume = p;
        } else if (g < glob.size() && glob[g] == '?') {
            ++g;
            p = NextCharacter(part, p);
        } else if (g < glob.size() && SameLetter(glob[g], part[p])) {
            ++g;
            ++p;
        } else if (star != std::string_view::npos) {
            // the last "*" takes one character more
            g = star + 1;
            p = resume = NextCharacter(part, resume);
        } else {
            return false;
        }
    }
    while (g < glob.size() && glob[g] == '*') ++g;
    return g == glob.size();
}

// The part of `text` that starts at `at`, up to the next "/".
std::string_view PartAt(std::string_view text, std::size_t at) { return text.substr(at, text.find('/', at) - at); }

// Where the part after the one at `at` starts; npos after the last.
std::size_t NextPart(std::string_view text, std::size_t at) {
    std::size_t slash = text.find('/', at);
    return slash == std::string_view::npos ? slash : slash + 1;
}

// The glob's parts from `g` against the path's from `p` (npos: none left).
bool PartsMatch(std::string_view glob, std::size_t g, std::string_view path, std::size_t p) {
    constexpr std::size_t kNone = std::string_view::npos;
    if (g == kNone) return p == kNone;
    std::string_view part = PartAt(glob, g);
    if (part == "**") {
        for (std::size_t next = p;; next = NextPart(path, next)) {
            if (PartsMatch(glob, NextPart(glob, g), path, next)) return true;
            if (next == kNone) return false;
        }
    }
    return p != kNone && PartMatches(part, PartAt(path, p)) && PartsMatch(glob, NextPart(glob, g), path, NextPart(path, p));
}

// `path` as the system writes it, for a message.
std::string Utf8(const fs::path& path) { return platform::Utf8(fs::path(path).make_preferred()); }

// A name ListDirectory gave, as a path again.
fs::path FromUtf8(const std::string& name) { return platform::FsPath(name); }

// `name` with every byte outside printable ASCII as \xHH, for a message.
std::string Shown(const std::string& name) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : name) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// The walk's state: what it found, and the folders it stands in.
class Walker {
public:
    Walker(const Selection& selection, Walk* walk) : selection_(selection), walk_(walk) {
        for (const fs::path& folder : selection.skip)
            if (platform::FileFacts facts; platform::QueryFile(folder, &facts) && facts.kind == platform::FileKind::Directory)
                skipped_.emplace_back(facts.volume, facts.index);
    }

    // Lists `dir` (whose facts are `self`, and whose name below the root
    // is `prefix`, "" or ending in "/") and everything below it.
    // `via` is the last link on the way to `dir` (empty: none).
    bool Enter(const fs::path& dir, const platform::FileFacts& self, const std::string& prefix, const fs::path& via) {
        std::vector<std::string> names;
        if (!platform::ListDirectory(dir, &names)) return Fail(dir, "cannot be listed");
        walk_->read.push_back(dir);
        // Invariant: `inside_` holds the identity of every folder from the root down to `dir`.
        inside_.emplace_back(self.volume, self.index);
        for (const std::string& name : names) {
            std::string relative = prefix + name;
            platform::FileFacts facts;
            if (!ValidUtf8(name)) {
                // a name no library can hold: a failure when the selection
                // takes it, or may take something below it
                bool folder = platform::QueryFile(dir / fs::path(name), &facts) &&
                              facts.kind == platform::FileKind::Directory;
                if (folder || selection_.Takes(relative))
                    return Fail(dir, "holds a name that is not valid UTF-8 (\"" + Shown(name) + "\")");
                continue;
            }
            fs::path path = dir / FromUtf8(name);
            if (!platform::QueryFile(path, &facts))
                return Fail(path, facts.tooLong ? "the path is longer than the system takes"
                                                : "the system cannot say what it is");
            if (facts.kind == platform::FileKind::Directory) {
                std::pair identity(facts.volume, facts.index);
                if (std::find(skipped_.begin(), skipped_.end(), identity) != skipped_.end()) continue;
                std::error_code error;
                const fs::path& link = fs::is_symlink(fs::symlink_status(path, error)) ? path : via;
                if (std::find(inside_.begin(), inside_.end(), identity) != inside_.end()) {
                    // named by the link that leads back, wherever below it the walk meets the folder again
                    walk_->warnings.push_back(Utf8(link.empty() ? path : link) +
                                              ": a link to a folder it stands in: not entered again");
                    continue;
                }
                if (!Enter(path, facts, relative + "/", link)) return false;
            } else if (selection_.Takes(relative)) {
                if (facts.kind == platform::FileKind::Regular) {
                    walk_->files.push_back({relative, path, facts.size, facts.modified});
                    walk_->read.push_back(path);
                } else {
                    walk_->warnings.push_back(Utf8(path) + (facts.kind == platform::FileKind::Missing
                                                                ? ": a link to nothing: passed over"
                                                                : ": not a regular file: passed over"));
                }
            }
        }
        inside_.pop_back();
        return true;
    }

    std::string failed, why;

private:
    bool Fail(const fs::path& path, const std::string& reason) {
        failed = Utf8(path);
        why = reason;
        return false;
    }

    const Selection& selection_;
    Walk* walk_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> inside_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> skipped_;  // the identities of `selection_.skip`
};

}  // namespace

bool GlobMatches(std::string_view glob, std::string_view path) {
    if (glob.find('/') == std::string_view::npos) {
        std::size_t slash = path.rfind('/');
        return PartMatches(glob, slash == std::string_view::npos ? path : path.substr(slash + 1));
    }
    return PartsMatch(glob, 0, path, 0);
}

bool Selection::Takes(std::string_view path) const {
    auto matches = [&](const std::string& glob) { return GlobMatches(glob, path); };
    return std::any_of(files.begin(), files.end(), matches) && std::none_of(exclude.begin(), exclude.end(), matches);
}

bool ValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
        unsigned char lead = byte(i);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                                           : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
        if (length == 0 || i + length > bytes.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((byte(i + k) & 0xC0) != 0x80) return false;
        // no overlong three- or four-byte form, no surrogate, nothing past U+10FFFF
        if ((lead == 0xE0 && byte(i + 1) < 0xA0) || (lead == 0xED && byte(i + 1) >= 0xA0) ||
            (lead == 0xF0 && byte(i + 1) < 0x90) || (lead == 0xF4 && byte(i + 1) >= 0x90))
            return false;
        i += length;
    }
    return true;
}

bool WalkTree(const fs::path& root, const Selection& selection, Walk* walk, std::string* failed, std::string* why) {
    platform::FileFacts facts;
    Walker walker(selection, walk);
    bool done = platform::QueryFile(root, &facts) && facts.kind == platform::FileKind::Directory &&
                walker.Enter(root, facts, "", fs::path());
    if (!done) {
        *failed = walker.failed.empty() ? Utf8(root) : walker.failed;
        *why = walker.why.empty() ? "not a directory" : walker.why;
        return false;
    }
    // one tree gives one library on every machine
    std::sort(walk->files.begin(), walk->files.end(), [](const File& l, const File& r) { return l.name < r.name; });
    // a glob that takes nothing is a mistake (a typo, "lib/"), not an empty library
    std::string idle;
    for (const std::string& glob : selection.files)
        if (std::none_of(walk->files.begin(), walk->files.end(),
                         [&](const File& file) { return GlobMatches(glob, file.name); }))
            idle += (idle.empty() ? "\"" : ", \"") + glob + "\"";
    if (idle.empty()) return true;
    *failed = Utf8(root);
    *why = "no file below it is taken by the FILES glob " + idle;
    return false;
}

}  // namespace package
