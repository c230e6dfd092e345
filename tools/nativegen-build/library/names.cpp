// The names a library may take: its files' stem and its namespace.
#include "tools/nativegen-build/library/names.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "tools/common/identifiers.h"

namespace library {
namespace {

// C and C++ keywords, and names the standard headers or the compilers
// define as macros or declare at global scope (the generated list of
// system names): a namespace of any of these would not survive the
// preprocessor or the parser beside those headers. (The consumer's own
// compiler is asked about its headers when CMake configures; this is what
// the front end run alone refuses.)
bool Forbidden(std::string_view word) {
    if (identifiers::IsReserved(word) || identifiers::IsSystemName(word)) return true;
    // What the generated list, made from the standard headers alone, does
    // not hold: <windows.h> defines min and max as macros unless told not
    // to, and POSIX headers a consumer includes declare open (<fcntl.h>)
    // and wait (<sys/wait.h>) at global scope.
    static const char* const words[] = {"min", "max", "open", "wait"};
    for (const char* w : words)
        if (word == w) return true;
    return false;
}

// The standard C headers (through C23) and C++ headers (through C++20) by
// name: a library's NAME.h on a consumer's include path must not hide one.
bool StandardHeader(std::string_view name) {
    static const char* const headers[] = {
        "assert", "complex", "ctype", "errno", "fenv", "float", "inttypes", "iso646", "limits", "locale", "math",
        "setjmp", "signal", "stdalign", "stdarg", "stdatomic", "stdbit", "stdbool", "stdckdint", "stddef",
        "stdint", "stdio", "stdlib", "stdnoreturn", "string", "tgmath", "threads", "time", "uchar", "wchar",
        "wctype"};
    static const char* const cxx[] = {
        "algorithm", "any", "array", "atomic", "barrier", "bit", "bitset", "charconv", "chrono",
        "codecvt", "compare", "concepts", "condition_variable", "coroutine", "deque", "exception", "execution",
        "filesystem", "format", "forward_list", "fstream", "functional", "future", "initializer_list", "iomanip",
        "ios", "iosfwd", "iostream", "istream", "iterator", "latch", "list", "map", "memory", "memory_resource",
        "mutex", "new", "numbers", "numeric", "optional", "ostream", "queue", "random", "ranges", "ratio", "regex",
        "scoped_allocator", "semaphore", "set", "shared_mutex", "source_location", "span", "sstream", "stack",
        "stdexcept", "stop_token", "streambuf", "string_view", "strstream", "syncstream", "system_error", "thread",
        "tuple", "type_traits", "typeindex", "typeinfo", "unordered_map", "unordered_set", "utility", "valarray",
        "variant", "vector", "version"};
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    for (const char* h : headers)  // <stdio.h> and <cstdio>
        if (lower == h || lower == "c" + std::string(h)) return true;
    for (const char* h : cxx)
        if (lower == h) return true;
    return false;
}

// Is `stem` a name Windows gives a device, whatever follows it (CON,
// PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, in any case)?
bool DeviceName(std::string_view stem) {
    std::string upper(stem);
    for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '1' &&
           upper[3] <= '9';
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

// `text` in double quotes, as a message shows it.
std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

bool ValidNamespace(std::string_view ns, std::string* why) {
    auto fail = [&](std::string text) {
        if (why) *why = std::move(text);
        return false;
    };
    if (ns.empty()) return fail("the namespace is empty");
    std::vector<std::string_view> parts = Components(ns);
    // the standard reserves std and posix at global scope, with all they
    // hold (posix is no name a header declares, so the list lacks it)
    if (parts[0] == "std" || parts[0] == "posix") return fail(Quoted(parts[0]) + " is the standard library's");
    // every library's header names the types of <nativegen/library.h>
    if (parts[0] == "nativegen") return fail("\"nativegen\" is the consumer headers' own");
    // std followed by digits is reserved for the standard's later versions
    if (parts[0].size() > 3 && parts[0].starts_with("std") &&
        std::all_of(parts[0].begin() + 3, parts[0].end(), Digit))
        return fail(Quoted(parts[0]) + " is reserved for the standard library");
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::string_view part = parts[i];
        std::string quoted = Quoted(part);
        if (part.empty()) return fail(Quoted(ns) + " has an empty part");
        if (!Letter(part[0])) return fail(quoted + " does not start with a letter");
        if (!std::all_of(part.begin(), part.end(), [](char c) { return Letter(c) || Digit(c); }))
            return fail(quoted + " holds a character other than letters, digits and _");
        if (part[0] == '_' || part.find("__") != std::string_view::npos)
            return fail(quoted + " is reserved (a leading _ or a __)");
        // what the table's own headers define: <zstd.h> (a compressed
        // library's) and the table's macros
        if (part.starts_with("ZSTD") || part.starts_with("NATIVEGEN_"))
            return fail(quoted + " is a name <zstd.h> or the table itself defines (ZSTD..., NATIVEGEN_...)");
        // a nested std is no global name: the header names ::std throughout
        if ((i == 0 || part != "std") && Forbidden(part))
            return fail(quoted + " is a keyword, a standard macro or a name the C library declares");
    }
    return true;
}

bool ValidLibraryName(std::string_view name, std::string* why) {
    auto fail = [&](std::string text) {
        if (why) *why = std::move(text);
        return false;
    };
    if (name.empty() || name == "." || name == "..")
        return fail("a name of its folder, not of a file");
    for (char c : name)
        if (!Letter(c) && !Digit(c) && !std::strchr(".+-", c))
            return fail("letters, digits, \"_\", \".\", \"+\" and \"-\" only");
    if (DeviceName(name.substr(0, name.find('.'))))
        return fail(std::string(name) + ".h cannot be a file on Windows: " +
                    std::string(name.substr(0, name.find('.'))) + " is a device name there");
    if (StandardHeader(name))
        return fail(std::string(name) + ".h would hide the standard header <" + std::string(name) +
                    ".h> or <" + std::string(name) + "> from every consumer");
    return true;
}

}  // namespace library
