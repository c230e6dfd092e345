#include "tools/nativegen-build/library_sources.h"

#include <algorithm>
#include <numeric>

#include "tools/common/identifiers.h"

namespace library {
namespace {

// C and C++ keywords, and names the standard headers or the compilers
// define as macros: a namespace of any of these would not survive the
// preprocessor or the parser.
bool Forbidden(std::string_view word) {
    if (identifiers::IsReserved(word)) return true;
    static const char* const words[] = {
        "assert", "errno", "NULL", "EOF", "BUFSIZ", "FILENAME_MAX", "stdin", "stdout", "stderr", "offsetof",
        "setjmp", "va_arg", "va_copy", "va_end", "va_start", "linux", "unix", "i386", "MB_CUR_MAX", "RAND_MAX",
        "EXIT_SUCCESS", "EXIT_FAILURE", "CHAR_BIT", "INT_MAX", "SIZE_MAX", "EDOM", "ERANGE", "EILSEQ", "WEOF",
        "WCHAR_MIN", "WCHAR_MAX", "NDEBUG", "SEEK_SET", "SEEK_CUR", "SEEK_END", "EINVAL", "ENOENT", "ENOMEM",
        "EAGAIN", "EACCES", "EEXIST", "EINTR", "INT_MIN", "UINT_MAX", "LONG_MIN", "LONG_MAX", "CLOCKS_PER_SEC",
        "_WIN32", "_WIN64", "__linux__", "unix", "WIN32", "min", "max",
        // what the C library declares at global scope, which a namespace
        // of the same name there would clash with
        "index", "strlen", "time", "exit", "abort", "abs", "random", "rand", "remove", "rename", "free", "malloc",
        "calloc", "realloc", "read", "write", "open", "close", "printf", "puts", "signal", "select", "clock",
        "sqrt", "log", "div", "system", "getenv", "memcpy", "memset", "strcmp", "sleep", "kill", "wait"};
    for (const char* w : words)
        if (word == w) return true;
    return false;
}

bool Letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool Digit(char c) { return c >= '0' && c <= '9'; }

// Each component of `ns`, in order.
std::vector<std::string_view> Components(std::string_view ns) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        std::size_t next = ns.find("::", at);
        parts.push_back(ns.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at));
        if (next == std::string_view::npos) return parts;
        at = next + 2;
    }
}

// A 128-bit hash of `bytes` as 32 hex digits: two lanes over 8-byte words,
// each multiplied and folded. Not for security: it marks content.
std::string Hash(std::string_view bytes) {
    std::uint64_t a = 0x9e3779b97f4a7c15ull ^ bytes.size(), b = 0xc2b2ae3d27d4eb4full + bytes.size();
    auto mix = [](std::uint64_t h, std::uint64_t w, std::uint64_t k) {
        h = (h ^ w) * k;
        return h ^ (h >> 29);
    };
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t w = 0;
        for (int k = 7; k >= 0; --k) w = (w << 8) | static_cast<unsigned char>(bytes[i + k]);
        a = mix(a, w, 0xff51afd7ed558ccdull);
        b = mix(b, w ^ 0x5bd1e9955bd1e995ull, 0xc4ceb9fe1a85ec53ull);
    }
    std::uint64_t w = 0;
    for (std::size_t k = bytes.size(); k > i; --k) w = (w << 8) | static_cast<unsigned char>(bytes[k - 1]);
    a = mix(mix(a, w, 0xff51afd7ed558ccdull), b, 0x9e3779b97f4a7c15ull);
    b = mix(mix(b, w, 0xc4ceb9fe1a85ec53ull), a, 0xff51afd7ed558ccdull);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (std::uint64_t lane : {a, b})
        for (int shift = 60; shift >= 0; shift -= 4) out += hex[(lane >> shift) & 15];
    return out;
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
            char escape[4] = {'\\', static_cast<char>('0' + (u >> 6)), static_cast<char>('0' + ((u >> 3) & 7)),
                              static_cast<char>('0' + (u & 7))};
            out->append(escape, 4);
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
            out += '\\';
            out += static_cast<char>('0' + (u >> 6));
            out += static_cast<char>('0' + ((u >> 3) & 7));
            out += static_cast<char>('0' + (u & 7));
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Banner(const Plan& plan, const std::string& what) {
    return "// Generated by nativegen-build for the library " + plan.name + ": " + what + ". Do not edit.\n";
}

