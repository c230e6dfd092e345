#include "runtime/core/convert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/runtime/platform.h"
#include "runtime/core/datetime.h"
#include "runtime/services/text.h"

namespace {

// Fixed texts, in code page 936.
const char kTrue[] = "\xd5\xe6";        // "真"
const char kFalse[] = "\xbc\xd9";       // "假"
const char kFullSolidus[] = "\xa3\xaf"; // "／"
const char kFullReverse[] = "\xa3\xdc"; // "＼"

constexpr std::uint32_t kArrayFlag = static_cast<std::uint32_t>(TypeTag::ArrayFlag);

std::uint32_t TagBits(TypeTag tag) { return static_cast<std::uint32_t>(tag); }

// Built-in: the two top bits are 1 and 0.
bool IsBuiltIn(std::uint32_t tag) { return (tag & 0xC0000000u) == 0x80000000u; }

// Numeric: built-in with the low byte 0x01.
bool IsNumeric(std::uint32_t tag) { return IsBuiltIn(tag) && (tag & 0xFF) == 0x01; }

// Element width of an array for ToBytes, 0 when it yields nothing.
std::int32_t BytesWidth(TypeTag element) {
    switch (element) {
    case TypeTag::Byte: return 1;
    case TypeTag::Short: return 2;
    case TypeTag::Int: case TypeTag::Float: return 4;
    case TypeTag::Long: case TypeTag::Double: return 8;
    default: return 0;
    }
}

// Element width of an array for ToText, 0 when it yields nothing.
std::int32_t TextWidth(TypeTag element) {
    switch (element) {
    case TypeTag::Byte: return 1;
    case TypeTag::Short: return 2;
    case TypeTag::Int: case TypeTag::SubroutinePtr: return 4;
    case TypeTag::Long: return 8;
    default: return 0;
    }
}

// Scratch blocks of the number normalisation come from malloc; running out
// is the same report as for the runtime's own blocks.
void* ScratchZeroed(std::size_t size) {
    void* p = std::calloc(1, size);
    if (!p) OutOfMemory();
    return p;
}

// Decimal text of n into the area; answers its length.
int WriteDecimal(char* area, std::int64_t n) {
    auto done = std::to_chars(area, area + kWorkAreaSize - 1, n);
    *done.ptr = '\0';
    return static_cast<int>(done.ptr - area);
}

// Fixed-point text of x with six decimals, correctly rounded and the same
// in every locale, then trimmed, as a new text. The largest double needs
// 317 bytes, more than the work area holds, so the text is made in a
// buffer of its own size.
TextValue RealText(double x) {
    if (std::isnan(x)) return CopyText("nan");
    if (std::isinf(x)) return CopyText(x < 0 ? "-inf" : "inf");
    char text[400];
    auto done = std::to_chars(text, text + sizeof text - 1, x, std::chars_format::fixed, 6);
    *done.ptr = '\0';
    TrimRealText(text);
    return CopyText(text);
}

}  // namespace

std::int64_t TruncateToInteger(double x) {
    constexpr double kTwo63 = 9223372036854775808.0;
    if (std::isnan(x) || x >= kTwo63 || x < -kTwo63) return INT64_MIN;
    return static_cast<std::int64_t>(x);  // toward zero
}

std::int32_t ParseNumberText(TextValue text) {
    if (!text) return 0;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = 2147483648LL;  // magnitude of the int32 minimum
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > kLimit) value = kLimit;  // saturate, and keep reading digits
    }
    if (negative) return static_cast<std::int32_t>(-value);
    return static_cast<std::int32_t>(value > 2147483647LL ? 2147483647LL : value);
}

int ReplaceAll(const char** text, const char* find, const char* replacement, bool releaseOld) {
    const char* source = *text;
    std::size_t len = std::strlen(source);
    std::size_t flen = std::strlen(find);
    std::size_t rlen = std::strlen(replacement);
    GrowBuffer buffer;
    std::size_t segment = 0, scan = 0;
    int count = 0;
    while (scan < len) {
        if (std::strncmp(source + scan, find, flen) == 0) {
            if (!buffer.Append(source + segment, static_cast<std::int32_t>(scan - segment)) ||
                !buffer.Append(replacement, static_cast<std::int32_t>(rlen)))
                OutOfMemory();
            scan += flen;
            segment = scan;
            ++count;
        } else {
            /* first byte of a two-byte character? */
            scan += static_cast<unsigned char>(source[scan]) >= 0x80 ? 2 : 1;
        }
    }
    if (count == 0) return 0;
    // the rest through its NUL; a lone lead byte at the end is kept whole
    if (!buffer.Append(source + segment, static_cast<std::int32_t>(len - segment + 1))) OutOfMemory();
    auto* replaced = static_cast<char*>(ScratchZeroed(len + 1));
    std::memcpy(replaced, buffer.data, std::min<std::size_t>(len + 1, static_cast<std::size_t>(buffer.length)));
    buffer.Release();
    if (releaseOld) std::free(const_cast<char*>(source));
    *text = replaced;
    return 1;
}

TextValue NormaliseNumberText(TextValue text) {
    if (TextLength(text) == 0) return nullptr;
    const char* work = text;
    int first = ReplaceAll(&work, kFullSolidus, "/", false);
    int second = ReplaceAll(&work, kFullReverse, "\\", first != 0);
    int len = static_cast<int>(std::strlen(work));
    auto* scratch = static_cast<char*>(ScratchZeroed(static_cast<std::size_t>(len) + 1));
    platform::MapHalfWidth(work, len, scratch, len + 1);
    scratch[len] = '\0';  // the mapping never lengthens the text; keep it terminated regardless
    if (first || second) std::free(const_cast<char*>(work));  // never the caller's own text
    TextValue result = TextFromBytes(scratch, static_cast<std::int32_t>(std::strlen(scratch)));
    std::free(scratch);
    return result;
}

