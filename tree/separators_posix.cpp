// What separates the parts of a tree path on a POSIX system: '/' alone.
#include "separators.h"

namespace nativegen::detail {

bool is_separator(char c) noexcept { return c == '/'; }

bool has_other_separator(std::string_view) noexcept { return false; }

}  // namespace nativegen::detail
