// The thin layer between the runtime and the operating system.
//
// Everything the runtime needs from the system goes through these calls,
// stated in the runtime's own terms: texts are NUL-terminated code page 936
// strings, paths are Windows-style with backslash separators. One file
// under platform/win32 calls the Windows services; one under platform/posix
// stands in for them on Linux. CMake picks exactly one of the two.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// ---- Heap -------------------------------------------------------------

// An opaque handle on the process heap.
using HeapHandle = void*;

// The process heap (GetProcessHeap). Never null.
HeapHandle ProcessHeap();

// A block of `size` bytes, zero-filled when `zeroed`; null when the heap
// refuses (or the failure hook says so). size 0 gives a distinct block.
void* HeapTake(HeapHandle heap, std::size_t size, bool zeroed);

// Resizes `block` to `size` bytes, keeping its bytes up to the smaller
// size. Null when refused; the block is then untouched and still owned.
void* HeapResize(HeapHandle heap, void* block, std::size_t size);

// Gives a block from HeapTake/HeapResize back. Null is ignored.
void HeapGive(HeapHandle heap, void* block);

// Gives `p` back only when it is a live block of the heap; anything else
// (a static literal, an address inside the program image, the stack, an
// unreadable or foreign address) is left alone. Answers whether it freed.
bool ReleaseIfHeapBlock(HeapHandle heap, void* p);

// Test hook: make the nth heap request from now on (HeapTake or
// HeapResize, counting from 1) fail, and every one after it while the
// hook stays set. 0 switches the hook off.
void FailHeapRequestsFrom(long n);

// Heap requests (HeapTake and HeapResize) made since the process began.
long HeapRequestCount();

// ---- Process ----------------------------------------------------------

// Ends the process at once with `code` (ExitProcess).
[[noreturn]] void EndProcess(int code);

// Shows a blocking error report: a message box with no owner window
// (MB_ICONERROR); where no desktop can show it, standard error carries
// the caption and the text instead.
void ShowErrorBox(const char* text, const char* caption);

// Formats the fatal error report into `out` (256 bytes, wsprintfA):
// "program internal error number is %d. \r\n%s".
void FormatFatalReport(char out[256], int code, const char* message);

// The full path of the running executable (GetModuleFileNameA) written
// into `out` of `size` bytes; answers its length, 0 on failure.
int ModuleFileName(char* out, int size);

// ---- Files --------------------------------------------------------------

// An open file; kInvalidFile when no file is open.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

// Opens an existing regular file for reading, shared for reading and
// writing. kInvalidFile when it cannot be opened.
FileHandle OpenForRead(const char* path);

// The file's whole size in bytes; 0 when it cannot be had.
std::uint64_t FileSize(FileHandle file);

// Reads up to `size` bytes; answers how many arrived (a short count means
// end of file or a failed read).
std::uint32_t ReadBytes(FileHandle file, void* out, std::uint32_t size);

// Creates or truncates a file for writing, not shared while open.
FileHandle CreateForWrite(const char* path);

// Writes all `size` bytes, continuing short writes; false on failure.
bool WriteBytes(FileHandle file, const void* data, std::uint32_t size);

// Creates a file for writing only when nothing of that name exists;
// kInvalidFile otherwise. Shared for deleting alone, so that an
// interruption can remove it while it is open.
FileHandle CreateNewForWrite(const char* path);

// Opens a regular file for writing from its start without truncating it,
// creating it when missing, shared for reading, writing and deleting (so a
// reader holding it, a scanner or an indexer, does not refuse it). Never
// waits on a FIFO or device: kInvalidFile for anything but a regular file.
FileHandle OpenForOverwrite(const char* path);

// Makes sure the file has room for `size` bytes from its start without
// changing its length or content; false when the room cannot be had (a
// full disk, a quota), the file then as it was.
bool ReserveSpace(FileHandle file, std::uint64_t size);

// Ends the file at its current position (SetEndOfFile); false on failure.
bool EndFileHere(FileHandle file);

// How a move of one file onto another came out.
enum class MoveOutcome {
    Moved,    // `to` now is the file that was `from`
    Refused,  // held by another program for now (a scanner, an indexer)
    Failed,   // will not work, however often it is tried
};

// Moves the file `from` onto `to` in one step, replacing a file there.
MoveOutcome MoveReplacing(const char* from, const char* to);

// Test hook: the next `n` moves are refused without being tried.
void RefuseMoves(int n);

// Test hook: opens the file for reading the way a scanner or an indexer
// holds it, sharing reading, writing and deleting; CloseFile lets it go.
FileHandle HoldForReading(const char* path);

// Waits about `milliseconds` (Sleep).
void Pause(int milliseconds);

// Removes a file.
bool RemoveFile(const char* path);

