// The Linux stand-in for the Windows services.
//
// Paths arrive as code page 936 texts with backslash separators; they are
// turned into UTF-8 first and only then have their remaining backslashes
// turned into "/" (a trail byte 0x5C inside a two-byte character is not a
// separator). Names read back from the system go the other way. What code
// page 936 cannot hold, or bytes that are not valid UTF-8, become "?", as
// the ANSI entry points do on Windows. Files and the directory search are
// in platform_posix_files.cpp and platform_posix_search.cpp.
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
namespace posix {
namespace {

// Length of the well-formed UTF-8 sequence at s (n bytes left), 0 if none.
std::size_t Utf8SequenceLength(const unsigned char* s, std::size_t n) {
    unsigned char c = s[0];
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || len > n) return 0;
    for (std::size_t i = 1; i < len; ++i)
        if ((s[i] & 0xC0) != 0x80) return 0;
    return len;
}

}  // namespace

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


bool IsAscii(const char* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(s[i]) >= 0x80) return false;
    return true;
}

HandedFile handed;
HandedFile knownSize;

void DropHanded() {
    if (handed.fd >= 0) close(handed.fd);
    handed.fd = -1;
}

}  // namespace posix

using namespace posix;

namespace {

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

// Counts one heap request; true when the failure hook refuses it.
bool RequestRefused() {
    ++heapRequests;
    return failFrom > 0 && heapRequests >= failFrom;
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
