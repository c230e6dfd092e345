// Writes the sources of a script library: one tree of scripts as a static
// library that a program reaches through a small header of its own.
//
// The build front end walks the tree, concatenates every script's bytes
// into one blob (in the tree's order, the generator's header's) and hands over each script's
// module name and where its bytes lie in the blob. From that come:
//
//   NAME.h          the consumer header: entry, find(), all(), count() in
//                   the library's namespace. It holds no script name, so
//                   it never changes when the scripts do and nothing that
//                   includes it compiles again.
//   NAME.table.cpp  the entries in the tree's order and an index by
//                   name, constant-initialised; names are string
//                   literals, never identifiers. (Incbin) With them the
//                   blob, NAME.<hash>.bin beside it (named by its
//                   content), taken in by the assembler's .incbin.
//   NAME.data.c     (Msvc) the blob as string literals, in pieces that
//                   every compiler of that dialect takes.
//
// The blob is one symbol, followed by a zero byte, so it is never empty.
// Its name holds a hash of the library's name, namespace and every entry's
// name and place: two libraries never share it, and a table links only
// with the Msvc data source written for the same entries, never with one
// whose bytes lie elsewhere.
//
// Pure functions: the caller writes the files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace library {

// One script: its module name as the header writes it (code page 936
// bytes), and where its bytes lie in the blob. A compressed one lies
// there as a zstd frame of `size` bytes; `length` is the file's own.
struct Script {
    std::string name;
    std::uint64_t offset;
    std::uint64_t size;
    bool compressed = false;
    std::uint64_t length = 0;  // compressed: the file's length
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
    std::string blobPath;   // Incbin: the blob's absolute path, as .incbin names it (UTF-8): its
                            // folder, then BlobFileName
    bool package = false;   // a package: names are paths (UTF-8), and the header has list()
    bool compress = false;  // entries may be zstd frames: read() decompresses, data is null for those
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

// Is `name` one a library's files may take as their stem: what CMake
// allows a target's name (letters, digits, "_", ".", "+", "-"), not a
// name of the folder itself, and no standard C or C++ header's name (in
// any case)? When not, `why` (if given) says why.
bool ValidLibraryName(std::string_view name, std::string* why);

// The name of the blob's symbol for `plan` and the entries' places:
// letters, digits and single underscores only.
std::string BlobSymbol(const Plan& plan, const std::vector<Script>& scripts, std::uint64_t blobSize);

// A 128-bit hash of `bytes` as 32 hex digits. Not for security: it marks
// content.
std::string Hash(std::string_view bytes);

// The blob's file name: NAME.<its hash>.bin.
std::string BlobFileName(const std::string& name, std::string_view blob);

// The same for a blob whose hash (Hash's, BlobHash's) is `hash`.
std::string HashedBlobName(const std::string& name, const std::string& hash);

// Every file of the library but the blob: NAME.h, NAME.table.cpp and
// (Msvc) the data source, in that order. `scripts` lie in `blob` in order, back to back. The caller
// owns the result. `plan.nameSpace` must be valid.
std::vector<File> Sources(const Plan& plan, const std::vector<Script>& scripts, std::string_view blob);

// Every file of the library but the blob and, for Msvc, the data (which
// MsvcWriter makes from the blob as it is read): NAME.h and
// NAME.table.cpp, in that order; for a package
// (`plan.package`) or the scripts. A package's `files` are in byte order
// of their names, no name twice. They lie in the blob in order, back to
// back; `blobSize` and `blobHash` (BlobHash's) say what the blob holds.
// The caller owns the result. `plan.nameSpace` must be valid.
std::vector<File> StreamedSources(const Plan& plan, const std::vector<Script>& files, std::uint64_t blobSize,
                                 const std::string& blobHash);

// The hash that marks a blob's content in the source that names it, taken over
// the blob's bytes as they come, in order: the same for any split into
// pieces. `size` is the blob's whole length. Not for security.
class BlobHash {
public:
    explicit BlobHash(std::uint64_t size);
    void Add(std::string_view bytes);
    // 32 hex digits; the bytes added must be `size` in all.
    std::string Hex() const;

private:
    void Word(std::uint64_t word);
    std::uint64_t a_, b_;
    unsigned char pending_[8];
    std::size_t held_ = 0;  // bytes in pending_, fewer than 8
};

// The Msvc data source written as the blob's bytes come, never holding
// more than a row of them: Begin, Add for each run of bytes in order, End.
// The text goes to `out` (appended), for the caller to write out.
class MsvcWriter {
public:
    // `symbol` is BlobSymbol's for the plan and the entries.
    MsvcWriter(const Plan& plan, std::string symbol, std::uint64_t size);
    // The text before the bytes, which names the blob's `hash` (BlobHash's).
    void Begin(std::string_view hash, std::string* out) const;
    void Add(std::string_view bytes, std::string* out);
    // The tail and the close.
    void End(std::string* out);

private:
    const Plan& plan_;
    std::string symbol_;
    std::uint64_t size_, rows_, rowsDone_ = 0;
    std::string row_;  // the bytes of the row being filled
};

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
