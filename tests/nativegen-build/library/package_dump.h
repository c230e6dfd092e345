// A package.json's fields as one line of text, for a library's table and a reading of the same bytes to be compared.
//
// C++17 and header-only: the consumers the tests compile include it too.
#pragma once

#include <string>

#include <nativegen/library_table.h>

namespace test {

// `n` as "LENGTH:BYTES", or "-" for a null text.
inline std::string DumpName(const nativegen::detail::name& n) {
    return n.text ? std::to_string(n.size) + ":" + std::string(n.text, n.size) : std::string("-");
}

// The value `values[at]` and what it holds, walked through its indexes:
// null, "s" and the string, "#" for a number or boolean, [..] and {k=v,..};
// "!" where an index points outside the `size` values or a key is no string.
inline std::string DumpValue(const nativegen::detail::value* values, std::size_t size, int at) {
    if (at < 0) return "-";
    if (static_cast<std::size_t>(at) >= size) return "!";
    const nativegen::detail::value& v = values[at];
    switch (v.type) {
        case nativegen::detail::null_value: return "null";
        case nativegen::detail::string_value: return "s" + DumpName(v.text);
        case nativegen::detail::other_value: return "#";
        default: break;
    }
    const bool object = v.type == nativegen::detail::object_value;
    if (std::size_t{v.first} + v.count > size || (object && v.count % 2)) return "!";
    std::string out = object ? "{" : "[";
    for (unsigned k = 0; k < v.count; k += object ? 2 : 1) {
        if (k) out += ",";
        if (object) {
            const nativegen::detail::value& key = values[v.first + k];
            out += key.type == nativegen::detail::string_value ? DumpName(key.text) : std::string("!");
            out += "=" + DumpValue(values, size, static_cast<int>(v.first + k + 1));
        } else {
            out += DumpValue(values, size, static_cast<int>(v.first + k));
        }
    }
    return out + (object ? "}" : "]");
}

// One package.json whose values array holds `size` values, as one line.
inline std::string DumpPackage(const nativegen::detail::package& p, std::size_t size) {
    return "folder=" + DumpName(p.folder) + " valid=" + std::to_string(p.valid) + " type=" + std::to_string(p.type) +
           " name=" + DumpName(p.package_name) + " main=" + DumpName(p.main) +
           " exports=" + DumpValue(p.values, size, p.exports) + " imports=" + DumpValue(p.values, size, p.imports) +
           "\n";
}

}  // namespace test
