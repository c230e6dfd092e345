// Bytes as the text of the sources a library writes: C string literals
// and the GNU assembler's strings.
#pragma once

#include <string>
#include <string_view>

namespace library {

// Appends `bytes` as the inside of a C string literal: printable ASCII as
// it is, '"', '\\', '?' (so no trigraph forms) and newline by their
// escapes, every other byte as a three-digit octal escape, which no digit
// after it can extend.
void AppendEscaped(std::string* out, std::string_view bytes);

// `bytes` as a whole C string literal, quotes included.
std::string Quoted(std::string_view bytes);

// `path` as a GNU assembler string: '"' and '\\' escaped, control bytes in
// octal, every other byte as it is.
std::string AssemblerString(std::string_view path);

}  // namespace library
