// The platform layer on Windows: the ANSI entry points of the Windows API,
// called as the runtime describes them. Paths and names pass through
// unchanged in the system code page.
#include "platform/platform.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <windows.h>

namespace platform {
namespace {

long heapRequests = 0;
long failFrom = 0;
int movesToRefuse = 0;

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
        auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleA(nullptr));
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

// Code page 936 to UTF-8, for the report on standard error.
std::string Cp936ToUtf8(const char* text) {
    int wide = MultiByteToWideChar(936, 0, text, -1, nullptr, 0);
    if (wide <= 0) return text;
    std::wstring w(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(936, 0, text, -1, w.data(), wide);
    int narrow = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(narrow), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, out.data(), narrow, nullptr, nullptr);
    out.resize(std::strlen(out.c_str()));
    return out;
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
    int answer = MessageBoxA(nullptr, text, caption, MB_ICONERROR);
    if (answer > 0) return;
    // no desktop to show it on: the same report on standard error
    std::string shown = Cp936ToUtf8(text);
    std::string report = "[" + Cp936ToUtf8(caption) + "] ";
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
    DWORD n = GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
    if (n == 0 || n >= static_cast<DWORD>(size)) return 0;
    return static_cast<int>(n);
}

// ---- Files ----------------------------------------------------------------------

FileHandle OpenForRead(const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return kInvalidFile;
    if (GetFileType(h) != FILE_TYPE_DISK) {  // a pipe or device: never wait on it
        CloseHandle(h);
        return kInvalidFile;
    }
    return reinterpret_cast<FileHandle>(h);
}

std::uint64_t FileSize(FileHandle file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(reinterpret_cast<HANDLE>(file), &size) || size.QuadPart < 0) return 0;
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::uint32_t ReadBytes(FileHandle file, void* out, std::uint32_t size) {
    std::uint32_t got = 0;
    while (got < size) {
        DWORD n = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(file), static_cast<char*>(out) + got, size - got, &n, nullptr) ||
            n == 0)
            break;
        got += n;
    }
    return got;
}

FileHandle CreateForWrite(const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr);
    return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

bool WriteBytes(FileHandle file, const void* data, std::uint32_t size) {
    std::uint32_t done = 0;
    while (done < size) {
        DWORD n = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(file), static_cast<const char*>(data) + done, size - done, &n,
                       nullptr) ||
            n == 0)
            return false;
        done += n;
    }
    return true;
}

FileHandle CreateNewForWrite(const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_ARCHIVE, nullptr);
    return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

MoveOutcome MoveReplacing(const char* from, const char* to) {
    if (movesToRefuse > 0) {
        --movesToRefuse;
        return MoveOutcome::Refused;
    }
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return MoveOutcome::Moved;
    DWORD error = GetLastError();
    /* held open by another program (a virus scanner, an indexer)? */
    bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
    return held ? MoveOutcome::Refused : MoveOutcome::Failed;
}

void RefuseMoves(int n) { movesToRefuse = n; }

void Pause(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

bool RemoveFile(const char* path) { return DeleteFileA(path) != 0; }

WriteTarget InspectWriteTarget(const char* path, std::uint32_t* permissions) {
    *permissions = 0;  // attributes are not carried over: the new file is an archive file
    DWORD own = GetFileAttributesA(path);
    if (own == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? WriteTarget::Missing : WriteTarget::Protected;
    // what a link leads to decides; opening without access follows it
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return (own & FILE_ATTRIBUTE_REPARSE_POINT) ? WriteTarget::InPlace : WriteTarget::Protected;
    BY_HANDLE_FILE_INFORMATION info{};
    bool known = GetFileInformationByHandle(h, &info) != 0;
    bool disk = GetFileType(h) == FILE_TYPE_DISK;
    CloseHandle(h);
    DWORD attributes = known ? info.dwFileAttributes : own;
    /* what creating over it would fail on? */
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        return WriteTarget::Protected;
    if ((own & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) || !disk || !known || info.nNumberOfLinks != 1)
        return WriteTarget::InPlace;
    return WriteTarget::Replaceable;
}

void SetPermissions(FileHandle, std::uint32_t) {}

unsigned long ProcessNumber() { return GetCurrentProcessId(); }

bool CloseFile(FileHandle file) {
    if (file == kInvalidFile) return true;
    return CloseHandle(reinterpret_cast<HANDLE>(file)) != 0;
}

// ---- Directory search -----------------------------------------------------------

namespace {
void CopyFound(const WIN32_FIND_DATAA& data, FoundData* out) {
    out->attributes = data.dwFileAttributes;
    std::memcpy(out->name, data.cFileName, sizeof out->name);
    out->name[sizeof out->name - 1] = '\0';
}
}  // namespace

SearchHandle FindFirst(const char* pattern, FoundData* out) {
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern, &data);
    if (h == INVALID_HANDLE_VALUE) return kInvalidSearch;
    CopyFound(data, out);
    return reinterpret_cast<SearchHandle>(h);
}

bool FindNext(SearchHandle search, FoundData* out) {
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(reinterpret_cast<HANDLE>(search), &data)) return false;
    CopyFound(data, out);
    return true;
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
    LCMapStringA(2052, LCMAP_HALFWIDTH, source, length, out, outSize);
}

}  // namespace platform