// ---- NAME.h ------------------------------------------------------------------------

// Depends on the name and the namespace alone: scripts never change it.
std::string ConsumerHeader(const Plan& plan) {
    const std::string& ns = plan.nameSpace;
    return Banner(plan, "the consumer header") +
           "//\n"
           "//   #include \"" + plan.name + ".h\"\n"
           "//\n"
           "//   const " + ns + "::entry* app = " + ns + "::find(\"app\");   // by module name; null when none\n"
           "//   for (const " + ns + "::entry& e : " + ns + "::all()) ...    // in the tree's order\n"
           "//\n"
           "// The entries are constant-initialised and live as long as the program:\n"
           "// they can be used from any static initialiser. This header names no\n"
           "// script, so it stays the same when the scripts change.\n"
           "#pragma once\n"
           "\n"
           "#include <cstddef>\n"
           "#include <string_view>\n"
           "\n"
           "namespace " + ns + " {\n"
           "\n"
           "// One script: its module name (the path below the tree, \"/\" between\n"
           "// parts, no \".js\"), its bytes (no terminating zero) and their count.\n"
           "struct entry {\n"
           "    const char* name;\n"
           "    const char* data;\n"
           "    ::std::size_t size;\n"
           "};\n"
           "\n"
           "// The entries in the tree's order: for (const entry& e : all()).\n"
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
           "\n"
           "// The entry whose module name is exactly `name`, the first in the tree's\n"
           "// order where names repeat; null when there is none.\n"
           "const entry* find(::std::string_view name) noexcept;\n"
           "inline const entry* find(const char* name) noexcept {\n"
           "    return name ? find(::std::string_view(name)) : nullptr;\n"
           "}\n"
           "\n"
           "// Every entry, in the tree's order.\n"
           "entries all() noexcept;\n"
           "\n"
           "// How many entries there are.\n"
           "::std::size_t count() noexcept;\n"
           "\n"
           "}  // namespace " + ns + "\n";
}

// ---- NAME.table.cpp ----------------------------------------------------------------

std::string TableSource(const Plan& plan, const std::vector<Script>& scripts, std::uint64_t blobSize) {
    const std::string symbol = BlobSymbol(plan);
    const std::string bound = std::to_string(blobSize + 1);
    std::string out = Banner(plan, "the entries and their index") + "#include \"" + plan.name + ".h\"\n\n";
    /* the assembler defines the blob under its own name: no prefix is added, but Mach-O's own */
    if (plan.format == DataFormat::Incbin)
        out += "#if defined(__APPLE__) && defined(__MACH__)\nextern \"C\" const char " + symbol + "[" + bound +
               "] __asm__(\"_" + symbol + "\");\n#else\nextern \"C\" const char " + symbol + "[" + bound +
               "] __asm__(\"" + symbol + "\");\n#endif\n\n";
    else
        out += "extern \"C\" const char " + symbol + "[" + bound + "];\n\n";

    // Invariant: `order` lists the entries by name, byte-wise, and among
    // equal names in the tree's order, so a search for the first not less
    // than a name lands on the first of its entries.
    std::vector<std::uint32_t> order(scripts.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t l, std::uint32_t r) { return scripts[l].name < scripts[r].name; });

    const std::string slots = std::to_string(scripts.empty() ? 1 : scripts.size());
    out += "namespace " + plan.nameSpace + " {\nnamespace {\n\n";
    out += "constexpr ::std::size_t kCount = " + std::to_string(scripts.size()) + ";\n\n";
    out += "// in the tree's order\nconstexpr entry kEntries[" + slots + "] = {\n";
    /* no script: one placeholder, as no array may be empty; kCount is 0 */
    if (scripts.empty()) out += "    {\"\", " + symbol + ", 0},\n";
    for (const Script& s : scripts) {
        out += "    {";
        out += Quoted(s.name);
        out += ", " + symbol + " + " + std::to_string(s.offset) + ", " + std::to_string(s.size) + "},\n";
    }
    out += "};\n\n// by name, then in the tree's order\nconstexpr unsigned kOrder[" + slots + "] = {";
    for (std::size_t i = 0; i < order.size(); ++i) out += (i % 16 ? " " : "\n    ") + std::to_string(order[i]) + ",";
    if (scripts.empty()) out += "0";
    out += "\n};\n\n}  // namespace\n\n";
    out += "const entry* find(::std::string_view name) noexcept {\n"
           "    ::std::size_t low = 0, high = kCount;\n"
           "    while (low < high) {\n"
           "        ::std::size_t mid = low + (high - low) / 2;\n"
           "        if (::std::string_view(kEntries[kOrder[mid]].name) < name)\n"
           "            low = mid + 1;\n"
           "        else\n"
           "            high = mid;\n"
           "    }\n"
           "    if (low < kCount && ::std::string_view(kEntries[kOrder[low]].name) == name) return &kEntries[kOrder[low]];\n"
           "    return nullptr;\n"
           "}\n\n"
           "entries all() noexcept { return entries(kEntries, kCount); }\n\n"
           "::std::size_t count() noexcept { return kCount; }\n\n";
    out += "}  // namespace " + plan.nameSpace + "\n";
    return out;
}

