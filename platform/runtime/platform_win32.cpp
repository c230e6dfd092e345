// The platform layer on Windows. The runtime's texts are code page 936
// whatever code page the system uses, so every path and name crosses here
// explicitly: 936 to UTF-16 on the way down, UTF-16 to 936 on the way up
// ("?" for what 936 cannot hold, as the ANSI entry points give on a 936
// system), and the wide entry points do the work. What the ANSI entry
// points refuse is refused here too: paths of 260 bytes or more in 936, and
// paths holding a wildcard.
#include "platform/runtime/platform.h"
#include "platform/runtime/platform_win32.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include <windows.h>

namespace platform {
namespace win32 {

// `length` bytes of code page 936 text as UTF-16.
std::wstring Widen(const char* text, int length) {
    if (length <= 0) return std::wstring();
    int n = MultiByteToWideChar(kCodePage, 0, text, length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(kCodePage, 0, text, length, wide.data(), n);
    return wide;
}

std::wstring Widen(const char* text) { return Widen(text, static_cast<int>(std::strlen(text))); }

// UTF-16 text in the code page `codePage`; what it cannot hold becomes "?".
// No best fit: a name read back must never stand for another file (É made
// é would open é's file), and the Linux build gives "?" too.
std::string Narrow(const wchar_t* wide, int length, UINT codePage) {
    if (length <= 0) return std::string();
    DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(codePage, flags, wide, length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(codePage, flags, wide, length, text.data(), n, nullptr, nullptr);
    return text;
}

std::string Narrow(const wchar_t* wide) { return Narrow(wide, static_cast<int>(std::wcslen(wide))); }

// The wide form of a path the ANSI entry points would take; false for one
// they refuse (too long, or a wildcard in it; `pattern` allows wildcards
// in the last part alone).
bool WidePath(const char* path, std::wstring* out, bool pattern) {
    if (std::strlen(path) >= kMaxPath) return false;
    *out = Widen(path);
    std::size_t last = out->find_last_of(L"\\/");
    std::size_t checked = pattern ? (last == std::wstring::npos ? 0 : last) : out->size();
    return out->find_first_of(L"?*") >= checked;
}

// Code page 936 to UTF-8, for the report on standard error.
std::string Cp936ToUtf8(const char* text) {
    std::wstring wide = Widen(text);
    return Narrow(wide.c_str(), static_cast<int>(wide.size()), CP_UTF8);
}


}  // namespace win32

using namespace win32;

namespace {

long heapRequests = 0;
long failFrom = 0;

// Counts one heap request; true when the failure hook refuses it.
bool RequestRefused() {
    ++heapRequests;
    return failFrom > 0 && heapRequests >= failFrom;
}

// The program image: its load address and that address plus its size,
// found once through the PE header.
struct ImageBounds {
    std::uintptr_t base = 0;
    std::uintptr_t end = 0;
};

const ImageBounds& Image() {
    static ImageBounds bounds = [] {
        ImageBounds b;
        auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
        if (!base) return b;
        std::int32_t peOffset;
        std::memcpy(&peOffset, base + 0x3C, sizeof peOffset);
        auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + peOffset);
        b.base = reinterpret_cast<std::uintptr_t>(base);
        b.end = b.base + nt->OptionalHeader.SizeOfImage;
        return b;
    }();
    return bounds;
}

}  // namespace


// ---- Heap -------------------------------------------------------------------

HeapHandle ProcessHeap() { return GetProcessHeap(); }

void* HeapTake(HeapHandle heap, std::size_t size, bool zeroed) {
    if (RequestRefused()) return nullptr;
    return HeapAlloc(heap, zeroed ? HEAP_ZERO_MEMORY : 0, size);
}

void* HeapResize(HeapHandle heap, void* block, std::size_t size) {
    if (RequestRefused()) return nullptr;
    return HeapReAlloc(heap, 0, block, size);
}

void HeapGive(HeapHandle heap, void* block) {
    if (block) HeapFree(heap, 0, block);
}

bool ReleaseIfHeapBlock(HeapHandle heap, void* p) {
    auto address = reinterpret_cast<std::uintptr_t>(p);
    const ImageBounds& image = Image();
    if (address >= image.base && address <= image.end) return false;  // a literal of the program
    if (IsBadReadPtr(p, 8)) return false;
    if (!HeapValidate(heap, 0, p)) return false;  // readable, but no live block of ours
    return HeapFree(heap, 0, p) != 0;
}

void FailHeapRequestsFrom(long n) { failFrom = n > 0 ? heapRequests + n : 0; }

long HeapRequestCount() { return heapRequests; }

// ---- Process ------------------------------------------------------------------

void EndProcess(int code) {
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(code));
}

void ShowErrorBox(const char* text, const char* caption) {
    int answer = MessageBoxW(nullptr, Widen(text).c_str(), Widen(caption).c_str(), MB_ICONERROR);
    if (answer > 0) return;
    // no desktop to show it on: the same report on standard error
    // built by appending: GCC 12 at -O3 takes a joined temporary for overlapping copies
    std::string shown = Cp936ToUtf8(text);
    std::string report = "[";
    report += Cp936ToUtf8(caption);
    report += "] ";
    for (char c : shown)
        if (c != '\r') report += c;
    report += "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
}

void FormatFatalReport(char out[256], int code, const char* message) {
    // wsprintfA writes at most 1024 bytes; build in a buffer of that size
    char wide[1025];
    wsprintfA(wide, "program internal error number is %d. \r\n%s", code, message);
    std::strncpy(out, wide, 255);
    out[255] = '\0';
}

int ModuleFileName(char* out, int size) {
    static wchar_t wide[32768];
    DWORD n = GetModuleFileNameW(nullptr, wide, 32768);
    if (n == 0 || n >= 32768) return 0;
    std::string path = Narrow(wide, static_cast<int>(n));
    if (path.size() >= static_cast<std::size_t>(size)) return 0;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return static_cast<int>(path.size());
}

// ---- Interruption ------------------------------------------------------------------

namespace {

void (*interruptHandler)() = nullptr;

// Runs on a thread of its own: the handler, then the end of the process
// at once, so that nothing the program does afterwards remakes a file.
BOOL WINAPI OnConsoleEvent(DWORD) {
    if (interruptHandler) interruptHandler();
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

}  // namespace

void OnInterrupt(void (*handler)()) {
    interruptHandler = handler;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);  // a program without a console gets no event
}

bool ReadyForRemoval(const char* path, ReadiedPath* out) {
    std::wstring wide;
    if (!WidePath(path, &wide)) return false;
    auto* full = reinterpret_cast<wchar_t*>(out->bytes);
    constexpr DWORD room = sizeof out->bytes / sizeof(wchar_t);
    DWORD n = GetFullPathNameW(wide.c_str(), room, full, nullptr);
    return n > 0 && n < room;
}

// An open file is marked for removal, and goes when its last handle does.
void RemoveReadied(const ReadiedPath& path) { DeleteFileW(reinterpret_cast<const wchar_t*>(path.bytes)); }

// ---- File identity ---------------------------------------------------------------

std::optional<FileIdentity> IdentityOf(const char* path) {
    std::wstring wide;
    if (!WidePath(path, &wide)) return std::nullopt;
    // no access asked, so nothing is refused for it; a folder opens only so
    HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    bool known = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!known) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

// ---- Directory search -----------------------------------------------------------

namespace {

// Does the name hold a character no Windows name can (a control character
// or < > : " / \ | ? *), or Wine's stand-in for one (U+F000 plus it), as a
// Unix name seen through Wine does? Its 936 form would name another file.
bool Unholdable(const wchar_t* name) {
    for (; *name; ++name) {
        wchar_t c = *name >= 0xF000 && *name < 0xF080 ? static_cast<wchar_t>(*name - 0xF000) : *name;
        if (c < 0x20 || std::wcschr(L"<>:\"/\\|?*", c)) return true;
    }
    return false;
}

// Takes the entry when its name in code page 936 fits; false when it does
// not, or when no Windows name holds it (the entry is then passed over, as
// on the Linux build).
bool CopyFound(const WIN32_FIND_DATAW& data, FoundData* out) {
    if (Unholdable(data.cFileName)) return false;
    std::string name = Narrow(data.cFileName);
    if (name.size() >= sizeof out->name) return false;
    out->attributes = data.dwFileAttributes;
    std::memcpy(out->name, name.c_str(), name.size() + 1);
    return true;
}

}  // namespace

SearchHandle FindFirst(const char* pattern, FoundData* out, bool) {  // every entry is listed: the caller filters
    std::wstring wide;
    if (!WidePath(pattern, &wide, true)) return kInvalidSearch;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(wide.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return kInvalidSearch;
    auto search = reinterpret_cast<SearchHandle>(h);
    if (CopyFound(data, out) || FindNext(search, out)) return search;
    ::FindClose(h);
    return kInvalidSearch;
}

bool FindNext(SearchHandle search, FoundData* out) {
    WIN32_FIND_DATAW data;
    while (FindNextFileW(reinterpret_cast<HANDLE>(search), &data))
        if (CopyFound(data, out)) return true;
    return false;
}

void FindClose(SearchHandle search) { ::FindClose(reinterpret_cast<HANDLE>(search)); }

int PumpThreadMessages() {
    MSG msg;
    BOOL peeked;
    while ((peeked = PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) != 0) {
        if (msg.message == WM_QUIT) break;  // leave the quit message waiting
        GetMessageA(&msg, nullptr, 0, 0);
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return peeked;
}

// ---- Text --------------------------------------------------------------------------

void MapHalfWidth(const char* source, int length, char* out, int outSize) {
    // through UTF-16, so the system's code page has no say
    std::wstring wide = Widen(source, length);
    if (wide.empty()) return;
    int n = LCMapStringW(2052, LCMAP_HALFWIDTH, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0);
    if (n <= 0) return;
    std::wstring mapped(static_cast<std::size_t>(n), L'\0');
    LCMapStringW(2052, LCMAP_HALFWIDTH, wide.c_str(), static_cast<int>(wide.size()), mapped.data(), n);
    std::string text = Narrow(mapped.c_str(), n);
    std::memcpy(out, text.data(), std::min(text.size(), static_cast<std::size_t>(outSize > 0 ? outSize : 0)));
}

// ---- Names from outside ----------------------------------------------------------

bool ToProgramPath(const std::string& systemPath, std::string* out) {
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, systemPath.data(), static_cast<int>(systemPath.size()),
                                nullptr, 0);
    if (n <= 0 && !systemPath.empty()) return false;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, systemPath.data(), static_cast<int>(systemPath.size()), wide.data(), n);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    BOOL lost = FALSE;
    int m = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), n, nullptr, 0, nullptr, &lost);
    if (lost || (m <= 0 && n > 0)) return false;
    std::string path(static_cast<std::size_t>(m), '\0');
    WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), n, path.data(), m, nullptr, nullptr);
    *out = path;
    return true;
}

std::string ToSystemPath(const char* programPath) {
    std::wstring wide = Widen(programPath);
    return Narrow(wide.c_str(), static_cast<int>(wide.size()), CP_UTF8);
}

}  // namespace platform

