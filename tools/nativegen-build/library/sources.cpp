#include "tools/nativegen-build/library/sources.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "include/nativegen/library_table.h"
#include "tools/nativegen-build/cli/outputs.h"
#include "tools/nativegen-build/library/blob.h"
#include "tools/nativegen-build/library/escape.h"
#include "tools/nativegen-build/library/packages.h"

namespace library {
namespace {

std::string Banner(const Plan& plan, const std::string& what) {
    return "//" + GeneratedMark(plan.name) + " " + what + ". Do not edit.\n";
}

// ---- NAME.h ------------------------------------------------------------------------

// Depends on the name, the namespace and the form alone: the files never
// change it. The namespace's functions are the library value's, by name.
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
                "//   for (const " + ns + "::entry& e : " + ns + "::all()) ...    // in the tree's order\n"
                "//   for (std::string_view name : " + ns + "::list(\"lib\")) ...   // \"fs\", \"sub/\"\n") +
           "//   const nativegen::library& lib = " + ns + "::library();       // the same, as a value\n"
           "//\n"
           "// The entries are constant-initialised and live as long as the program:\n"
           "// they can be used from any static initialiser. This header names no\n" +
           (p ? "// file, so it stays the same when the files change.\n"
              : "// script, so it stays the same when the scripts change.\n") +
           "#pragma once\n"
           "\n"
           "#include <nativegen/library.h>\n"
           "\n"
           "namespace " + ns + " {\n"
           "\n"
           "using entry = ::nativegen::entry;\n"
           "using entries = ::nativegen::entries;\n"
           "using names = ::nativegen::names;\n"
           "\n"
           "namespace detail {\n"
           "// the entries and their indexes, in " + plan.name + ".table.cpp\n"
           "extern const ::nativegen::detail::table table;\n"
           "inline constexpr ::nativegen::library value{table};\n"
           "}  // namespace detail\n"
           "\n"
           "// This library as a value, constant-initialised.\n"
           "inline const ::nativegen::library& library() noexcept { return detail::value; }\n"
           "\n" +
           (p ? "// The entry of exactly that path; null when there is none.\n"
              : "// The entry of exactly that module name, the first in the tree's order\n"
                "// where names repeat; null when there is none.\n") +
           "inline const entry* find(::std::string_view name) noexcept { return library().find(name); }\n"
           "inline const entry* find(const char* name) noexcept { return library().find(name); }\n"
           "inline const entry* find(const char* name, ::std::size_t size) noexcept { return library().find(name, size); }\n"
           "\n" +
           (p ? "// Every entry, in byte order of their names; how many there are.\n"
              : "// Every entry, in the tree's order; how many there are.\n") +
           "inline entries all() noexcept { return library().all(); }\n"
           "inline ::std::size_t count() noexcept { return library().count(); }\n"
           "\n"
           "// Writes the bytes of `e` (one of all()'s entries itself, not a copy) into\n"
           "// `buffer`, exactly e.size of them: false when `e` is no entry of this\n"
           "// library or its stored bytes are damaged.\n"
           "inline bool read(const entry& e, void* buffer) noexcept { return library().read(e, buffer); }\n"
           "\n"
           "// What a folder holds directly, in byte order (\"\" the root; \"lib\" and\n"
           "// \"lib/\" are one folder); empty for any other path.\n"
           "inline names list(::std::string_view folder) noexcept { return library().list(folder); }\n"
           "inline names list(const char* folder) noexcept { return library().list(folder); }\n"
           "\n"
           "// A file, a folder (the root always) or none; a file where a name is both.\n"
           "inline ::nativegen::kind kind(::std::string_view path) noexcept { return library().kind(path); }\n"
           "inline ::nativegen::kind kind(const char* path) noexcept { return library().kind(path); }\n"
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

// The folders: every folder that holds an entry at any depth (its path
// without a closing "/"; "" the root, always there) by path in byte
// order, and what each holds directly, in byte order, folders with a "/"
// after their name; the arrays kNames and kFolders, and their counts in
// `names` and `folders`. A module name that is a folder's too is listed
// twice, as itself and with its "/".
std::string FolderTables(const std::vector<Script>& files, std::size_t* names, std::size_t* folders) {
    std::map<std::string, std::set<std::string>> inside{{"", {}}};
    for (const Script& f : files) {
        for (std::size_t start = 0, slash; (slash = f.name.find('/', start)) != std::string::npos; start = slash + 1)
            inside[f.name.substr(0, start == 0 ? 0 : start - 1)].insert(f.name.substr(start, slash + 1 - start));
        std::size_t last = f.name.rfind('/');
        inside[last == std::string::npos ? "" : f.name.substr(0, last)].insert(
            f.name.substr(last == std::string::npos ? 0 : last + 1));
    }
    std::string text, table;
    std::size_t count = 0;
    for (const auto& [path, held] : inside) {
        table += "    {" + StoredOf(path) + ", " + std::to_string(count) + ", " + std::to_string(held.size()) + "},\n";
        for (const std::string& name : held) text += "    " + StoredOf(name) + ",\n";
        count += held.size();
    }
    *names = count;
    *folders = inside.size();
    /* no entry: one placeholder, as no array may be empty */
    if (count == 0) text += "    {\"\", 0},\n";
    return "// what each folder holds directly, folder after folder\n"
           "constexpr ::nativegen::detail::name kNames[" + std::to_string(count ? count : 1) + "] = {\n" + text +
           "};\n\n// by path, in byte order\n"
           "constexpr ::nativegen::detail::folder kFolders[" + std::to_string(inside.size()) + "] = {\n" + table +
           "};\n\n";
}

// find()'s index: open addressing over a power of two of slots, at least
// twice the entries, probed one after another from a name's hash; its
// array kSlots, and their count in `slotCount`. A slot holds an entry's
// place plus one (0: empty), its name's length and the hash's upper half.
// Invariant: among equal names only the first in the entries' order is
// put in, so a lookup finds that one, and a probe always meets an empty slot.
std::string HashTable(const std::vector<Script>& scripts, std::size_t* slotCount) {
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
        std::uint64_t h = nativegen::detail::hash(name.data(), name.size());
        std::size_t i = h & (count - 1);
        while (slots[i].place != 0) i = (i + 1) & (count - 1);
        slots[i] = {static_cast<std::uint32_t>(k + 1), static_cast<std::uint32_t>(name.size()),
                    static_cast<std::uint32_t>(h >> 32)};
    }
    *slotCount = count;
    std::string out = "// find()'s index: places (plus one) by the names' hashes\n"
                      "constexpr ::nativegen::detail::slot kSlots[" + std::to_string(count) + "] = {";
    for (std::size_t i = 0; i < count; ++i) {
        out += i % 8 ? " " : "\n    ";
        out += slots[i].place == 0 ? std::string("{},")
                                   : "{" + std::to_string(slots[i].place) + ", " + std::to_string(slots[i].length) +
                                         ", " + std::to_string(slots[i].tag) + "u},";
    }
    return out + "\n};\n\n";
}

