// What separates the parts of a tree path on Windows: '/' and '\'.
#include "separators.h"

namespace nativegen::detail {

bool is_separator(char c) noexcept { return c == '/' || c == '\\'; }

}  // namespace nativegen::detail
