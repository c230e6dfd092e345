// ReplaceText against a deliberately simple model on std::string.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "runtime/services/text.h"

namespace {

bool Same(const std::string& a, std::size_t at, const std::string& b, bool caseSensitive) {
    for (std::size_t i = 0; i < b.size(); ++i) {
        char x = a[at + i], y = b[i];
        if (!caseSensitive) {
            if (x >= 'A' && x <= 'Z') x += 32;
            if (y >= 'A' && y <= 'Z') y += 32;
        }
        if (x != y) return false;
    }
    return true;
}

// nullopt: a null result.
std::optional<std::string> Model(const std::string& s, const std::string& p, const std::optional<std::string>& r,
                                 std::int64_t start, std::int64_t most, bool caseSensitive) {
    std::int64_t len = static_cast<std::int64_t>(s.size()), plen = static_cast<std::int64_t>(p.size());
    if (len == 0) return std::nullopt;
    if (plen == 0 || plen > len) return s;
    if (start > len - plen + 1 || most <= 0 || start <= 0) return s;
    std::string out;
    std::int64_t i = start - 1, segment = 0, done = 0;
    while (i <= len - plen) {
        if (Same(s, static_cast<std::size_t>(i), p, caseSensitive)) {
            out += s.substr(static_cast<std::size_t>(segment), static_cast<std::size_t>(i - segment));
            if (r) out += *r;
            i += plen;
            segment = i;
            if (++done == most) break;
        } else {
            i += static_cast<unsigned char>(s[static_cast<std::size_t>(i)]) >= 0x80 ? 2 : 1;
        }
    }
    return out + s.substr(static_cast<std::size_t>(segment));
}

// Takes a text of up to `max` non-NUL bytes from the input, NUL-separated.
std::string Take(const std::uint8_t*& data, std::size_t& size) {
    std::string out;
    while (size > 0 && *data != 0) {
        out += static_cast<char>(*data++);
        --size;
    }
    if (size > 0) {
        ++data;
        --size;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::uint8_t flags = data[0];
    auto start = static_cast<std::int8_t>(data[1]);
    auto most = static_cast<std::int8_t>(data[2]);
    data += 3;
    size -= 3;
    std::string source = Take(data, size), pattern = Take(data, size), replacement = Take(data, size);
    bool hasReplacement = flags & 1, hasStart = flags & 2, hasMost = flags & 4, caseSensitive = flags & 8;

    TypedArg args[6] = {TypedArg::Text(source.c_str()),
                        TypedArg::Text(pattern.c_str()),
                        hasReplacement ? TypedArg::Text(replacement.c_str()) : TypedArg::Omit(),
                        hasStart ? TypedArg::Int(start) : TypedArg::Omit(),
                        hasMost ? TypedArg::Int(most) : TypedArg::Omit(),
                        TypedArg::Bool(caseSensitive)};
    TextValue got = ReplaceText(6, args);
    auto expected = Model(source, pattern, hasReplacement ? std::optional<std::string>(replacement) : std::nullopt,
                          hasStart ? start : 1, hasMost ? most : 0x7FFFFFFF, caseSensitive);
    // a copy or an empty scan result may be null only where the model says so,
    // or where the text is empty anyway
    std::string gotText = got ? got : "";
    bool same = expected ? gotText == *expected && (got || expected->empty()) : got == nullptr;
    if (!same) std::abort();
    ReleaseBlock(got);
    return 0;
}
