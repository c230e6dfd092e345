// What separates the parts of a tree path on Windows: '/' and '\'.
#include "separators.h"

namespace nativegen::detail {

bool is_separator(char c) noexcept { return c == '/' || c == '\\'; }

bool has_other_separator(std::string_view path) noexcept { return path.find('\\') != std::string_view::npos; }

}  // namespace nativegen::detail
