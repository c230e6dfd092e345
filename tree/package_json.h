// A package.json read from its bytes into the fields resolution reads.
//
// The one reading of package.json: the front end prints what it gives into
// a library's table, and the tree gives it for folders on disk.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include <nativegen/library_table.h>

namespace nativegen::detail {

// A package.json's fields with the bytes and values they point at, owned
// here. Moving one keeps every pointer view() gives (a deque's strings
// and a vector's buffer move whole); a copy would point at the original's
// strings, so there is none (a vector of them then moves them as it grows:
// a deque's move may throw, and a vector copies what it can rather).
struct package_json {
    package_json() = default;
    package_json(package_json&&) = default;
    package_json& operator=(package_json&&) = default;
    package_json(const package_json&) = delete;
    package_json& operator=(const package_json&) = delete;

    std::string folder;
    bool valid = false;
    std::string error;  // why it is not valid JSON, when it is not
    package_type type = type_none;
    bool has_name = false, has_main = false;
    std::string package_name, main;
    int exports = -1, imports = -1;
    std::vector<value> values;       // "exports" and "imports", flattened
    std::deque<std::string> texts;   // the strings values point at

    // A package over this; valid while this lives unchanged.
    package view() const noexcept;
};

// Reads the package.json `bytes` of the folder `folder` (as resolution
// names it: below a library's root, or a tree path). Never throws for
// bad JSON: the result is then not valid and says why. A document that is
// not an object is valid and has none of the fields.
package_json read_package_json(std::string folder, std::string_view bytes);

}  // namespace nativegen::detail
