// A generated library's table as data: its entries, name index, folders, frames and package.json files, and the name hash.
//
// What NAME.table.cpp defines, constant-initialised, and what the front
// end builds the index with. Only <cstddef> and <cstdint>: a table
// compiles with nothing else. <nativegen/library.h> reads it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nativegen {

// One file: its name (for a package the path below the root, UTF-8, "/"
// between parts; for scripts the module name), its bytes (no terminating
// zero; null for a compressed one, which read() decompresses) and their count.
struct entry {
    const char* name;
    const char* data;
    std::size_t size;
};

namespace detail {

// One name: its bytes (no terminating zero) and their count.
struct name {
    const char* text;
    std::size_t size;
};

// One slot of the name index: the entry's place plus one (0: an empty
// slot), its name's length and the upper half of its name's hash.
struct slot {
    unsigned place, length, tag;
};

// One folder: its path (no "/" after it; "" for the root) and the names it
// holds directly, `count` of them from table::names[first], in byte order.
struct folder {
    name path;
    unsigned first, count;
};

// Where an entry's zstd frame lies and its length; null data for an
// entry stored as it is.
struct frame {
    const char* data;
    std::size_t size;
};

// Writes the `size` bytes the frame `f` holds into `buffer`: false when
// the frame is damaged or does not hold exactly that many.
using decompressor = bool (*)(const frame& f, void* buffer, std::size_t size) noexcept;

// What a JSON value kept from a package.json is.
enum value_type : unsigned char { null_value, string_value, array_value, object_value, other_value };

// One JSON value of a package.json's "exports" or "imports": a string's
// bytes in `text`; an array's items, or an object's members as key and
// value in turn (keys as string values, in the file's order), `count`
// values from the package's value array at `first`. Numbers and booleans
// are other_value: resolution refuses them as targets.
struct value {
    value_type type;
    name text;
    unsigned first, count;
};

// What a package.json's "type" says.
enum package_type : unsigned char { type_none, type_commonjs, type_module };

// A package.json as resolution reads it, read when the library is built:
// its folder (below the library's root, "" the root, no "/" after it);
// whether it is valid JSON (when not, nothing else is kept); "name" and
// "main" when they are strings (null text otherwise); "type"; "exports"
// and "imports" as the index of their value in `values` (-1: absent).
struct package {
    name folder;
    bool valid;
    package_type type;
    name package_name;
    name main;
    int exports, imports;
    const value* values;
};

// A whole library. Invariants the front end keeps: `entries` are in the
// library's order (a package's in byte order of their names); `slot_count`
// is a power of two at least twice `count`, so every probe meets an empty
// slot; `folders` are in byte order of their paths, the root always among
// them; `frames`, when not null, stand beside `entries` one for one, and
// `decompress` is then not null; `packages` (one per package.json entry)
// are in byte order of their folders. `source`, when not null, is the
// folder on disk the library was made from, kept for builds that read
// it there instead (the tree mounts that folder).
struct table {
    const entry* entries;
    std::size_t count;
    const slot* slots;
    std::size_t slot_count;
    const folder* folders;
    std::size_t folder_count;
    const name* names;
    std::size_t name_count;
    const frame* frames;
    decompressor decompress;
    const package* packages;
    std::size_t package_count;
    const char* source;
};

// The hash of the `n` bytes at `p` that places a name in the index: each
// little-endian eight-byte word mixed in by a multiply and a fold, the
// short last word and the length closing it. Compilers make one load of
// each word. The one definition: the front end builds the index with it.
constexpr std::uint64_t hash(const char* p, std::size_t n) noexcept {
    std::uint64_t h = 0x9e3779b97f4a7c15ull ^ n;
    auto byte = [](char c) { return static_cast<std::uint64_t>(static_cast<unsigned char>(c)); };
    for (; n >= 8; p += 8, n -= 8) {
        const std::uint64_t w = byte(p[0]) | byte(p[1]) << 8 | byte(p[2]) << 16 | byte(p[3]) << 24 |
                                byte(p[4]) << 32 | byte(p[5]) << 40 | byte(p[6]) << 48 | byte(p[7]) << 56;
        h = (h ^ w) * 0xff51afd7ed558ccdull;
        h ^= h >> 29;
    }
    std::uint64_t w = 0;
    for (std::size_t k = n; k > 0; --k) w = (w << 8) | byte(p[k - 1]);
    h = (h ^ w) * 0xc4ceb9fe1a85ec53ull;
    return h ^ (h >> 32);
}

}  // namespace detail
}  // namespace nativegen
