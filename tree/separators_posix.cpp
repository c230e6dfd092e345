// What separates the parts of a tree path on a POSIX system: '/' alone.
#include "separators.h"

namespace nativegen::detail {

bool is_separator(char c) noexcept { return c == '/'; }

}  // namespace nativegen::detail
