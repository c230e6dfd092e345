// The Linux stand-in for the Windows services.
//
// Paths arrive as code page 936 texts with backslash separators; they are
// turned into UTF-8 first and only then have their remaining backslashes
// turned into "/" (a trail byte 0x5C inside a two-byte character is not a
// separator). Names read back from the system go the other way. What code
// page 936 cannot hold, or bytes that are not valid UTF-8, become "?", as
// the ANSI entry points do on Windows.
#include "platform/runtime/platform.h"

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
namespace {

// A path of this many bytes or more cannot be opened or searched (MAX_PATH,
// terminator included).
constexpr std::size_t kMaxPath = 260;

// ---- Heap ---------------------------------------------------------------

// A set of block keys held in one array (open addressing, linear probing,
// removal by shifting the run behind back), so that tracking a block costs
// no allocation of its own. Invariants: 0 marks an empty slot (no key is
// 0: no block lies at the last address); the slot count is a power of two
// at least twice the number of keys; every key sits in the run that starts
// at its home slot.
class BlockSet {
public:
    // Adds the key; false when it was there already.
    bool Insert(std::uintptr_t key) {
        if ((count_ + 1) * 2 > slots_.size()) Grow();
        std::size_t at = Home(key);
        for (; slots_[at] != 0; at = Next(at))
            if (slots_[at] == key) return false;
        slots_[at] = key;
        ++count_;
        return true;
    }

    // Removes the key; false when it was not there.
    bool Erase(std::uintptr_t key) {
        if (slots_.empty()) return false;
        std::size_t at = Home(key);
        for (; slots_[at] != key; at = Next(at))
            if (slots_[at] == 0) return false;
        // close the gap: a key behind it moves up unless its home lies
        // between the gap and where it stands
        for (std::size_t next = Next(at); slots_[next] != 0; next = Next(next)) {
            std::size_t home = Home(slots_[next]);
            bool stays = at <= next ? (home > at && home <= next) : (home > at || home <= next);
            if (stays) continue;
            slots_[at] = slots_[next];
            at = next;
        }
        slots_[at] = 0;
        --count_;
        return true;
    }

private:
    std::size_t Home(std::uintptr_t key) const {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
    }
    std::size_t Next(std::size_t at) const { return (at + 1) & (slots_.size() - 1); }

    void Grow() {
        std::vector<std::uintptr_t> old = std::move(slots_);
        slots_.assign(old.empty() ? 1024 : old.size() * 2, 0);
        shift_ = 64 - static_cast<unsigned>(__builtin_ctzll(slots_.size()));
        count_ = 0;
        for (std::uintptr_t key : old)
            if (key != 0) Insert(key);
    }

    std::vector<std::uintptr_t> slots_;
    std::size_t count_ = 0;
    unsigned shift_ = 64;
};

// Every live block handed out by HeapTake/HeapResize, kept as the
// complement of its address: the set must not count as a reference to the
// block, or a leak checker would take every forgotten block for reachable.
// Released blocks leave it; a pointer that is not in it is never freed.
// Allocated once and never destroyed, so that no exit-time destructor can
// pull it from under a late release.
BlockSet& LiveBlocks() {
    static auto* blocks = new BlockSet();
    return *blocks;
}

std::uintptr_t Key(const void* p) { return ~reinterpret_cast<std::uintptr_t>(p); }

long heapRequests = 0;
long failFrom = 0;
int movesToRefuse = 0;

// Counts one heap request; true when the failure hook refuses it.
bool RequestRefused() {
    ++heapRequests;
    return failFrom > 0 && heapRequests >= failFrom;
}

// ---- Code page 936 --------------------------------------------------------

// Length of the well-formed UTF-8 sequence at s (n bytes left), 0 if none.
std::size_t Utf8SequenceLength(const unsigned char* s, std::size_t n) {
    unsigned char c = s[0];
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || len > n) return 0;
    for (std::size_t i = 1; i < len; ++i)
        if ((s[i] & 0xC0) != 0x80) return 0;
    return len;
}