// ---- NAME.data.cpp: the blob through .incbin ---------------------------------------

std::string IncbinSource(const Plan& plan, std::string_view blob) {
    const std::string symbol = BlobSymbol(plan);
    const std::string file = AssemblerString(plan.blobPath);
    // one assembler line as a C++ literal piece
    auto line = [](const std::string& text) { return "    " + Quoted(text + "\n") + "\n"; };
    // the blob's size and hash inside the assembler text, where a cache of
    // preprocessed sources sees them too
    const std::string mark = line("/* blob: " + std::to_string(blob.size()) + " bytes, hash " + Hash(blob) + " */");
    std::string out = Banner(plan, "the scripts' bytes, from " + plan.name + ".bin") +
                      "// The assembler reads the blob into a read-only section under one symbol,\n"
                      "// followed by a zero byte; the compiler never sees the bytes.\n";
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
    out += ");\n#else\n#error \"no .incbin section for this object format: use the Msvc data format\"\n#endif\n";
    return out;
}

// ---- NAME.data.c: the blob as C string literals ------------------------------------

// C, not C++: an array exactly as long as its literal, without the zero,
// is valid C. Rows of kRowBytes bytes, each one concatenation of pieces
// of at most kPieceBytes, then a tail whose literal's own zero is the
// blob's closing zero, so no array is ever empty.
std::string MsvcSource(const Plan& plan, std::string_view blob) {
    const std::string symbol = BlobSymbol(plan);
    const std::size_t rows = blob.size() / kRowBytes;
    std::string out;
    out.reserve(blob.size() * 2 + 4096);
    out += "/* Generated by nativegen-build for the library " + plan.name + ": the scripts' bytes. Do not edit. */\n";
    out += "/* blob: " + std::to_string(blob.size()) + " bytes, hash " + Hash(blob) + " */\n";
    out += "/* rows fill their arrays exactly, without a terminating zero: valid C, and\n"
           "   no cause for that compiler's warning */\n";
    out += "#if defined(_MSC_VER)\n#pragma warning(disable : 4295)\n#endif\n\n";
    out += "struct " + symbol + "_rows {\n";
    if (rows > 0) out += "    char rows[" + std::to_string(rows) + "][" + std::to_string(kRowBytes) + "];\n";
    out += "    char tail[" + std::to_string(blob.size() - rows * kRowBytes + 1) + "];\n";
    out += "};\n";
    // declared before it is defined, as a symbol other files read
    out += "extern const struct " + symbol + "_rows " + symbol + ";\n";
    out += "const struct " + symbol + "_rows " + symbol + " = {\n";
    auto pieces = [&](std::string_view bytes, const char* indent) {
        if (bytes.empty()) out += indent, out += "\"\"\n";
        for (std::size_t at = 0; at < bytes.size(); at += kPieceBytes) {
            out += indent;
            out += '"';
            AppendEscaped(&out, bytes.substr(at, kPieceBytes));
            out += "\"\n";
        }
    };
    if (rows > 0) {
        out += "    {\n";
        for (std::size_t r = 0; r < rows; ++r) {
            pieces(blob.substr(r * kRowBytes, kRowBytes), "        ");
            out += "        ,\n";
        }
        out += "    },\n";
    }
    pieces(blob.substr(rows * kRowBytes), "    ");
    out += "};\n";
    return out;
}

}  // namespace

