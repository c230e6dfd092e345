// The names a library takes: the stem of its files and the C++
// namespace of its header, checked before anything is written.
#pragma once

#include <string>
#include <string_view>

namespace library {

// Is `ns` a namespace a library may use: C++ identifiers joined by "::",
// no keyword, no reserved identifier (a leading "_", any "__"), not the
// standard library's own, and no name the standard headers or the
// compilers define as a macro or declare at global scope (strchr, getpid,
// errno, NULL, linux)? When not, `why` (if given) says why.
bool ValidNamespace(std::string_view ns, std::string* why);

// Is `name` one a library's files may take as their stem: what CMake
// allows a target's name (letters, digits, "_", ".", "+", "-"), not a
// name of the folder itself, and no standard C or C++ header's name (in
// any case)? When not, `why` (if given) says why.
bool ValidLibraryName(std::string_view name, std::string* why);

}  // namespace library
