// Rewrites the identifiers of a generated header into valid and unique C
// and C++ identifiers, leaving module names, byte lists and the line format
// exactly as they were.
//
// An identifier is kept when it is already valid (ASCII letters, digits
// and "_", no leading digit, no keyword) and none of the names it defines
// (the array and its "native_" descriptor) is defined by an earlier line
// pair. Any other is made valid (each other byte becomes "_", a leading
// digit gets "_" before it, a keyword "_" after it) and then unique: the
// first of base, base_2, base_3, ... whose names no earlier pair defines
// and no identifier that is kept defines. A header whose identifiers were
// all valid and unique comes out byte for byte the same.
#pragma once

#include <cstdio>
#include <string>
#include <unordered_set>

namespace identifiers {

// Is `id` a valid C and C++ identifier that names no keyword?
bool IsValid(const std::string& id);

// `id` made valid, not yet unique.
std::string MakeValid(const std::string& id);

// The names that the identifiers of one header are given, in header order.
class Namer {
public:
    // Notes an identifier as it stands in the header (the first pass).
    void Note(const std::string& id);
    // The identifier that `id`, the next one in header order, becomes.
    std::string Assign(const std::string& id);

private:
    bool Free(const std::string& id) const;
    std::unordered_set<std::string> kept_;   // names defined by identifiers that stay
    std::unordered_set<std::string> taken_;  // names defined by pairs already assigned
};

// Reads the header in `in` and writes it with its identifiers rewritten to
// `out`. `rewind` starts `in` again for the second pass. False, with `why`
// set, when `in` is not a generated header.
bool Rewrite(std::FILE* in, std::FILE* out, std::string* why);

}  // namespace identifiers