bool ValidNamespace(std::string_view ns, std::string* why) {
    auto fail = [&](std::string text) {
        if (why) *why = std::move(text);
        return false;
    };
    if (ns.empty()) return fail("the namespace is empty");
    std::vector<std::string_view> parts = Components(ns);
    for (std::string_view part : parts) {
        std::string quoted = Quoted(part);
        if (part.empty()) return fail(Quoted(ns) + " has an empty part");
        if (!Letter(part[0])) return fail(quoted + " does not start with a letter");
        if (!std::all_of(part.begin(), part.end(), [](char c) { return Letter(c) || Digit(c); }))
            return fail(quoted + " holds a character other than letters, digits and _");
        if (part[0] == '_' || part.find("__") != std::string_view::npos)
            return fail(quoted + " is reserved (a leading _ or a __)");
        if (Forbidden(part)) return fail(quoted + " is a keyword or a standard macro");
    }
    if (parts[0] == "std" || parts[0] == "posix") return fail(Quoted(parts[0]) + " is the standard library's");
    return true;
}

std::string BlobSymbol(const Plan& plan) {
    std::string symbol = "nativegen_blob_";
    for (char c : plan.name) {
        char d = Letter(c) || Digit(c) ? c : '_';
        if (!(d == '_' && symbol.back() == '_')) symbol += d;
    }
    if (symbol.back() != '_') symbol += '_';
    std::string key = plan.name;
    key += '\0';
    key += plan.nameSpace;
    return symbol + Hash(key).substr(0, 16);
}

bool BlobLimit(std::string_view target, std::uint64_t* limit) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    // x86-64 ELF: the large-data section lies past all other data (4.5 GiB
    // measured). Elsewhere the blob lies among the read-only data, between
    // code and what reaches code within 2 GiB (unwind tables, x86-64 data
    // references; one msvc object stays below 2 GiB besides), or a 32-bit
    // address space holds it all; the rest of the reach is the program's.
    // Invariant: "any" is the smallest.
    static const struct {
        std::string_view name;
        std::uint64_t limit;
    } limits[] = {
        {"elf-x86_64", 4608 * kMiB}, {"elf-aarch64", 1536 * kMiB},  {"elf", 1536 * kMiB},
        {"coff", 1536 * kMiB},       {"msvc", 1536 * kMiB},         {"macho-x86_64", 1536 * kMiB},
        {"macho-arm64", 1536 * kMiB}, {"any", 1536 * kMiB},
    };
    for (const auto& entry : limits) {
        if (entry.name != target) continue;
        *limit = entry.limit;
        return true;
    }
    return false;
}

std::vector<File> Sources(const Plan& plan, const std::vector<Script>& scripts, std::string_view blob) {
    std::vector<File> files;
    files.push_back({plan.name + ".h", ConsumerHeader(plan)});
    files.push_back({plan.name + ".table.cpp", TableSource(plan, scripts, blob.size())});
    if (plan.format == DataFormat::Incbin)
        files.push_back({plan.name + ".data.cpp", IncbinSource(plan, blob)});
    else
        files.push_back({plan.name + ".data.c", MsvcSource(plan, blob)});
    return files;
}

}  // namespace library