bool IsAscii(const char* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(s[i]) >= 0x80) return false;
    return true;
}

// Converts n bytes with the descriptor; what cannot be converted becomes
// "?", one per UTF-16 unit of the character as Windows counts them (two
// for a character beyond the Basic Multilingual Plane), one per byte of
// input that is not well-formed.
std::string Convert(iconv_t cd, const char* in, std::size_t n, bool fromUtf8) {
    std::string out;
    if (IsAscii(in, n)) return std::string(in, n);  // both code pages agree on ASCII
    out.resize(n * 4 + 4);
    char* src = const_cast<char*>(in);
    std::size_t left = n;
    char* dst = out.data();
    std::size_t room = out.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    while (left > 0) {
        if (iconv(cd, &src, &left, &dst, &room) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) break;  // cannot happen: four bytes out per byte in
        // invalid or unconvertible: one "?" for the character, then go on
        std::size_t skip = 1;
        std::size_t marks = 1;
        if (fromUtf8) {
            std::size_t len = Utf8SequenceLength(reinterpret_cast<unsigned char*>(src), left);
            if (len > 0) skip = len;
            if (len == 4) marks = 2;  // a surrogate pair in UTF-16
        } else if (static_cast<unsigned char>(*src) >= 0x81 && left >= 2 && errno == EILSEQ) {
            skip = 2;  // a lead byte with a trail that maps to nothing
        }
        for (std::size_t i = 0; i < marks; ++i) *dst++ = '?';
        room -= marks;
        src += skip;
        left -= std::min(skip, left);
    }
    out.resize(out.size() - room);
    return out;
}

std::string Cp936ToUtf8(const char* in, std::size_t n) {
    static iconv_t cd = iconv_open("UTF-8", "CP936");
    return Convert(cd, in, n, false);
}

std::string Utf8ToCp936(const char* in, std::size_t n) {
    static iconv_t cd = iconv_open("CP936", "UTF-8");
    return Convert(cd, in, n, true);
}

// The OS path of a program path: converted first, separators after.
// False when the path is too long for the ANSI entry points, or holds a
// wildcard, which no Windows name can ("?" also stands for a character
// code page 936 could not hold, and must never open another file).
bool OsPath(const char* path, std::string* out) {
    std::size_t n = std::strlen(path);
    if (n >= kMaxPath || std::strpbrk(path, "?*")) return false;
    *out = Cp936ToUtf8(path, n);
    std::replace(out->begin(), out->end(), '\\', '/');
    return true;
}

// ---- Search -----------------------------------------------------------------

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

