// Rewrites the identifiers of a generated header into valid and unique C
// and C++ identifiers, leaving module names, byte lists and the line format
// exactly as they were.
//
// An identifier is kept when it is already valid (ASCII letters, digits
// and "_"; no leading digit or "_", no "__", which C++ reserves; no
// keyword, and no name a standard header declares at global scope or
// defines as a macro) and none of the names it defines (the array and its
// "native_" descriptor) is defined by an earlier line pair. Any other is
// made valid (each other byte becomes "_" and a run of "_" one, a leading
// "_" gets "js" before it and a leading digit "js_", a keyword or a
// standard header's name "_" after it) and then unique: the first of base,
// base_2, base_3, ... (base2, ... when base ends in "_") whose names no
// earlier pair defines and no identifier that is kept defines. A header
// whose identifiers were all valid and unique comes out byte for byte the
// same.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace identifiers {

// Is `id` a valid C and C++ identifier that names no keyword?
bool IsValid(const std::string& id);

// Is `word` a C or C++ keyword (an alternative token too), or "main"?
bool IsReserved(std::string_view word);

// Does a standard C or C++ header of g++ 12, clang++ 14 or the MinGW g++
// 12 declare `word` at global scope or define it as a macro (`index`,
// `clone`, `errno`, `NULL`, `linux`)? Names of the reserved shapes are not
// asked about: IsValid refuses them by their shape.
bool IsSystemName(std::string_view word);

// `id` made valid, not yet unique.
std::string MakeValid(const std::string& id);

// The names that the identifiers of one header are given, in header order.
// Names are held as 64-bit hashes, so memory grows by a few words a script:
// a name whose hash is not held is surely free, and the rare name that only
// shares a hash with a taken one is passed over like a taken one.
class Namer {
public:
    // Notes an identifier as it stands in the header, before any is assigned.
    void Note(std::string_view id);
    // The identifier that `id`, the next one in header order, becomes.
    std::string Assign(std::string_view id);

private:
    static std::uint64_t Hash(std::string_view name);
    bool Free(const std::string& id) const;
    std::unordered_set<std::uint64_t> kept_;   // names defined by identifiers that stay
    std::unordered_set<std::uint64_t> taken_;  // names defined by pairs already assigned
};

// One identifier to change: where it stands in the array line, the new
// identifier, and where the descriptor line and its module name stand
// (offsets counted in the input; the name is copied from there).
struct Edit {
    long long idAt;
    std::size_t oldLength;
    std::string id;
    long long descriptorAt;
    std::size_t descriptorLength;
    std::size_t nameAt;  // in the descriptor line
    std::size_t nameLength;
};

// Reads the header in `in` and plans its rewriting: the edits in input
// order, none when every identifier stays. False, with `why` set, when
// `in` is not a generated header. Memory grows with the number of scripts
// (their identifiers and a few words each), never with their size.
bool Plan(std::FILE* in, std::vector<Edit>* edits, std::string* why);

// Writes the header in `in` (read from its start) to `out` with the edits
// made, copying what lies between them in large pieces. False when a read
// or a write fails.
bool Apply(std::FILE* in, std::FILE* out, const std::vector<Edit>& edits);

// Plan, then Apply from the start of `in`.
bool Rewrite(std::FILE* in, std::FILE* out, std::string* why);

}  // namespace identifiers
