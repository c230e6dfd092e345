// What separates the parts of a tree path on this system.
#pragma once

#include <string_view>

namespace nativegen::detail {

// True for the characters a path's parts are separated by: '/' everywhere,
// and '\' on Windows.
bool is_separator(char c) noexcept;

// True when `path` holds a separator other than '/' (only ever on
// Windows): such a path is not in normal form.
bool has_other_separator(std::string_view path) noexcept;

}  // namespace nativegen::detail
