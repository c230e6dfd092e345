// What separates the parts of a tree path on this system.
#pragma once

namespace nativegen::detail {

// True for the characters a path's parts are separated by: '/' everywhere,
// and '\' on Windows.
bool is_separator(char c) noexcept;

}  // namespace nativegen::detail