// Reads an attribute word as Wine stores it (the user.DOSATTRIB extended
// attribute, as "0x80") from the `got` bytes of `value`, which has room
// for a NUL after them; false when it holds none.
bool ParseStoredAttributes(char* value, ssize_t got, std::uint32_t* attrs) {
    if (got <= 2 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return false;
    value[got] = '\0';
    char* end = nullptr;
    unsigned long stored = std::strtoul(value + 2, &end, 16);
    if (end == value + 2) return false;
    *attrs = static_cast<std::uint32_t>(stored);
    return true;
}

// The attribute word stored with the file at the path; false when none.
bool StoredAttributes(const std::string& osPath, std::uint32_t* attrs) {
    char value[64] = {};
    return ParseStoredAttributes(value, getxattr(osPath.c_str(), "user.DOSATTRIB", value, sizeof value - 1), attrs);
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

// The regular file a search handed out last, opened while its attributes
// were read (one status and one attribute call answer both), and kept for
// the OpenForRead of its path that mostly follows. Invariant: fd is -1 or
// an open descriptor that nothing else holds.
struct HandedFile {
    int fd = -1;
    std::string path;  // as the runtime names it: code page 936, backslashes
    std::uint64_t size = 0;
};
HandedFile handed;

// The size of the file behind a descriptor OpenForRead took over, known
// until it is closed. Invariant: fd is -1 or that descriptor.
HandedFile knownSize;

void DropHanded() {
    if (handed.fd >= 0) close(handed.fd);
    handed.fd = -1;
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

// ---- Heap ---------------------------------------------------------------------

HeapHandle ProcessHeap() { return &LiveBlocks(); }

void* HeapTake(HeapHandle, std::size_t size, bool zeroed) {
    if (RequestRefused()) return nullptr;
    std::size_t real = size == 0 ? 1 : size;  // zero-size blocks are distinct
    void* p = zeroed ? std::calloc(1, real) : std::malloc(real);
    if (p) LiveBlocks().Insert(Key(p));
    return p;
}

void* HeapResize(HeapHandle, void* block, std::size_t size) {
    if (RequestRefused()) return nullptr;
    std::uintptr_t oldKey = Key(block);
    void* p = std::realloc(block, size == 0 ? 1 : size);
    if (!p) return nullptr;
    if (Key(p) != oldKey) {
        LiveBlocks().Erase(oldKey);
        LiveBlocks().Insert(Key(p));
    }
    return p;
}

void HeapGive(HeapHandle heap, void* block) { ReleaseIfHeapBlock(heap, block); }

bool ReleaseIfHeapBlock(HeapHandle, void* p) {
    if (!p || !LiveBlocks().Erase(Key(p))) return false;
    std::free(p);
    return true;
}

void FailHeapRequestsFrom(long n) {
    failFrom = n > 0 ? heapRequests + n : 0;
}

long HeapRequestCount() { return heapRequests; }

// ---- Process --------------------------------------------------------------------

void EndProcess(int code) {
    std::fflush(nullptr);
    std::exit(code);
}

void ShowErrorBox(const char* text, const char* caption) {
    std::string shown = Cp936ToUtf8(text, std::strlen(text));
    shown.erase(std::remove(shown.begin(), shown.end(), '\r'), shown.end());
    std::string report = "[";
    report += Cp936ToUtf8(caption, std::strlen(caption));
    report += "] ";
    report += shown;
    report += '\n';
    std::fwrite(report.data(), 1, report.size(), stderr);
    std::fflush(stderr);
}

void FormatFatalReport(char out[256], int code, const char* message) {
    std::snprintf(out, 256, "program internal error number is %d. \r\n%s", code, message);
}

int ModuleFileName(char* out, int size) {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof buf)) return 0;
    std::string path = Utf8ToCp936(buf, static_cast<std::size_t>(n));
    std::replace(path.begin(), path.end(), '/', '\\');  // no trail byte is "/"
    if (static_cast<int>(path.size()) >= size) return 0;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return static_cast<int>(path.size());
}

// ---- Files -------------------------------------------------------------------------

namespace {

// Opens `os` with `flags` without waiting (never blocked by a FIFO or a
// device), then insists on a regular file; kInvalidFile otherwise.
FileHandle OpenRegular(const std::string& os, int flags) {
    int fd = open(os.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return kInvalidFile;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return kInvalidFile;
    }
    return fd;
}

}  // namespace

FileHandle OpenForRead(const char* path) {
    std::string os;
    if (!OsPath(path, &os)) return kInvalidFile;
    /* the file a search has just handed out, open already? */
    if (handed.fd >= 0 && handed.path == path) {
        knownSize = handed;
        handed.fd = -1;
        return knownSize.fd;
    }
    return OpenRegular(os, O_RDONLY);
}

std::uint64_t FileSize(FileHandle file) {
    if (file == knownSize.fd) return knownSize.size;
    struct stat st {};
    if (fstat(static_cast<int>(file), &st) != 0 || st.st_size < 0) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

std::uint32_t ReadBytes(FileHandle file, void* out, std::uint32_t size) {
    std::uint32_t got = 0;
    while (got < size) {
        ssize_t n = read(static_cast<int>(file), static_cast<char*>(out) + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::uint32_t>(n);
    }
    return got;
}

FileHandle CreateForWrite(const char* path) {
    std::string os;
    if (!OsPath(path, &os)) return kInvalidFile;
    int fd = open(os.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd < 0 ? kInvalidFile : fd;
}

bool WriteBytes(FileHandle file, const void* data, std::uint32_t size) {
    std::uint32_t done = 0;
    while (done < size) {
        ssize_t n = write(static_cast<int>(file), static_cast<const char*>(data) + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::uint32_t>(n);
    }
    return true;
}

FileHandle CreateNewForWrite(const char* path) {
    std::string os;
    if (!OsPath(path, &os)) return kInvalidFile;
    int fd = open(os.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd < 0 ? kInvalidFile : fd;
}

FileHandle OpenForOverwrite(const char* path) {
    std::string os;
    if (!OsPath(path, &os)) return kInvalidFile;
    return OpenRegular(os, O_WRONLY | O_CREAT);  // a FIFO that turned up since it was looked at cannot hold the run
}

bool ReserveSpace(FileHandle file, std::uint64_t size) {
    int fd = static_cast<int>(file);
    if (size == 0) return true;
    // blocks past the end are taken without moving the end: a refusal
    // leaves the length and the bytes as they were
    if (fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) return true;
    if (errno != EOPNOTSUPP && errno != ENOSYS) return false;  // no room, or a quota
    /* a file system that cannot reserve? the free space must at least hold what grows */
    struct stat st {};
    struct statvfs volume {};
    if (fstat(fd, &st) != 0 || fstatvfs(fd, &volume) != 0) return false;
    std::uint64_t have = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t free = static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
    return size <= have || size - have <= free;
}

bool EndFileHere(FileHandle file) {
    int fd = static_cast<int>(file);
    off_t at = lseek(fd, 0, SEEK_CUR);
    return at >= 0 && ftruncate(fd, at) == 0;
}

MoveOutcome MoveReplacing(const char* from, const char* to) {
    if (movesToRefuse > 0) {
        --movesToRefuse;
        return MoveOutcome::Refused;
    }
    std::string osFrom, osTo;
    if (!OsPath(from, &osFrom) || !OsPath(to, &osTo)) return MoveOutcome::Failed;
    return rename(osFrom.c_str(), osTo.c_str()) == 0 ? MoveOutcome::Moved : MoveOutcome::Failed;
}

void RefuseMoves(int n) { movesToRefuse = n; }

FileHandle HoldForReading(const char* path) {
    std::string os;
    if (!OsPath(path, &os)) return kInvalidFile;
    return OpenRegular(os, O_RDONLY);
}

void Pause(int milliseconds) {
    timespec wait{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

bool RemoveFile(const char* path) {
    std::string os;
    return OsPath(path, &os) && unlink(os.c_str()) == 0;
}

WriteTarget InspectWriteTarget(const char* path, FileOwnership* owner) {
    std::string os;
    if (!OsPath(path, &os)) return WriteTarget::Protected;
    struct stat own {};
    if (lstat(os.c_str(), &own) != 0) return errno == ENOENT ? WriteTarget::Missing : WriteTarget::Protected;
    struct stat st = own;
    /* a link? its target's bits decide */
    if (S_ISLNK(own.st_mode) && stat(os.c_str(), &st) != 0)
        return errno == ENOENT ? WriteTarget::InPlace : WriteTarget::Protected;
    // a directory, a FIFO (opening it would wait for a reader), a device:
    // nothing a header can be written into
    if (!S_ISREG(st.st_mode)) return WriteTarget::Protected;
    // what Windows would refuse to create over: no owner-write bit (root
    // included, so the bits decide and not access()), or a stored
    // read-only, hidden or system attribute
    std::uint32_t stored = 0;
    bool marked = StoredAttributes(os, &stored) && (stored & (kAttrReadOnly | kAttrHidden | kAttrSystem)) != 0;
    if ((st.st_mode & S_IWUSR) == 0 || marked) return WriteTarget::Protected;
    if (!S_ISREG(own.st_mode) || own.st_nlink != 1 || own.st_uid != geteuid()) return WriteTarget::InPlace;
    owner->permissions = static_cast<std::uint32_t>(own.st_mode & 07777);
    owner->group = static_cast<std::uint32_t>(own.st_gid);
    return WriteTarget::Replaceable;
}

bool CopyOwnership(FileHandle file, const FileOwnership& owner) {
    int fd = static_cast<int>(file);
    struct stat st {};
    if (fstat(fd, &st) != 0) return false;
    /* made with another group? only root or a member of the old one can give it */
    if (st.st_gid != static_cast<gid_t>(owner.group) && fchown(fd, static_cast<uid_t>(-1), owner.group) != 0)
        return false;
    return fchmod(fd, static_cast<mode_t>(owner.permissions)) == 0;  // after the group, which clears set-id bits
}

unsigned long ProcessNumber() { return static_cast<unsigned long>(getpid()); }

bool CloseFile(FileHandle file) {
    if (file == kInvalidFile) return true;
    if (file == knownSize.fd) knownSize.fd = -1;
    return close(static_cast<int>(file)) == 0;
}

// ---- Interruption --------------------------------------------------------------

namespace {

void (*interruptHandler)() = nullptr;

// Runs the handler, then lets the signal take its default course: it is
// raised again and, blocked until this returns, ends the process.
void OnSignal(int signal) {
    int saved = errno;
    if (interruptHandler) interruptHandler();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
    errno = saved;
}

}  // namespace

void OnInterrupt(void (*handler)()) {
    interruptHandler = handler;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    for (int signal : signals) sigaddset(&action.sa_mask, signal);  // one handler run at a time
    for (int signal : signals) {
        struct sigaction old {};
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

bool ReadyForRemoval(const char* path, ReadiedPath* out) {
    std::string os;
    if (!OsPath(path, &os)) return false;
    if (os[0] != '/') {
        char here[sizeof out->bytes];
        if (!getcwd(here, sizeof here)) return false;
        os = std::string(here) + "/" + os;
    }
    if (os.size() >= sizeof out->bytes) return false;
    std::memcpy(out->bytes, os.c_str(), os.size() + 1);
    return true;
}

void RemoveReadied(const ReadiedPath& path) { unlink(path.bytes); }

// ---- File identity -------------------------------------------------------------

std::optional<FileIdentity> IdentityOf(const char* path) {
    std::string os;
    struct stat st {};
    if (!OsPath(path, &os) || stat(os.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// ---- Directory search -------------------------------------------------------------

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

// ---- Text -------------------------------------------------------------------------

void MapHalfWidth(const char* source, int length, char* out, int outSize) {
    int o = 0;
    for (int i = 0; i < length && o < outSize; ++i) {
        auto c = static_cast<unsigned char>(source[i]);
        auto next = i + 1 < length ? static_cast<unsigned char>(source[i + 1]) : 0;
        if (c == 0xA3 && next >= 0xA1 && next <= 0xFE) {  // full-width ASCII form
            out[o++] = static_cast<char>(next - 0xA1 + 0x21);
            ++i;
        } else if (c == 0xA1 && next == 0xA1) {  // ideographic space
            out[o++] = ' ';
            ++i;
        } else if (c >= 0x81 && next != 0) {  // any other two-byte character
            out[o++] = static_cast<char>(c);
            if (o < outSize) out[o++] = static_cast<char>(next);
            ++i;
        } else {
            out[o++] = static_cast<char>(c);
        }
    }
}

// ---- Names from outside ----------------------------------------------------------

bool ToProgramPath(const std::string& systemPath, std::string* out) {
    /* a backslash inside a Linux name? the program would read it as a separator */
    if (systemPath.find('\\') != std::string::npos) return false;
    std::string path = Utf8ToCp936(systemPath.data(), systemPath.size());
    if (Cp936ToUtf8(path.data(), path.size()) != systemPath) return false;
    std::replace(path.begin(), path.end(), '/', '\\');  // no trail byte is "/"
    *out = path;
    return true;
}

std::string ToSystemPath(const char* programPath) {
    std::string path = Cp936ToUtf8(programPath, std::strlen(programPath));
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

}  // namespace platform