std::int32_t ToInteger(int, const TypedArg& arg) {
    switch (arg.tag) {
    case TypeTag::Bool:
    case TypeTag::SubroutinePtr:
    case TypeTag::Int: return arg.LowWord();
    case TypeTag::Long: return arg.LowWord();
    case TypeTag::Byte: return arg.LowWord() & 0xFF;
    case TypeTag::Short: return static_cast<std::int16_t>(arg.LowWord() & 0xFFFF);
    case TypeTag::Float: return static_cast<std::int32_t>(static_cast<std::uint32_t>(TruncateToInteger(arg.AsFloat())));
    case TypeTag::Double:
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(TruncateToInteger(arg.AsDouble())));
    case TypeTag::Text: {
        TextValue normal = NormaliseNumberText(arg.AsText());
        if (!normal) return 0;
        std::int32_t n = ParseNumberText(normal);
        ReleaseBlock(normal);
        return n;
    }
    default: return 0;  // date-times, byte arrays, every array, omitted and unknown tags
    }
}

void TrimRealText(char* area) {
    std::size_t len = std::strlen(area);
    if (len == 0) return;
    std::size_t i = len - 1;
    while (i > 0 && area[i] == '0') --i;
    if (i == 0 && area[0] == '0') return;  // all zeros: nothing changes
    area[area[i] == '.' ? i : i + 1] = '\0';
}

TextValue TextOfArray(ArrayBlock array, std::int32_t width) {
    const unsigned char* first = nullptr;
    std::int64_t total = ArrayElements(array, &first) * width;
    if (total <= 0) return nullptr;
    auto* nul = static_cast<const unsigned char*>(std::memchr(first, 0, static_cast<std::size_t>(total)));
    std::int64_t n = nul ? nul - first : total;
    return n == 0 ? nullptr : TextFromBytes(first, static_cast<std::int32_t>(n));
}

TextValue ToText(int, const TypedArg& arg) {
    std::uint32_t tag = TagBits(arg.tag);
    if (tag & kArrayFlag) {
        std::int32_t width = TextWidth(static_cast<TypeTag>(tag & ~kArrayFlag));
        return width ? TextOfArray(arg.AsPointer<const void>(), width) : nullptr;
    }
    char area[kWorkAreaSize];
    area[0] = '\0';
    switch (arg.tag) {
    case TypeTag::Bool: return CopyText(arg.LowWord() ? kTrue : kFalse);
    case TypeTag::DateTime: FormatDateTime(arg.AsDouble(), area); break;
    case TypeTag::Text: return CopyText(arg.AsText());
    case TypeTag::Bytes: return TextOfArray(arg.AsBytes(), 1);
    case TypeTag::SubroutinePtr:
    case TypeTag::Int: WriteDecimal(area, arg.LowWord()); break;
    case TypeTag::Byte: WriteDecimal(area, arg.LowWord() & 0xFF); break;
    case TypeTag::Short: WriteDecimal(area, static_cast<std::int16_t>(arg.LowWord() & 0xFFFF)); break;
    case TypeTag::Long: WriteDecimal(area, arg.AsLong()); break;
    case TypeTag::Float: return RealText(static_cast<double>(arg.AsFloat()));
    case TypeTag::Double: return RealText(arg.AsDouble());
    default: return nullptr;
    }
    return CopyText(area);
}

ByteBlock MakeByteBlock(const void* bytes, std::int64_t n) {
    if (n <= 0) return nullptr;
    auto block = static_cast<ByteBlock>(AllocZeroed(static_cast<std::size_t>(n) + sizeof(ByteBlockHeader)));
    block->dimensions = 1;
    block->length = static_cast<std::int32_t>(n);
    std::memcpy(BlockBytes(block), bytes, static_cast<std::size_t>(n));
    return block;
}

ByteBlock ToBytes(int, const TypedArg& arg) {
    std::uint32_t tag = TagBits(arg.tag);
    std::uint32_t element = tag & ~kArrayFlag;
    if (tag & kArrayFlag) {
        if (!IsNumeric(element)) return nullptr;
        const unsigned char* first = nullptr;
        std::int64_t count = ArrayElements(arg.AsPointer<const void>(), &first);
        return MakeByteBlock(first, count * BytesWidth(static_cast<TypeTag>(element)));
    }
    if (!IsBuiltIn(element)) return nullptr;
    std::int32_t width = 0;
    switch (arg.tag) {
    case TypeTag::Text: return MakeByteBlock(arg.AsText(), TextLength(arg.AsText()));
    case TypeTag::Bytes: {
        ByteBlock block = arg.AsBytes();
        return block ? MakeByteBlock(BlockBytes(block), block->length) : nullptr;
    }
    case TypeTag::Byte: width = 1; break;
    case TypeTag::Short: width = 2; break;
    case TypeTag::Bool: case TypeTag::SubroutinePtr: case TypeTag::Int: case TypeTag::Float: width = 4; break;
    case TypeTag::DateTime: case TypeTag::Long: case TypeTag::Double: width = 8; break;
    default: return nullptr;
    }
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(arg.value >> (8 * i));  // low word first
    return MakeByteBlock(bytes, width);
}

std::int32_t ByteLength(int, const TypedArg& arg) {
    ByteBlock block = arg.AsBytes();
    return block ? block->length : 0;
}
