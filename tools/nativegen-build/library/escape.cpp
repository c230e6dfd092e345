#include "tools/nativegen-build/library/escape.h"

namespace library {
namespace {

// Appends the byte `u` as a three-digit octal escape, which no digit
// after it can extend (C and the GNU assembler read it alike).
void AppendOctal(std::string* out, unsigned char u) {
    char escape[4] = {'\\', static_cast<char>('0' + (u >> 6)), static_cast<char>('0' + ((u >> 3) & 7)),
                      static_cast<char>('0' + (u & 7))};
    out->append(escape, 4);
}

}  // namespace

void AppendEscaped(std::string* out, std::string_view bytes) {
    for (char c : bytes) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\' || c == '?') {
            *out += '\\';
            *out += c;
        } else if (c == '\n') {
            out->append("\\n", 2);
        } else if (u >= 0x20 && u < 0x7f) {
            *out += c;
        } else {
            AppendOctal(out, u);
        }
    }
}

std::string Quoted(std::string_view bytes) {
    std::string out = "\"";
    AppendEscaped(&out, bytes);
    return out + "\"";
}

std::string AssemblerString(std::string_view path) {
    std::string out = "\"";
    for (char c : path) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7f) {
            AppendOctal(&out, u);
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace library
