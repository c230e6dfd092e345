// What the Linux stand-in's files share: the code page 936 paths and the
// file a search hands to the open that follows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/types.h>

namespace platform::posix {

// A path of this many bytes or more cannot be opened or searched (MAX_PATH,
// terminator included).
inline constexpr std::size_t kMaxPath = 260;

// Code page 936 text as UTF-8 and back; what the other cannot hold becomes "?".
std::string Cp936ToUtf8(const char* in, std::size_t n);
std::string Utf8ToCp936(const char* in, std::size_t n);

// The OS path of a program path: converted first, separators after.
// False when the path is too long for the ANSI entry points, or holds a
// wildcard, which no Windows name can ("?" also stands for a character
// code page 936 could not hold, and must never open another file).
bool OsPath(const char* path, std::string* out);

// A regular file that FindFirst/FindNext handed out, open already since
// its facts were read (one status and one attribute call answer both), and
// kept for the OpenForRead of its path that mostly follows. Invariant: fd
// is -1 or an open descriptor that nothing else holds.
struct HandedFile {
    int fd = -1;
    std::string path;  // as the runtime names it: code page 936, backslashes
    std::uint64_t size = 0;
};
extern HandedFile handed;

// The size of the file behind a descriptor OpenForRead took over, known
// until it is closed. Invariant: fd is -1 or that descriptor.
extern HandedFile knownSize;

// Are the `n` bytes at `s` all ASCII?
bool IsAscii(const char* s, std::size_t n);

// Reads an attribute word as Wine stores it (the user.DOSATTRIB extended
// attribute, as "0x80") from the `got` bytes of `value`, which has room
// for a NUL after them; false when it holds none.
bool ParseStoredAttributes(char* value, ssize_t got, std::uint32_t* attrs);
// The attribute word stored for the file at `osPath`, if any.
bool StoredAttributes(const std::string& osPath, std::uint32_t* attrs);

// Closes the handed file, if any.
void DropHanded();

}  // namespace platform::posix
