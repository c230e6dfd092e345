// NormaliseNumberText and ToInteger of random texts against a model: "／"
// and "＼" replaced on character boundaries (a byte of 0x80 or above starts
// a two-byte character), then the full-width forms made ASCII (as code
// page 936 reads it, where 0x80 stands alone), then leading white space, a
// sign and digits, saturating at the int32 bounds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/core/convert.h"

namespace {

std::string ReplaceSlashes(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        if (s.compare(i, 2, "\xa3\xaf") == 0 || s.compare(i, 2, "\xa3\xdc") == 0) {
            out += s[i + 1] == '\xaf' ? '/' : '\\';
            i += 2;
        } else if (static_cast<unsigned char>(s[i]) >= 0x80) {
            out += s.substr(i, 2);
            i += 2;
        } else {
            out += s[i++];
        }
    }
    return out;
}

std::string HalfWidth(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        auto next = i + 1 < s.size() ? static_cast<unsigned char>(s[i + 1]) : 0;
        if (c == 0xA3 && next >= 0xA1 && next <= 0xFE) {
            out += static_cast<char>(next - 0xA1 + 0x21);
            ++i;
        } else if (c == 0xA1 && next == 0xA1) {
            out += ' ';
            ++i;
        } else if (c >= 0x81 && next) {
            out += s.substr(i, 2);
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::int32_t Parse(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
    bool negative = i < s.size() && s[i] == '-';
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    long double value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) value = value * 10 + (s[i] - '0');
    if (negative) value = -value;
    if (value > 2147483647.0L) return 2147483647;
    if (value < -2147483648.0L) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // a text of digits, signs, spaces and full-width forms, without NULs
    std::string text;
    for (std::size_t i = 0; i < size; ++i)
        if (data[i]) text += static_cast<char>(data[i]);
    TextValue normal = NormaliseNumberText(text.c_str());
    std::string got = normal ? normal : "";
    if (got.size() > text.size()) std::abort();
    std::string expected = HalfWidth(ReplaceSlashes(text));
    if (got != expected) std::abort();
    ReleaseBlock(normal);
    if (ToInteger(1, TypedArg::Text(text.c_str())) != Parse(expected)) std::abort();
    return 0;
}
