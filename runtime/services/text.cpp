#include "runtime/services/text.h"

#include <cstring>

#include "platform/runtime/platform.h"

namespace {

// The buffer code's own heap handle, set on first need and then kept.
platform::HeapHandle bufferHeap = nullptr;

platform::HeapHandle BufferHeap() {
    if (!bufferHeap) bufferHeap = platform::ProcessHeap();
    return bufferHeap;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// n bytes equal, folding only the ASCII letters when not case-sensitive.
bool SameBytes(const char* a, const char* b, std::int32_t n, bool caseSensitive) {
    if (caseSensitive) return std::memcmp(a, b, static_cast<std::size_t>(n)) == 0;
    for (std::int32_t i = 0; i < n; ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

// Appends to a buffer whose growth a text operation cannot do without: a
// refusal is the out-of-memory report, never a text with a piece missing.
void MustAppend(GrowBuffer& buffer, const void* source, std::int32_t count) {
    if (!buffer.Append(source, count)) OutOfMemory();
}

}  // namespace

std::int32_t TextLength(TextValue text) { return text ? static_cast<std::int32_t>(std::strlen(text)) : 0; }

std::int32_t TextLength(int, const TypedArg& text) { return TextLength(text.AsText()); }

int CompareText(TextValue left, TextValue right) {
    if (!left) return (!right || !*right) ? 0 : -1;
    if (!right) return *left ? 1 : 0;
    auto* l = reinterpret_cast<const unsigned char*>(left);
    auto* r = reinterpret_cast<const unsigned char*>(right);
    for (;; ++l, ++r) {
        if (*l != *r) return *l < *r ? -1 : 1;
        if (!*l) return 0;
    }
}

TextValue ConcatText(std::initializer_list<TextValue> parts) {
    // every part measured once, before the one allocation
    constexpr std::size_t kMostParts = 16;
    std::size_t lengths[kMostParts];
    std::size_t total = 0, i = 0;
    for (TextValue part : parts) {
        std::size_t n = static_cast<std::size_t>(TextLength(part));
        if (i < kMostParts) lengths[i++] = n;
        total += n;
    }
    auto* out = static_cast<char*>(AllocZeroed(total + 1));  // zero-filled: the NUL is there
    char* at = out;
    i = 0;
    for (TextValue part : parts) {
        std::size_t n = i < kMostParts ? lengths[i++] : static_cast<std::size_t>(TextLength(part));
        if (n) std::memcpy(at, part, n);
        at += n;
    }
    return out;
}

TextValue RightText(int, const TypedArg* args) {
    TextValue text = args[0].AsText();
    std::int32_t len = TextLength(text);
    std::int32_t count = args[1].LowWord();
    if (len == 0 || count <= 0) return nullptr;
    std::int32_t start = count >= len ? 0 : len - count;
    return TextFromBytes(text + start, len - start);
}

TextValue ReplaceText(int, const TypedArg* args) {
    TextValue source = args[0].AsText();
    TextValue pattern = args[1].AsText();
    std::int32_t len = TextLength(source);
    std::int32_t plen = TextLength(pattern);
    if (len == 0) return nullptr;
    if (plen == 0 || plen > len) return CopyText(source);

    TextValue replacement = args[2].Present() ? args[2].AsText() : nullptr;
    std::int32_t rlen = TextLength(replacement);
    std::int32_t start = args[3].Present() ? args[3].LowWord() : 1;
    std::int32_t most = args[4].Present() ? args[4].LowWord() : 0x7FFFFFFF;
    bool caseSensitive = args[5].LowWord() != 0;
    if (start > len - plen + 1 || most <= 0 || start <= 0) return CopyText(source);

    GrowBuffer buffer;
    std::int32_t scan = start - 1;
    std::int32_t limit = len - plen + 1;  // first offset where no occurrence can begin
    std::int32_t segment = 0;              // start of the part not yet copied
    std::int32_t done = 0;
    while (scan < limit) {
        if (SameBytes(source + scan, pattern, plen, caseSensitive)) {
            MustAppend(buffer, source + segment, scan - segment);
            if (replacement) MustAppend(buffer, replacement, rlen);
            scan += plen;
            segment = scan;
            if (++done == most) break;
        } else {
            /* first byte of a two-byte character? step over both */
            scan += static_cast<unsigned char>(source[scan]) >= 0x80 ? 2 : 1;
        }
    }
    // the rest, terminator included; also when the two-byte step ran past
    // the terminator, so nothing after the last occurrence is dropped
    MustAppend(buffer, source + segment, len - segment + 1);
    TextValue result = TextFromBytes(buffer.data, buffer.length);
    buffer.Release();
    return result;
}

TextValue TextFromBytes(const void* source, std::int32_t count) {
    if (count < 1) return nullptr;
    auto* out = static_cast<char*>(AllocZeroed(static_cast<std::size_t>(count) + 1));
    std::memcpy(out, source, static_cast<std::size_t>(count));
    return out;
}

TextValue CopyText(TextValue text) {
    std::int32_t len = TextLength(text);
    return len == 0 ? nullptr : TextFromBytes(text, len);
}

std::int32_t LastSeparator(const char* path, std::int32_t length) {
    std::int32_t last = -1;
    for (std::int32_t i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(path[i]);
        if (c == '\\') last = i;
        else if (c >= 0x81 && c <= 0xFE) ++i;  // a lead byte: the next is its trail
    }
    return last;
}

GrowBuffer::~GrowBuffer() { Release(); }

unsigned char* GrowBuffer::SetLength(std::int32_t n) {
    if (n == 0) {
        Release();
        return nullptr;
    }
    if (n < 0 || n > 0x7FFFFFFF - kSlack) return nullptr;  // no such block can be held
    if (!data) {
        data = static_cast<unsigned char*>(platform::HeapTake(BufferHeap(), static_cast<std::size_t>(n) + kSlack, false));
        if (!data) {
            capacity = length = 0;
            return nullptr;
        }
        capacity = n + kSlack;
        length = n;
        return data;
    }
    /* still fits, with no more than the spare limit left over? */
    if (capacity >= n && capacity - n <= kSpareLimit) {
        length = n;
        return data;
    }
    void* grown = platform::HeapResize(BufferHeap(), data, static_cast<std::size_t>(n) + kSlack);
    if (!grown) return nullptr;
    data = static_cast<unsigned char*>(grown);
    capacity = n + kSlack;
    length = n;
    return data;
}

int GrowBuffer::Append(const void* source, std::int32_t count) {
    if (count <= 0) return 1;
    std::int32_t old = length;
    if (count > 0x7FFFFFFF - old) return 0;
    if (!SetLength(old + count)) return 0;
    if (source) std::memmove(data + old, source, static_cast<std::size_t>(count));
    else std::memset(data + old, 0, static_cast<std::size_t>(count));
    return 1;
}

void GrowBuffer::Release() {
    if (data) platform::HeapGive(BufferHeap(), data);
    data = nullptr;
    capacity = 0;
    length = 0;
}
