// The Linux stand-in's directory search: a folder's names in the order
// NTFS gives them, with the attributes Windows would show.
#include "platform/runtime/platform.h"
#include "platform/runtime/platform_posix.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <locale.h>
#include <wctype.h>
#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

namespace platform {

using namespace posix;

namespace {

// One name of a listing: the key NTFS orders it by, its name on disk, its
// name in code page 936 and the type its directory entry gave.
struct Listed {
    std::u16string key;
    std::string utf8;
    std::string name;
    unsigned char type;
};

// A listing, sorted; each entry's attributes are read as it is handed out.
struct Search {
    std::string osDir;    // on disk, ending in "/"
    std::string dir;      // as the pattern named it, code page 936
    std::vector<Listed> entries;
    std::size_t next = 0;
};

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Does the code page 936 name match the wildcard? "*" takes any run (none
// too), "?" one character; ASCII letters match without case.
bool WildcardMatch(const char* pat, const char* name) {
    const char* starPat = nullptr;
    const char* starName = nullptr;
    while (*name) {
        auto charLen = [](const char* s) {
            return (static_cast<unsigned char>(s[0]) >= 0x81 && s[1]) ? 2 : 1;
        };
        if (*pat == '*') {
            starPat = ++pat;
            starName = name;
            continue;
        }
        if (*pat == '?') {
            ++pat;
            name += charLen(name);
            continue;
        }
        if (*pat && FoldAscii(*pat) == FoldAscii(*name)) {
            ++pat;
            ++name;
            continue;
        }
        if (!starPat) return false;  // mismatch with no star to fall back on
        pat = starPat;
        starName += charLen(starName);
        name = starName;
    }
    while (*pat == '*') ++pat;
    return *pat == '\0';
}

// Names Windows cannot hold: control characters and < > : " / \ | ? *.
bool UnholdableName(const std::string& utf8) {
    for (unsigned char c : utf8)
        if ((c >= 0x01 && c <= 0x1F) || std::strchr("<>:\"/\\|?*", c)) return true;
    return false;
}

// The key NTFS (and Wine after it) orders a directory's names by: the name
// as UTF-16 code units, each upper-cased, then compared as unsigned 16-bit
// values. Windows' table upper-cases a unit only where the mapping goes
// both ways (the upper case's lower case is the unit itself): ı, µ, ς, ſ
// and the title-case letters keep their own. Made from the name on disk,
// so that a character code page 936 cannot hold still sorts where it
// belongs.
std::u16string SortKey(const std::string& utf8) {
    std::u16string key;
    key.reserve(utf8.size());
    if (IsAscii(utf8.data(), utf8.size())) {
        for (char c : utf8) key.push_back(static_cast<unsigned char>(FoldAscii(c)));
        return key;
    }
    static iconv_t toUtf16 = iconv_open("UTF-16LE", "UTF-8");
    static locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    std::string units(utf8.size() * 2 + 2, '\0');
    char* src = const_cast<char*>(utf8.data());
    std::size_t left = utf8.size();
    char* dst = units.data();
    std::size_t room = units.size();
    iconv(toUtf16, nullptr, nullptr, nullptr, nullptr);
    /* not UTF-8? what converted so far, then the rest's bytes as they are */
    iconv(toUtf16, &src, &left, &dst, &room);
    std::size_t converted = units.size() - room;
    for (std::size_t i = 0; i + 1 < converted; i += 2) {
        auto unit = static_cast<wint_t>(static_cast<unsigned char>(units[i]) |
                                        static_cast<unsigned char>(units[i + 1]) << 8);
        wint_t upper = unit;
        /* a surrogate keeps its unit; without a Unicode case table, ASCII alone folds */
        if (unit < 0xD800 || unit > 0xDFFF)
            upper = unicode ? towupper_l(unit, unicode)
                    : unit < 0x80 ? static_cast<unsigned char>(FoldAscii(static_cast<char>(unit)))
                                  : unit;
        /* a mapping that does not come back? Windows keeps the unit */
        if (unicode && upper != unit && towlower_l(upper, unicode) != unit) upper = unit;
        key.push_back(static_cast<char16_t>(upper <= 0xFFFF ? upper : unit));
    }
    for (; left > 0; --left, ++src) key.push_back(static_cast<unsigned char>(*src));
    return key;
}

// Attribute bits as Wine reports them for a Unix file of status `st`,
// before a stored word has its say.
std::uint32_t AttributesFrom(const struct stat& st, const std::string& name) {
    std::uint32_t attrs = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
    if ((st.st_mode & 0222) == 0) attrs |= kAttrReadOnly;
    if (name[0] == '.' && name != "." && name != "..") attrs |= kAttrHidden;
    return attrs;
}

// Attribute bits as Wine reports them for the Unix file at the path.
std::uint32_t AttributesOf(const std::string& osPath, const std::string& name) {
    struct stat st {};
    if (stat(osPath.c_str(), &st) != 0 && lstat(osPath.c_str(), &st) != 0) return kAttrArchive;
    std::uint32_t attrs = AttributesFrom(st, name);
    /* a stored attribute word replaces what the bits say */
    if (S_ISREG(st.st_mode)) StoredAttributes(osPath, &attrs);
    return attrs;
}

// Offset just past the last separator of a code page 936 path, 0 if none.
std::size_t NameOffset(const char* path) {
    std::size_t after = 0;
    for (std::size_t i = 0; path[i]; ++i) {
        auto c = static_cast<unsigned char>(path[i]);
        if (c == '\\' || c == '/') after = i + 1;
        else if (c >= 0x81 && path[i + 1]) ++i;  // trail byte is never a separator
    }
    return after;
}

}  // namespace

namespace {

// Fills `out` for the entry. A regular file (by its directory entry) that
// the runtime can open by its name is opened here: its status and stored
// word come through the descriptor, which is kept for OpenForRead.
void Describe(const Search& search, const Listed& entry, FoundData* out) {
    DropHanded();
    std::string osPath = search.osDir + entry.utf8;
    bool openable = search.dir.size() + entry.name.size() < kMaxPath && entry.name.find_first_of("?*") == std::string::npos;
    int fd = entry.type == DT_REG && openable ? open(osPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
    struct stat st {};
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        out->attributes = AttributesFrom(st, entry.name);
        char value[64];
        /* a stored attribute word replaces what the bits say */
        ParseStoredAttributes(value, fgetxattr(fd, "user.DOSATTRIB", value, sizeof value - 1), &out->attributes);
        handed = {fd, search.dir + entry.name, static_cast<std::uint64_t>(st.st_size)};
    } else {
        if (fd >= 0) close(fd);
        out->attributes = AttributesOf(osPath, entry.name);
    }
    std::memcpy(out->name, entry.name.c_str(), entry.name.size() + 1);
}

}  // namespace

SearchHandle FindFirst(const char* pattern, FoundData* out, bool directoriesOnly) {
    if (std::strlen(pattern) >= kMaxPath) return kInvalidSearch;
    std::size_t cut = NameOffset(pattern);
    auto search = std::make_unique<Search>();
    search->dir.assign(pattern, cut);
    const char* wildcard = pattern + cut;
    if (!OsPath(search->dir.c_str(), &search->osDir)) return kInvalidSearch;
    if (search->osDir.empty()) search->osDir = "./";
    if (search->osDir.back() != '/') search->osDir += '/';
    bool all = std::strcmp(wildcard, "*.*") == 0;  // every name, dot or not

    DIR* dir = opendir(search->osDir.c_str());
    if (!dir) return kInvalidSearch;
    while (dirent* e = readdir(dir)) {
        /* surely no directory, where only directories are wanted? not even converted */
        if (directoriesOnly && e->d_type != DT_DIR && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) continue;
        std::string utf8 = e->d_name;
        if (UnholdableName(utf8)) continue;
        std::string name = Utf8ToCp936(utf8.data(), utf8.size());
        if (name.size() >= sizeof(FoundData::name)) continue;
        if (!all && !WildcardMatch(wildcard, name.c_str())) continue;
        search->entries.push_back({SortKey(utf8), std::move(utf8), std::move(name), e->d_type});
    }
    closedir(dir);
    if (search->entries.empty()) return kInvalidSearch;
    // names that tie (which Windows cannot hold side by side) go by their bytes
    std::sort(search->entries.begin(), search->entries.end(), [](const Listed& a, const Listed& b) {
        return a.key != b.key ? a.key < b.key : a.utf8 < b.utf8;
    });
    Describe(*search, search->entries[0], out);
    search->next = 1;
    return reinterpret_cast<SearchHandle>(search.release());
}

bool FindNext(SearchHandle handle, FoundData* out) {
    auto* search = reinterpret_cast<Search*>(handle);
    if (search->next >= search->entries.size()) return false;
    Describe(*search, search->entries[search->next++], out);
    return true;
}

void FindClose(SearchHandle handle) {
    DropHanded();
    delete reinterpret_cast<Search*>(handle);
}

int PumpThreadMessages() { return 0; }

}  // namespace platform