// A compressed library's frames: each entry's zstd frame in the blob and
// its length, in the entries' order; null for one stored as it is.
std::string FrameTable(const std::vector<Script>& scripts, const std::string& symbol) {
    std::string out = "// beside kEntries, one for one\n"
                      "constexpr ::nativegen::detail::frame kFrames[" +
                      std::to_string(scripts.empty() ? 1 : scripts.size()) + "] = {\n";
    if (scripts.empty()) out += "    {nullptr, 0},\n";
    for (const Script& s : scripts)
        out += s.compressed ? "    {" + symbol + " + " + std::to_string(s.offset) + ", " + std::to_string(s.size) + "},\n"
                            : std::string("    {nullptr, 0},\n");
    return out + "};\n\n";
}

// The entries, their indexes and (Incbin) the blob, whose hash is
// `blobHash`: constant-initialised data alone, one table object in the
// library's namespace that <nativegen/library.h> reads.
std::string TableSource(const Plan& plan, const std::vector<Script>& scripts, std::uint64_t blobSize,
                        const std::string& blobHash) {
    const std::string symbol = BlobSymbol(plan, scripts, blobSize);
    const std::string bound = std::to_string(blobSize + 1);
    const bool incbin = plan.format == DataFormat::Incbin;
    std::string out = Banner(plan, incbin ? "the entries, their index and their bytes" : "the entries and their index") +
                      "#include <nativegen/library_table.h>\n";
    // what decompresses: its address goes in the table
    if (plan.compress) out += "#include <nativegen/library_zstd.h>\n";
    out += "\n";
    /* the assembler defines the blob under its own name: no prefix is added, but Mach-O's own */
    if (incbin)
        out += IncbinBlock(plan, symbol, blobSize, blobHash) + "#if defined(__APPLE__) && defined(__MACH__)\n" +
               "extern \"C\" const char " + symbol + "[" + bound + "] __asm__(\"_" + symbol + "\");\n#else\n" +
               "extern \"C\" const char " + symbol + "[" + bound + "] __asm__(\"" + symbol + "\");\n#endif\n\n";
    else
        out += "extern \"C\" const char " + symbol + "[" + bound + "];\n\n";

    const std::string slots = std::to_string(scripts.empty() ? 1 : scripts.size());
    out += "namespace " + plan.nameSpace + " {\nnamespace detail {\n\n"
           "extern const ::nativegen::detail::table table;\n\nnamespace {\n\n";
    out += std::string(plan.package ? "// in byte order of their names\n" : "// in the tree's order\n") +
           "constexpr ::nativegen::entry kEntries[" + slots + "] = {\n";
    /* no entry: one placeholder, as no array may be empty; the count is 0 */
    if (scripts.empty()) out += "    {\"\", " + symbol + ", 0},\n";
    for (const Script& s : scripts) {
        out += "    {";
        out += Quoted(s.name);
        if (s.compressed)
            out += ", nullptr, " + std::to_string(s.length) + "},\n";
        else
            out += ", " + symbol + " + " + std::to_string(s.offset) + ", " + std::to_string(s.size) + "},\n";
    }
    std::size_t slotCount = 0, names = 0, folders = 0;
    out += "};\n\n" + HashTable(scripts, &slotCount) + FolderTables(scripts, &names, &folders);
    if (plan.compress) out += FrameTable(scripts, symbol);
    static const std::vector<PackageJson> none;
    const std::vector<PackageJson>& packages = plan.packages ? *plan.packages : none;
    out += PackageTables(packages) + "}  // namespace\n\n";
    out += "constexpr ::nativegen::detail::table table = {\n"
           "    kEntries, " + std::to_string(scripts.size()) + ", kSlots, " + std::to_string(slotCount) +
           ", kFolders, " + std::to_string(folders) + ", kNames, " + std::to_string(names) + ",\n" +
           (plan.compress ? "    kFrames, &::nativegen::detail::zstd_read,\n" : "    nullptr, nullptr,\n") +
           "    " + PackageFields(packages, plan.source) + ",\n};\n\n";
    out += "}  // namespace detail\n}  // namespace " + plan.nameSpace + "\n";
    return out;
}

}  // namespace

std::string GeneratedMark(const std::string& name) {
    return " Generated by " + std::string(frontend::kProgram) + " for the library " + name + ":";
}

std::vector<File> StreamedSources(const Plan& plan, const std::vector<Script>& files, std::uint64_t blobSize,
                                 const std::string& blobHash) {
    return {{plan.name + ".h", ConsumerHeader(plan)},
            {plan.name + ".table.cpp", TableSource(plan, files, blobSize, blobHash)}};
}

}  // namespace library
