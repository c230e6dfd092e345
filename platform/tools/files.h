// What the programs beside the generator need from the system: their
// arguments as paths and files opened by path, whatever a path holds.
// One file under platform/win32 and one under platform/posix, chosen by
// CMake like the generator's own layer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// The program's arguments after its name, as the system hands them over:
// bytes on Linux, UTF-16 on Windows (never the system's code page), so a
// name in any script arrives whole. A new vector, the caller's.
std::vector<std::filesystem::path> ToolArguments(int argc, char** argv);

// Opens the file at `path` for reading as bytes; null when it cannot be
// opened. The caller closes the stream.
std::FILE* OpenStreamForRead(const std::filesystem::path& path);

// Creates a file at `path` for writing as bytes only when nothing of that
// name exists; null otherwise (an existing file is never touched). The
// caller closes the stream.
std::FILE* CreateNewStream(const std::filesystem::path& path);

// What a path leads to, links followed.
enum class FileKind { Missing, Regular, Directory, Other };

struct FileFacts {
    FileKind kind = FileKind::Missing;
    std::uint64_t size = 0;    // a regular file's length
    std::uint64_t volume = 0;  // with `index`, the same pair for the same file or folder
    std::uint64_t index = 0;   // however it is reached
    std::int64_t modified = 0; // when its content last changed, in the system's own units
    bool tooLong = false;      // QueryFile: refused because the path is longer than the system takes
};

// Asks the system what `path` is, links followed, without opening a file
// that could make it wait (a FIFO). A path that leads nowhere (a link to
// nothing) is Missing. False when the system refuses to say (`tooLong`
// set when that is for the path's length).
bool QueryFile(const std::filesystem::path& path, FileFacts* facts);

// The names in the directory `dir`, "." and ".." left out, in the order
// the system gives them, into `names` (the caller's). On Linux the bytes
// the file system holds; on Windows the UTF-16 names made UTF-8, a lone
// surrogate as its three bytes (so never valid UTF-8). Paths of any
// length. False when it cannot be listed.
bool ListDirectory(const std::filesystem::path& dir, std::vector<std::string>* names);

// Opens `path` for reading as bytes when it is a regular file, never
// waiting on one that is not (a FIFO's writer); paths of any length. Null
// otherwise. The caller closes the stream.
std::FILE* OpenRegularForRead(const std::filesystem::path& path);

}  // namespace platform
