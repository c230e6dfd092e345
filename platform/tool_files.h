// What the programs beside the generator need from the system: their
// arguments as paths and files opened by path, whatever a path holds.
// One file under platform/win32 and one under platform/posix, chosen by
// CMake like the generator's own layer.
#pragma once

#include <cstdio>
#include <filesystem>
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

}  // namespace platform