// How the name a file is about to be written under stands.
enum class WriteTarget {
    Missing,      // nothing by that name
    Replaceable,  // a plain file of this user's with one link, writable by
                  // its bits: a new file put in its place cannot be told
                  // apart from writing it
    InPlace,      // a link to a regular file, a file with other links or
                  // another owner: it can only be written through
    Protected,    // read-only, hidden or system by its bits, a directory,
                  // or no regular file at all (a FIFO, a device, a socket,
                  // or a link to one): it is left alone
};

// What a new file takes over from the file it replaces: its permission
// bits and its group (nothing where files have neither).
struct FileOwnership {
    std::uint32_t permissions = 0;
    std::uint32_t group = 0;
};

// Looks at `path` (following a link for its bits) and answers how it
// stands; for a Replaceable file, what a new one must take over goes to
// `owner`.
WriteTarget InspectWriteTarget(const char* path, FileOwnership* owner);

// Gives an open file the permission bits and group that InspectWriteTarget
// reported for the one it replaces. False when the group cannot be given
// (the user is no member of it): the new file would differ from the old.
bool CopyOwnership(FileHandle file, const FileOwnership& owner);

// The number of this process, for names no other run uses at once.
unsigned long ProcessNumber();

// Closes a file; kInvalidFile is ignored. False when the close failed
// (a write that could not be flushed).
bool CloseFile(FileHandle file);

// ---- Interruption ----------------------------------------------------------

// Calls `handler` when the process is interrupted (SIGINT, SIGTERM or
// SIGHUP; on Windows a console control event), then ends the process as
// the interruption itself would: killed by that signal; on Windows with
// STATUS_CONTROL_C_EXIT. A signal the process was started ignoring stays
// ignored. The handler must be async-signal-safe; it may run on another
// thread (Windows). A later call replaces the handler.
void OnInterrupt(void (*handler)());

// A file's name in the system's own form, absolute, made ready so that
// removing it takes nothing but the removal.
struct ReadiedPath {
    alignas(8) char bytes[4096];
};

// Readies the program path `path` (relative names from the working
// directory now). False when it cannot be named so.
bool ReadyForRemoval(const char* path, ReadiedPath* out);

// Removes the readied file, if it is there. Async-signal-safe.
void RemoveReadied(const ReadiedPath& path);

// ---- File identity ---------------------------------------------------------

// What tells one file or folder from every other while both exist: the
// device (on Windows the volume's serial number) and the file's index on
// it (the inode; the file index). Every path that leads to one file, by
// links or not, gives the same identity; no two files that exist at once
// share one.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file or folder at the program path `path` (code page
// 936, backslashes; a trailing backslash allowed), following links. None
// when it cannot be had: missing, no access, a dangling link, a path the
// program cannot name. Thread-safe; holds nothing open afterwards.
std::optional<FileIdentity> IdentityOf(const char* path);

// ---- Directory search ----------------------------------------------------

inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrNormal = 0x80;

// One entry of a search: its attribute bits and its bare name.
struct FoundData {
    std::uint32_t attributes;
    char name[260];
};

// A search in progress. 0 and kInvalidSearch mean no search is open.
using SearchHandle = std::uintptr_t;
inline constexpr SearchHandle kInvalidSearch = ~SearchHandle{0};

// Starts a search for a path with wildcards (FindFirstFileA) and fills in
// the first entry; kInvalidSearch when nothing matches or the directory
// cannot be searched. With `directoriesOnly` (a hint, as Windows'
// FindExSearchLimitToDirectories) entries that are surely no directory
// may be left out.
SearchHandle FindFirst(const char* pattern, FoundData* out, bool directoriesOnly = false);

// The next entry (FindNextFileA); false when there are no more.
bool FindNext(SearchHandle search, FoundData* out);

// Closes a search (FindClose).
void FindClose(SearchHandle search);

// Drains the thread's pending window messages, stopping at a quit
// message; answers the last peek result.
int PumpThreadMessages();

// ---- Text -------------------------------------------------------------

// Maps full-width characters of `source` (`length` bytes) to their
// half-width forms into `out` of `outSize` bytes (LCMapStringA, locale
// 2052, LCMAP_HALFWIDTH). The result is not terminated by this call.
void MapHalfWidth(const char* source, int length, char* out, int outSize);

// ---- Names from outside (the build front end) ---------------------------------

// The program's form of a path the system names in UTF-8: code page 936,
// backslash separators. False when code page 936 cannot hold it exactly or
// a name in it holds a backslash of its own (Linux).
bool ToProgramPath(const std::string& systemPath, std::string* out);

// The system's form (UTF-8, the system's separators) of a program path.
std::string ToSystemPath(const char* programPath);

}  // namespace platform
