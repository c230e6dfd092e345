#include "tools/nativegen-build/library/sources.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <set>

#include "tools/common/identifiers.h"
#include "tools/nativegen-build/cli/outputs.h"

namespace library {
namespace {

bool Letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool Digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string Hash(std::string_view bytes) {
    BlobHash hash(bytes.size());
    hash.Add(bytes);
    return hash.Hex();
}

namespace {

// Appends the byte `u` as a three-digit octal escape, which no digit
// after it can extend (C and the GNU assembler read it alike).
void AppendOctal(std::string* out, unsigned char u) {
    char escape[4] = {'\\', static_cast<char>('0' + (u >> 6)), static_cast<char>('0' + ((u >> 3) & 7)),
                      static_cast<char>('0' + (u & 7))};
    out->append(escape, 4);
}

// Appends `bytes` as the inside of a C string literal: printable ASCII as
// it is, '"', '\\', '?' (so no trigraph forms) and newline by their
// escapes, every other byte as a three-digit octal escape, which no digit
// after it can extend.
void AppendEscaped(std::string* out, std::string_view bytes) {
    for (char c : bytes) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\' || c == '?') {
            *out += '\\';
            *out += c;
        } else if (c == '\n') {
            out->append("\\n", 2);
        } else if (u >= 0x20 && u < 0x7f) {
            *out += c;
        } else {
            AppendOctal(out, u);
        }
    }
}

std::string Quoted(std::string_view bytes) {
    std::string out = "\"";
    AppendEscaped(&out, bytes);
    return out + "\"";
}

// `path` as a GNU assembler string: '"' and '\\' escaped, control bytes in
// octal, every other byte as it is.
std::string AssemblerString(std::string_view path) {
    std::string out = "\"";
    for (char c : path) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7f) {
            AppendOctal(&out, u);
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Banner(const Plan& plan, const std::string& what) {
    return "//" + GeneratedMark(plan.name) + " " + what + ". Do not edit.\n";
}

// ---- NAME.h ------------------------------------------------------------------------

// What the header and the table both define, word for word: the types
// and every function the table defines, none of them naming string_view.
// The table does not include the header, so its compile skips
// <string_view>, the costliest part of it; the string_view forms are the
// header's own inline wrappers. One text for both keeps the two
// definitions of each type the same, as the language asks, and a guard
// named after the namespace lets one translation unit hold both (a unity
// build).
std::string SharedDeclarations(const Plan& plan) {
    const bool p = plan.package;
    std::string guard = "NATIVEGEN_LIBRARY_";
    for (char c : plan.nameSpace) guard += c == ':' ? '_' : c;  // "a::b": "a__b", which no namespace may be
    std::string out =
        "#ifndef " + guard + "\n#define " + guard + "\n\n" +
        (p ? "// One file: its name (the path below the root, UTF-8, \"/\" between\n"
             "// parts, its extension kept), its bytes (no terminating zero) and their count.\n"
           : "// One script: its module name (the path below the tree, \"/\" between\n"
             "// parts, no \".js\"), its bytes (no terminating zero) and their count.\n") +
        std::string("struct entry {\n"
                    "    const char* name;\n"
                    "    const char* data;\n"
                    "    ::std::size_t size;\n"
                    "};\n"
                    "\n") +
        (p ? "// The entries in byte order of their names: for (const entry& e : all()).\n"
           : "// The entries in the tree's order: for (const entry& e : all()).\n") +
        "class entries {\n"
        "public:\n"
        "    constexpr entries(const entry* first, ::std::size_t size) noexcept : first_(first), size_(size) {}\n"
        "    constexpr const entry* begin() const noexcept { return first_; }\n"
        "    constexpr const entry* end() const noexcept { return first_ + size_; }\n"
        "    constexpr ::std::size_t size() const noexcept { return size_; }\n"
        "    constexpr bool empty() const noexcept { return size_ == 0; }\n"
        "    constexpr const entry& operator[](::std::size_t i) const noexcept { return first_[i]; }\n"
        "\n"
        "private:\n"
        "    const entry* first_;\n"
        "    ::std::size_t size_;\n"
        "};\n"
        "\n" +
        (p ? "// The entry whose name is exactly the `size` bytes at `name`; null when\n"
             "// there is none.\n"
           : "// The entry whose module name is exactly the `size` bytes at `name`, the\n"
             "// first in the tree's order where names repeat; null when there is none.\n") +
        "const entry* find(const char* name, ::std::size_t size) noexcept;\n"
        "\n" +
        (p ? "// Every entry, in byte order of their names.\n" : "// Every entry, in the tree's order.\n") +
        "entries all() noexcept;\n"
        "\n"
        "// How many entries there are.\n"
        "::std::size_t count() noexcept;\n"
        "\n"
        "// Writes the bytes of `e` (one of all()'s entries itself, not a copy) into\n"
        "// `buffer`, exactly e.size of them: true, or false when `e` is no entry of\n"
        "// this library or its stored bytes are damaged (what `buffer` holds is then\n"
        "// unspecified). Allocates nothing and may run on any number of threads at\n"
        "// once. In a compressed library e.data is null for a compressed entry:\n"
        "// read() is the way to its bytes, decompressing with 100 KiB of the\n"
        "// caller's stack.\n"
        "bool read(const entry& e, void* buffer) noexcept;\n"
        "\n";
    if (p)
        out += "// How the library stores its folders; list() is the way to them.\n"
               "namespace detail {\n"
               "\n"
               "// One name: its bytes (no terminating zero) and their count.\n"
               "struct name {\n"
               "    const char* text;\n"
               "    ::std::size_t size;\n"
               "};\n"
               "\n"
               "// The names one folder holds directly, in byte order.\n"
               "struct folder {\n"
               "    const name* first;\n"
               "    ::std::size_t size;\n"
               "};\n"
               "\n"
               "// The folder whose path is the `size` bytes at `path` (a \"/\" after it\n"
               "// ignored); none when there is no such folder.\n"
               "folder list(const char* path, ::std::size_t size) noexcept;\n"
               "\n"
               "}  // namespace detail\n"
               "\n";
    return out + "#endif\n\n";
}

// What only the header has: the string_view forms, and a package's
// folders as a range of string_views.
const char kFolderRange[] =
    "// The names in one folder: for (std::string_view name : list(\"lib\")).\n"
    "// A random-access range whose elements are std::string_view values.\n"
    "class names {\n"
    "public:\n"
    "    class iterator {\n"
    "    public:\n"
    "        using value_type = ::std::string_view;\n"
    "        using reference = ::std::string_view;\n"
    "        using pointer = void;\n"
    "        using difference_type = ::std::ptrdiff_t;\n"
    "        // the category of string_view's own iterators, without <iterator>\n"
    "        using iterator_category = ::std::string_view::const_reverse_iterator::iterator_category;\n"
    "\n"
    "        constexpr iterator() noexcept : at_(nullptr) {}\n"
    "        constexpr explicit iterator(const detail::name* at) noexcept : at_(at) {}\n"
    "        constexpr ::std::string_view operator*() const noexcept { return ::std::string_view(at_->text, at_->size); }\n"
    "        constexpr ::std::string_view operator[](difference_type i) const noexcept { return *(*this + i); }\n"
    "        constexpr iterator& operator++() noexcept { ++at_; return *this; }\n"
    "        constexpr iterator operator++(int) noexcept { iterator was = *this; ++at_; return was; }\n"
    "        constexpr iterator& operator--() noexcept { --at_; return *this; }\n"
    "        constexpr iterator operator--(int) noexcept { iterator was = *this; --at_; return was; }\n"
    "        constexpr iterator& operator+=(difference_type n) noexcept { at_ += n; return *this; }\n"
    "        constexpr iterator& operator-=(difference_type n) noexcept { at_ -= n; return *this; }\n"
    "        friend constexpr iterator operator+(iterator i, difference_type n) noexcept { return i += n; }\n"
    "        friend constexpr iterator operator+(difference_type n, iterator i) noexcept { return i += n; }\n"
    "        friend constexpr iterator operator-(iterator i, difference_type n) noexcept { return i -= n; }\n"
    "        friend constexpr difference_type operator-(iterator a, iterator b) noexcept { return a.at_ - b.at_; }\n"
    "        friend constexpr bool operator==(iterator a, iterator b) noexcept { return a.at_ == b.at_; }\n"
    "        friend constexpr bool operator!=(iterator a, iterator b) noexcept { return a.at_ != b.at_; }\n"
    "        friend constexpr bool operator<(iterator a, iterator b) noexcept { return a.at_ < b.at_; }\n"
    "        friend constexpr bool operator>(iterator a, iterator b) noexcept { return a.at_ > b.at_; }\n"
    "        friend constexpr bool operator<=(iterator a, iterator b) noexcept { return a.at_ <= b.at_; }\n"
    "        friend constexpr bool operator>=(iterator a, iterator b) noexcept { return a.at_ >= b.at_; }\n"
    "\n"
    "    private:\n"
    "        const detail::name* at_;\n"
    "    };\n"
    "\n"
    "    constexpr names(detail::folder folder) noexcept : folder_(folder) {}\n"
    "    constexpr iterator begin() const noexcept { return iterator(folder_.first); }\n"
    "    constexpr iterator end() const noexcept { return iterator(folder_.first + folder_.size); }\n"
    "    constexpr ::std::size_t size() const noexcept { return folder_.size; }\n"
    "    constexpr bool empty() const noexcept { return folder_.size == 0; }\n"
    "    constexpr ::std::string_view operator[](::std::size_t i) const noexcept {\n"
    "        return ::std::string_view(folder_.first[i].text, folder_.first[i].size);\n"
    "    }\n"
    "\n"
    "private:\n"
    "    detail::folder folder_;\n"
    "};\n"
    "\n"
    "// What the library holds directly inside `folder` (\"\" is the root; \"lib\"\n"
    "// and \"lib/\" are one folder), in byte order: files by their own name,\n"
    "// folders with a \"/\" after it (\"lib/\"). A folder is there when it holds\n"
    "// a file at any depth; any other gives an empty range.\n"
    "inline names list(::std::string_view folder) noexcept { return names(detail::list(folder.data(), folder.size())); }\n"
    "inline names list(const char* folder) noexcept {\n"
    "    return folder ? list(::std::string_view(folder)) : names(detail::folder{nullptr, 0});\n"
    "}\n"
    "\n";

// Depends on the name, the namespace and the form alone: the files never change it.
std::string ConsumerHeader(const Plan& plan) {
    const std::string& ns = plan.nameSpace;
    const bool p = plan.package;
    return Banner(plan, "the consumer header") +
           "//\n"
           "//   #include \"" + plan.name + ".h\"\n"
           "//\n" +
           (p ? "//   const " + ns + "::entry* json = " + ns + "::find(\"package.json\");   // by path; null when none\n"
                "//   for (const " + ns + "::entry& e : " + ns + "::all()) ...    // in byte order of their names\n"
                "//   for (std::string_view name : " + ns + "::list(\"lib\")) ...   // \"index.js\", \"sub/\"\n"
              : "//   const " + ns + "::entry* app = " + ns + "::find(\"app\");   // by module name; null when none\n"
                "//   for (const " + ns + "::entry& e : " + ns + "::all()) ...    // in the tree's order\n") +
           "//\n"
           "// The entries are constant-initialised and live as long as the program:\n"
           "// they can be used from any static initialiser. This header names no\n" +
           (p ? "// file, so it stays the same when the files change.\n"
              : "// script, so it stays the same when the scripts change.\n") +
           "#pragma once\n"
           "\n"
           "#include <cstddef>\n"
           "#include <string_view>\n"
           "\n"
           "namespace " + ns + " {\n"
           "\n" + SharedDeclarations(plan) + (p ? kFolderRange : "") +
           "// find(name, size) for a string_view, or for a string up to its zero.\n"
           "inline const entry* find(::std::string_view name) noexcept { return find(name.data(), name.size()); }\n"
           "inline const entry* find(const char* name) noexcept {\n"
           "    return name ? find(::std::string_view(name)) : nullptr;\n"
           "}\n"
           "\n"
           "}  // namespace " + ns + "\n";
}

// ---- the blob through .incbin, in NAME.table.cpp -----------------------------------

// The assembler's part of the table: it reads the blob into a read-only
// section under one symbol, followed by a zero byte, so the compiler never
// sees the bytes. One source with the entries costs one compile less than
// two: the largest part of a small one is the compiler's own start.
std::string IncbinBlock(const Plan& plan, const std::string& symbol, std::uint64_t blobSize,
                        const std::string& blobHash) {
    const std::string file = AssemblerString(plan.blobPath);
    // one assembler line as a C++ literal piece
    auto line = [](const std::string& text) { return "    " + Quoted(text + "\n") + "\n"; };
    // the blob's size and hash inside the assembler text, where a cache of
    // preprocessed sources sees them too
    const std::string mark = line("/* blob: " + std::to_string(blobSize) + " bytes, hash " + blobHash + " */");
    std::string out = "// The bytes, from " + HashedBlobName(plan.name, blobHash) + ": the assembler reads them into\n"
                      "// a read-only section under one symbol, followed by a zero byte.\n";
    // x86-64 reaches data from code within 2 GiB: the blob goes to the
    // large-data section, which the linker places after all other data
    out += "#if defined(__ELF__) && defined(__x86_64__)\n#define NATIVEGEN_BLOB_SECTION \".lrodata.\"\n";
    out += "#elif defined(__ELF__)\n#define NATIVEGEN_BLOB_SECTION \".rodata.\"\n#endif\n";
    out += "#if defined(__ELF__)\nasm(\n" + mark;
    out += "    \".pushsection \" NATIVEGEN_BLOB_SECTION " + Quoted(symbol + ",\"a\"\n") + "\n";
    out += line(".globl " + symbol);
    out += line(".hidden " + symbol);
    out += line(".type " + symbol + ", %object");
    out += line(".balign 16");
    out += line(symbol + ":");
    out += line(".incbin " + file);
    out += line(".byte 0");
    out += line(".size " + symbol + ", . - " + symbol);
    out += line(".popsection");
    out += ");\n#elif defined(__MINGW32__) || defined(__CYGWIN__)\nasm(\n" + mark;
    out += line(".section .rdata,\"dr\"");
    out += line(".globl " + symbol);
    out += line(".balign 16");
    out += line(symbol + ":");
    out += line(".incbin " + file);
    out += line(".byte 0");
    out += line(".text");
    // Mach-O: a read-only section of the text segment, and C's "_" before the name
    out += ");\n#elif defined(__APPLE__) && defined(__MACH__)\nasm(\n" + mark;
    out += line(".section __TEXT,__const");
    out += line(".globl _" + symbol);
    out += line(".private_extern _" + symbol);
    out += line(".p2align 4");
    out += line("_" + symbol + ":");
    out += line(".incbin " + file);
    out += line(".byte 0");
    out += line(".text");
    out += ");\n#else\n#error \"no .incbin section for this object format: use the Msvc data format\"\n#endif\n\n";
    return out;
}

// ---- NAME.table.cpp ----------------------------------------------------------------

// `text` as a stored name's initialiser: {"text", length}.
std::string StoredOf(std::string_view text) {
    return "{" + Quoted(text) + ", " + std::to_string(text.size()) + "}";
}

// A package's folders: every folder that holds a file at any depth (its
// path without a closing "/"; "" the root, always there), and what it
// holds directly, each list in byte order, folders with a "/" after their
// name. `files` are a package's, by name.
std::string FolderTables(const std::vector<Script>& files) {
    std::map<std::string, std::set<std::string>> folders{{"", {}}};
    for (const Script& f : files) {
        for (std::size_t start = 0, slash; (slash = f.name.find('/', start)) != std::string::npos; start = slash + 1)
            folders[f.name.substr(0, start == 0 ? 0 : start - 1)].insert(f.name.substr(start, slash + 1 - start));
        std::size_t last = f.name.rfind('/');
        folders[last == std::string::npos ? "" : f.name.substr(0, last)].insert(
            f.name.substr(last == std::string::npos ? 0 : last + 1));
    }
    std::string names, table;
    std::size_t count = 0;
    for (const auto& [path, inside] : folders) {
        table += "    {" + StoredOf(path) + ", " + std::to_string(count) + ", " + std::to_string(inside.size()) + "},\n";
        for (const std::string& name : inside) names += "    " + StoredOf(name) + ",\n";
        count += inside.size();
    }
    /* no file: one placeholder, as no array may be empty */
    if (count == 0) names += "    {\"\", 0},\n";
    return "// what each folder holds directly, folder after folder\n"
           "constexpr detail::name kNames[" + std::to_string(count ? count : 1) + "] = {\n" + names + "};\n\n"
           "struct listing {\n    detail::name path;\n    unsigned first, count;\n};\n\n"
           "// by path\nconstexpr ::std::size_t kFolderCount = " + std::to_string(folders.size()) + ";\n"
           "constexpr listing kFolders[" + std::to_string(folders.size()) + "] = {\n" + table + "};\n\n"
           "// whether `a` sorts before the `size` bytes at `b`, byte by byte\n"
           "bool before(const detail::name& a, const char* b, ::std::size_t size) noexcept {\n"
           "    const ::std::size_t n = a.size < size ? a.size : size;\n"
           "    const int order = n ? ::std::memcmp(a.text, b, n) : 0;\n"
           "    return order < 0 || (order == 0 && a.size < size);\n"
           "}\n\n";
}

// The name hash find() computes, eight bytes at a time: each
// little-endian word mixed in by a multiply and a fold, the short last
// word and the length closing it. kNameHash is the same in C++ for the
// table, which compilers turn into one load per word.
std::uint64_t NameHash(std::string_view name) {
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    std::size_t n = name.size();
    std::uint64_t h = 0x9e3779b97f4a7c15ull ^ n;
    auto word = [](const unsigned char* q, std::size_t count) {
        std::uint64_t w = 0;
        for (std::size_t k = count; k > 0; --k) w = (w << 8) | q[k - 1];
        return w;
    };
    for (; n >= 8; p += 8, n -= 8) {
        h = (h ^ word(p, 8)) * 0xff51afd7ed558ccdull;
        h ^= h >> 29;
    }
    h = (h ^ word(p, n)) * 0xc4ceb9fe1a85ec53ull;
    return h ^ (h >> 32);
}

const char kNameHash[] =
    "// the name's hash, as the front end computed it for kSlots\n"
    "::std::uint64_t hash(const unsigned char* p, ::std::size_t n) noexcept {\n"
    "    ::std::uint64_t h = 0x9e3779b97f4a7c15ull ^ n;\n"
    "    for (; n >= 8; p += 8, n -= 8) {\n"
    "        ::std::uint64_t w = static_cast<::std::uint64_t>(p[0]) | static_cast<::std::uint64_t>(p[1]) << 8 |\n"
    "                            static_cast<::std::uint64_t>(p[2]) << 16 | static_cast<::std::uint64_t>(p[3]) << 24 |\n"
    "                            static_cast<::std::uint64_t>(p[4]) << 32 | static_cast<::std::uint64_t>(p[5]) << 40 |\n"
    "                            static_cast<::std::uint64_t>(p[6]) << 48 | static_cast<::std::uint64_t>(p[7]) << 56;\n"
    "        h = (h ^ w) * 0xff51afd7ed558ccdull;\n"
    "        h ^= h >> 29;\n"
    "    }\n"
    "    ::std::uint64_t w = 0;\n"
    "    for (::std::size_t k = n; k > 0; --k) w = (w << 8) | p[k - 1];\n"
    "    h = (h ^ w) * 0xc4ceb9fe1a85ec53ull;\n"
    "    return h ^ (h >> 32);\n"
    "}\n\n";

// find()'s index: open addressing over a power of two of slots, at least
// twice the entries, probed one after another from a name's hash. A slot
// holds an entry's place plus one (0: empty), its name's length and the
// hash's upper half. Invariant: among equal names only the first in the
// entries' order is put in, so a lookup finds that one, and a probe
// always meets an empty slot.
std::string HashTable(const std::vector<Script>& scripts) {
    std::size_t count = 1;
    while (count < 2 * scripts.size()) count *= 2;
    struct Slot {
        std::uint32_t place = 0, length = 0, tag = 0;
    };
    std::vector<Slot> slots(count);
    std::set<std::string_view> placed;
    for (std::size_t k = 0; k < scripts.size(); ++k) {
        const std::string& name = scripts[k].name;
        if (!placed.insert(name).second) continue;
        std::uint64_t h = NameHash(name);
        std::size_t i = h & (count - 1);
        while (slots[i].place != 0) i = (i + 1) & (count - 1);
        slots[i] = {static_cast<std::uint32_t>(k + 1), static_cast<std::uint32_t>(name.size()),
                    static_cast<std::uint32_t>(h >> 32)};
    }
    std::string out = "struct slot {\n    unsigned place, length, tag;\n};\n\n"
                      "// find()'s index: places (plus one) by the names' hashes\n"
                      "constexpr ::std::size_t kSlotCount = " + std::to_string(count) + ";\n"
                      "constexpr slot kSlots[" + std::to_string(count) + "] = {";
    for (std::size_t i = 0; i < count; ++i) {
        out += i % 8 ? " " : "\n    ";
        out += slots[i].place == 0 ? std::string("{},")
                                   : "{" + std::to_string(slots[i].place) + ", " + std::to_string(slots[i].length) +
                                         ", " + std::to_string(slots[i].tag) + "u},";
    }
    return out + "\n};\n\n" + kNameHash;
}

// A compressed library's frames: each entry's zstd frame in the blob and
// its length, in the entries' order; null for one stored as it is.
std::string FrameTable(const std::vector<Script>& scripts, const std::string& symbol) {
    std::string out = "struct frame {\n    const char* data;\n    ::std::size_t size;\n};\n\n"
                      "// in the tree's order, beside kEntries\nconstexpr frame kFrames[" +
                      std::to_string(scripts.empty() ? 1 : scripts.size()) + "] = {\n";
    if (scripts.empty()) out += "    {nullptr, 0},\n";
    for (const Script& s : scripts)
        out += s.compressed ? "    {" + symbol + " + " + std::to_string(s.offset) + ", " + std::to_string(s.size) + "},\n"
                            : std::string("    {nullptr, 0},\n");
    return out + "};\n\n"
                 "// room for one decompression context, on the reader's stack (zstd 1.5\n"
                 "// takes some 94 KiB), so that a thread of 128 KiB has room for it\n"
                 "constexpr ::std::size_t kReadRoom = 100 * 1024;\n\n";
}

// read(): the entry found by its place among kEntries (not compared as
// pointers into some other array), then its bytes copied or its frame
// decompressed with a context made in the caller's stack, whose checksum
// zstd checks.
std::string ReadFunction(bool compress) {
    std::string out =
        "bool read(const entry& e, void* buffer) noexcept {\n"
        "    const ::std::uintptr_t at = reinterpret_cast<::std::uintptr_t>(&e);\n"
        "    const ::std::uintptr_t first = reinterpret_cast<::std::uintptr_t>(kEntries);\n"
        "    if (at < first || at >= first + kCount * sizeof(entry) || (at - first) % sizeof(entry) != 0)\n"
        "        return false;\n";
    if (compress)
        out += "    const frame& f = kFrames[(at - first) / sizeof(entry)];\n"
               "    if (f.data) {\n"
               "        alignas(16) unsigned char room[kReadRoom];\n"
               "        ZSTD_DCtx* context = ZSTD_initStaticDCtx(room, sizeof room);\n"
               "        if (!context) return false;\n"
               "        ::std::size_t n = ZSTD_decompressDCtx(context, buffer, e.size, f.data, f.size);\n"
               "        return !ZSTD_isError(n) && n == e.size;\n"
               "    }\n";
    return out + "    if (e.size > 0) ::std::memcpy(buffer, e.data, e.size);\n"
                 "    return true;\n"
                 "}\n\n";
}

// The entries, their index and (Incbin) the blob, whose hash is `blobHash`.
std::string TableSource(const Plan& plan, const std::vector<Script>& scripts, std::uint64_t blobSize,
                        const std::string& blobHash) {
    const std::string symbol = BlobSymbol(plan, scripts, blobSize);
    const std::string bound = std::to_string(blobSize + 1);
    const bool incbin = plan.format == DataFormat::Incbin;
    std::string out = Banner(plan, incbin ? "the entries, their index and their bytes" : "the entries and their index") +
                      "#include <cstddef>\n#include <cstdint>\n#include <cstring>\n\n";
    if (plan.compress)
        out += "#define ZSTD_STATIC_LINKING_ONLY\n#include <zstd.h>\n\n";
    /* the assembler defines the blob under its own name: no prefix is added, but Mach-O's own */
    if (incbin)
        out += IncbinBlock(plan, symbol, blobSize, blobHash) + "#if defined(__APPLE__) && defined(__MACH__)\n" +
               "extern \"C\" const char " + symbol + "[" + bound + "] __asm__(\"_" + symbol + "\");\n#else\n" +
               "extern \"C\" const char " + symbol + "[" + bound + "] __asm__(\"" + symbol + "\");\n#endif\n\n";
    else
        out += "extern \"C\" const char " + symbol + "[" + bound + "];\n\n";

    const std::string slots = std::to_string(scripts.empty() ? 1 : scripts.size());
    // the header's declarations without its string_view forms
    out += "namespace " + plan.nameSpace + " {\n\n" + SharedDeclarations(plan) + "namespace {\n\n";
    out += "constexpr ::std::size_t kCount = " + std::to_string(scripts.size()) + ";\n\n";
    out += "// in the tree's order\nconstexpr entry kEntries[" + slots + "] = {\n";
    /* no script: one placeholder, as no array may be empty; kCount is 0 */
    if (scripts.empty()) out += "    {\"\", " + symbol + ", 0},\n";
    for (const Script& s : scripts) {
        out += "    {";
        out += Quoted(s.name);
        if (s.compressed)
            out += ", nullptr, " + std::to_string(s.length) + "},\n";
        else
            out += ", " + symbol + " + " + std::to_string(s.offset) + ", " + std::to_string(s.size) + "},\n";
    }
    out += "};\n\n" + HashTable(scripts);
    if (plan.package) out += FolderTables(scripts);
    if (plan.compress) out += FrameTable(scripts, symbol);
    out += "}  // namespace\n\n";
    out += "const entry* find(const char* name, ::std::size_t size) noexcept {\n"
           "    const ::std::uint64_t h = hash(reinterpret_cast<const unsigned char*>(name), size);\n"
           "    const ::std::uint32_t tag = static_cast<::std::uint32_t>(h >> 32);\n"
           "    for (::std::size_t i = h & (kSlotCount - 1);; i = (i + 1) & (kSlotCount - 1)) {\n"
           "        const slot& s = kSlots[i];\n"
           "        if (s.place == 0) return nullptr;\n"
           "        const entry& e = kEntries[s.place - 1];\n"
           "        if (s.tag == tag && s.length == size && (size == 0 || ::std::memcmp(e.name, name, size) == 0))\n"
           "            return &e;\n"
           "    }\n"
           "}\n\n"
           "entries all() noexcept { return entries(kEntries, kCount); }\n\n"
           "::std::size_t count() noexcept { return kCount; }\n\n" +
           ReadFunction(plan.compress);
    if (plan.package)
        out += "detail::folder detail::list(const char* path, ::std::size_t size) noexcept {\n"
               "    if (size > 0 && path[size - 1] == '/') --size;\n"
               "    ::std::size_t low = 0, high = kFolderCount;\n"
               "    while (low < high) {\n"
               "        ::std::size_t mid = low + (high - low) / 2;\n"
               "        if (before(kFolders[mid].path, path, size))\n"
               "            low = mid + 1;\n"
               "        else\n"
               "            high = mid;\n"
               "    }\n"
               "    if (low < kFolderCount && kFolders[low].path.size == size && !before(kFolders[low].path, path, size))\n"
               "        return {kNames + kFolders[low].first, kFolders[low].count};\n"
               "    return {kNames, 0};\n"
               "}\n\n";
    out += "}  // namespace " + plan.nameSpace + "\n";
    return out;
}

// ---- NAME.data.c: the blob as C string literals ------------------------------------

// Appends `bytes` as literal pieces of at most kPieceBytes, a line each
// behind `indent`; "" for none.
void AppendPieces(std::string* out, std::string_view bytes, const char* indent) {
    if (bytes.empty()) *out += indent, *out += "\"\"\n";
    for (std::size_t at = 0; at < bytes.size(); at += kPieceBytes) {
        *out += indent;
        *out += '"';
        AppendEscaped(out, bytes.substr(at, kPieceBytes));
        *out += "\"\n";
    }
}

}  // namespace

std::string BlobSymbol(const Plan& plan, const std::vector<Script>& scripts, std::uint64_t blobSize) {
    std::string symbol = "nativegen_blob_";
    for (char c : plan.name) {
        char d = Letter(c) || Digit(c) ? c : '_';
        if (!(d == '_' && symbol.back() == '_')) symbol += d;
    }
    if (symbol.back() != '_') symbol += '_';
    std::string key = plan.name;
    key += '\0';
    key += plan.nameSpace;
    key += '\0' + std::to_string(blobSize);
    for (const Script& s : scripts) {
        key += '\0' + s.name + '\0' + std::to_string(s.offset) + ',' + std::to_string(s.size);
        if (s.compressed) key += ",z" + std::to_string(s.length);
    }
    return symbol + Hash(key).substr(0, 16);
}

BlobHash::BlobHash(std::uint64_t size) : a_(0x9e3779b97f4a7c15ull ^ size), b_(0xc2b2ae3d27d4eb4full + size) {}

namespace {
std::uint64_t Mix(std::uint64_t h, std::uint64_t w, std::uint64_t k) {
    h = (h ^ w) * k;
    return h ^ (h >> 29);
}
}  // namespace

// Two lanes over little-endian 8-byte words, each multiplied and folded;
// the last, short word and the other lane close each.
void BlobHash::Word(std::uint64_t w) {
    a_ = Mix(a_, w, 0xff51afd7ed558ccdull);
    b_ = Mix(b_, w ^ 0x5bd1e9955bd1e995ull, 0xc4ceb9fe1a85ec53ull);
}

void BlobHash::Add(std::string_view bytes) {
    // the little-endian word at `p`: one load where the machine is little-endian
    auto word = [](const unsigned char* p) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        if constexpr (std::endian::native == std::endian::big) {
            std::uint64_t swapped = 0;
            for (int k = 0; k < 8; ++k, w >>= 8) swapped = (swapped << 8) | (w & 0xff);
            w = swapped;
        }
        return w;
    };
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    while (held_ > 0 && n > 0) {
        pending_[held_++] = *p++, --n;
        if (held_ == 8) Word(word(pending_)), held_ = 0;
    }
    for (; n >= 8; p += 8, n -= 8) Word(word(p));
    for (; n > 0; --n) pending_[held_++] = *p++;
}

