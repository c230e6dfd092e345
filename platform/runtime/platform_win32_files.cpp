// The Windows layer's files: opened, read, written, moved and inspected by
// code page 936 paths, through the wide entry points.
#include "platform/runtime/platform.h"
#include "platform/runtime/platform_win32.h"

#include <cstring>
#include <string>

#include <windows.h>

namespace platform {

using namespace win32;

namespace {

// The moves still to refuse (RefuseMoves).
int movesToRefuse = 0;

}  // namespace

FileHandle OpenForRead(const char* path) {
    std::wstring wide;
    if (!WidePath(path, &wide)) return kInvalidFile;
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
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
    std::wstring wide;
    if (!WidePath(path, &wide)) return kInvalidFile;
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr);
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
    std::wstring wide;
    if (!WidePath(path, &wide)) return kInvalidFile;
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_ARCHIVE,
                           nullptr);
    return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

FileHandle OpenForOverwrite(const char* path) {
    std::wstring wide;
    if (!WidePath(path, &wide)) return kInvalidFile;
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return kInvalidFile;
    if (GetFileType(h) != FILE_TYPE_DISK) {  // a pipe or device: never wait on it
        CloseHandle(h);
        return kInvalidFile;
    }
    return reinterpret_cast<FileHandle>(h);
}

bool ReserveSpace(FileHandle file, std::uint64_t size) {
    auto h = reinterpret_cast<HANDLE>(file);
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(h, &length)) return false;
    auto have = static_cast<std::uint64_t>(length.QuadPart);
    // an allocation below the length would cut the file: never less than it
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(size > have ? size : have);
    if (SetFileInformationByHandle(h, FileAllocationInfo, &allocation, sizeof allocation)) return true;
    DWORD error = GetLastError();
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) return false;
    /* a file system that cannot reserve? moving the end out takes the room, and fails without it */
    if (size <= have) return true;
    LARGE_INTEGER end{}, start{};
    end.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h) &&
           SetFilePointerEx(h, start, nullptr, FILE_BEGIN);
}

bool EndFileHere(FileHandle file) { return SetEndOfFile(reinterpret_cast<HANDLE>(file)) != 0; }

MoveOutcome MoveReplacing(const char* from, const char* to) {
    if (movesToRefuse > 0) {
        --movesToRefuse;
        return MoveOutcome::Refused;
    }
    std::wstring wideFrom, wideTo;
    if (!WidePath(from, &wideFrom) || !WidePath(to, &wideTo)) return MoveOutcome::Failed;
    if (MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING)) return MoveOutcome::Moved;
    DWORD error = GetLastError();
    /* held open by another program (a virus scanner, an indexer)? */
    bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
    return held ? MoveOutcome::Refused : MoveOutcome::Failed;
}

void RefuseMoves(int n) { movesToRefuse = n; }

FileHandle HoldForReading(const char* path) {
    std::wstring wide;
    if (!WidePath(path, &wide)) return kInvalidFile;
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

void Pause(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

bool RemoveFile(const char* path) {
    std::wstring wide;
    return WidePath(path, &wide) && DeleteFileW(wide.c_str()) != 0;
}

WriteTarget InspectWriteTarget(const char* path, FileOwnership* owner) {
    *owner = FileOwnership{};  // attributes are not carried over: the new file is an archive file
    std::wstring wide;
    if (!WidePath(path, &wide)) return WriteTarget::Protected;
    DWORD own = GetFileAttributesW(wide.c_str());
    if (own == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? WriteTarget::Missing : WriteTarget::Protected;
    // what a link leads to decides; opening without access follows it
    HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return (own & FILE_ATTRIBUTE_REPARSE_POINT) ? WriteTarget::InPlace : WriteTarget::Protected;
    BY_HANDLE_FILE_INFORMATION info{};
    bool known = GetFileInformationByHandle(h, &info) != 0;
    bool disk = GetFileType(h) == FILE_TYPE_DISK;
    CloseHandle(h);
    DWORD attributes = known ? info.dwFileAttributes : own;
    /* what creating over it would fail on? */
    constexpr DWORD kRefused =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (attributes & kRefused) return WriteTarget::Protected;
    if ((own & FILE_ATTRIBUTE_DEVICE) || !disk) return WriteTarget::Protected;  // a pipe or device: left alone
    if ((own & FILE_ATTRIBUTE_REPARSE_POINT) || !known || info.nNumberOfLinks != 1) return WriteTarget::InPlace;
    return WriteTarget::Replaceable;
}

bool CopyOwnership(FileHandle, const FileOwnership&) { return true; }

unsigned long ProcessNumber() { return GetCurrentProcessId(); }

bool CloseFile(FileHandle file) {
    if (file == kInvalidFile) return true;
    return CloseHandle(reinterpret_cast<HANDLE>(file)) != 0;
}

}  // namespace platform
