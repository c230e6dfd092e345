// Writes the sources of a script library: one tree of scripts as a static
// library that a program reaches through a small header of its own.
//
// The build front end walks the tree, concatenates every script's bytes
// into one blob (in the header's order) and hands over each script's
// module name and where its bytes lie in the blob. From that come:
//
//   NAME.h          the consumer header: entry, find(), all(), count() in
//                   the library's namespace. It holds no script name, so
//                   it never changes when the scripts do and nothing that
//                   includes it compiles again.
//   NAME.table.cpp  the entries in the header's order and an index sorted
//                   by name, constant-initialised; names are string
//                   literals, never identifiers.
//   NAME.data.cpp   (Incbin) the blob, NAME.bin beside it, taken in by the
//                   assembler's .incbin; it carries the blob's hash, so it
//                   changes exactly when the blob does.
//   NAME.data.c     (Msvc) the blob as string literals, in pieces that
//                   every compiler of that dialect takes.
//
// The blob is one symbol, named from the library's name and namespace
// alone (a hash keeps two libraries apart), followed by a zero byte, so
// it is never empty.
//
// Pure functions: the caller writes the files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace library {

// One script: its module name as the header writes it (code page 936
// bytes), and where its bytes lie in the blob.
struct Script {
    std::string name;
    std::uint64_t offset;
    std::uint64_t size;
};

// How the blob reaches the object file.
enum class DataFormat {
    Incbin,  // a GNU assembler directive: GCC, Clang, MinGW
    Msvc,    // C string literals within that compiler's limits
};

struct Plan {
    std::string name;       // the library's name: the stem of every file, any CMake target name
    std::string nameSpace;  // C++ namespace, possibly nested ("a::b")
    DataFormat format;
    std::string blobPath;   // Incbin: the blob's absolute path, as .incbin names it (UTF-8)
};

// A file to write: its name below the output directory and its content.
struct File {
    std::string name;
    std::string content;
};

// Is `ns` a namespace a library may use: C++ identifiers joined by "::",
// no keyword, no reserved identifier (a leading "_", any "__"), not the
// standard library's own, and no name the standard headers or the
// compilers define as a macro? When not, `why` (if given) says why.
bool ValidNamespace(std::string_view ns, std::string* why);

// The name of the blob's symbol for `plan`: letters, digits and single
// underscores only.
std::string BlobSymbol(const Plan& plan);

// Every file of the library but the blob: NAME.h, NAME.table.cpp and the
// data source, in that order. `scripts` lie in `blob` in order, back to back. The caller
// owns the result. `plan.nameSpace` must be valid.
std::vector<File> Sources(const Plan& plan, const std::vector<Script>& scripts, std::string_view blob);

// The largest blob (the scripts' bytes together) that links for the
// target `name` into `limit`: "elf-x86_64", "elf-aarch64", "elf" (any other
// processor), "coff" (MinGW, Cygwin), "msvc" (the Msvc data format),
// "macho-x86_64", "macho-arm64", or "any" (the smallest of them, for a
// target not named). False for any other name. The numbers are measured
// with bench/blob-limits, or follow from the relocations' reach where
// nothing here links for the target.
bool BlobLimit(std::string_view target, std::uint64_t* limit);

// The Msvc data source's limits: no literal piece longer than kPieceBytes
// bytes, and kRowBytes bytes (kPiecesPerRow pieces) in one concatenation.
inline constexpr std::size_t kPieceBytes = 4064;
inline constexpr std::size_t kPiecesPerRow = 16;
inline constexpr std::size_t kRowBytes = kPieceBytes * kPiecesPerRow;

}  // namespace library