std::string BlobHash::Hex() const {
    std::uint64_t w = 0;
    for (std::size_t k = held_; k > 0; --k) w = (w << 8) | pending_[k - 1];
    std::uint64_t a = Mix(Mix(a_, w, 0xff51afd7ed558ccdull), b_, 0x9e3779b97f4a7c15ull);
    std::uint64_t b = Mix(Mix(b_, w, 0xc4ceb9fe1a85ec53ull), a, 0xff51afd7ed558ccdull);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (std::uint64_t lane : {a, b})
        for (int shift = 60; shift >= 0; shift -= 4) out += hex[(lane >> shift) & 15];
    return out;
}

// C, not C++: an array exactly as long as its literal, without the zero,
// is valid C. Rows of kRowBytes bytes, each one concatenation of pieces
// of at most kPieceBytes, then a tail whose literal's own zero is the
// blob's closing zero, so no array is ever empty.
MsvcWriter::MsvcWriter(const Plan& plan, std::string symbol, std::uint64_t size)
    : plan_(plan), symbol_(std::move(symbol)), size_(size), rows_(size / kRowBytes) {}

void MsvcWriter::Begin(std::string_view hash, std::string* out) const {
    const std::string& symbol = symbol_;
    *out += "/*" + GeneratedMark(plan_.name) + " the " + (plan_.package ? "files'" : "scripts'") +
            " bytes. Do not edit. */\n";
    *out += "/* blob: " + std::to_string(size_) + " bytes, hash " + std::string(hash) + " */\n";
    *out += "/* rows fill their arrays exactly, without a terminating zero: valid C, and\n"
            "   no cause for that compiler's warning */\n";
    *out += "#if defined(_MSC_VER)\n#pragma warning(disable : 4295)\n#endif\n";
    // (GCC and Clang take the dialect's long literals too, but say so under -Wpedantic)
    *out += "#if defined(__GNUC__)\n#pragma GCC diagnostic ignored \"-Woverlength-strings\"\n#endif\n\n";
    *out += "struct " + symbol + "_rows {\n";
    if (rows_ > 0) *out += "    char rows[" + std::to_string(rows_) + "][" + std::to_string(kRowBytes) + "];\n";
    *out += "    char tail[" + std::to_string(size_ - rows_ * kRowBytes + 1) + "];\n";
    *out += "};\n";
    // declared before it is defined, as a symbol other files read
    *out += "extern const struct " + symbol + "_rows " + symbol + ";\n";
    *out += "const struct " + symbol + "_rows " + symbol + " = {\n";
}

void MsvcWriter::Add(std::string_view bytes, std::string* out) {
    while (!bytes.empty()) {
        std::size_t take = std::min(bytes.size(), kRowBytes - row_.size());
        row_.append(bytes.data(), take);
        bytes.remove_prefix(take);
        // Invariant: a full row_ while rows remain is written out at once,
        // so what is left at the end is the tail, shorter than a row.
        if (row_.size() == kRowBytes && rowsDone_ < rows_) {
            if (rowsDone_ == 0) *out += "    {\n";
            AppendPieces(out, row_, "        ");
            *out += "        ,\n";
            if (++rowsDone_ == rows_) *out += "    },\n";
            row_.clear();
        }
    }
}

void MsvcWriter::End(std::string* out) {
    AppendPieces(out, row_, "    ");
    *out += "};\n";
    row_.clear();
}
std::string HashedBlobName(const std::string& name, const std::string& hash) { return name + "." + hash + ".bin"; }



std::string GeneratedMark(const std::string& name) {
    return " Generated by " + std::string(frontend::kProgram) + " for the library " + name + ":";
}

std::vector<File> StreamedSources(const Plan& plan, const std::vector<Script>& files, std::uint64_t blobSize,
                                 const std::string& blobHash) {
    return {{plan.name + ".h", ConsumerHeader(plan)},
            {plan.name + ".table.cpp", TableSource(plan, files, blobSize, blobHash)}};
}

}  // namespace library
