#include "runtime/core/convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "runtime/core/datetime.h"

namespace {

std::string Take(TextValue text) {
    std::string s = text ? text : "";
    ReleaseBlock(text);
    return s;
}

std::vector<unsigned char> TakeBytes(ByteBlock block) {
    std::vector<unsigned char> bytes;
    if (block) bytes.assign(BlockBytes(block), BlockBytes(block) + block->length);
    ReleaseBlock(block);
    return bytes;
}

// An array block of D = 1 holding the given raw element bytes.
std::vector<std::int32_t> ArrayOf(std::int32_t count, const std::vector<unsigned char>& raw) {
    std::vector<std::int32_t> words(2 + (raw.size() + 3) / 4, 0);
    words[0] = 1;
    words[1] = count;
    if (!raw.empty()) std::memcpy(words.data() + 2, raw.data(), raw.size());
    return words;
}

TypedArg ArraySlot(const std::vector<std::int32_t>& words, TypeTag element) {
    return TypedArg::Pointer(words.data(), element | TypeTag::ArrayFlag);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

}  // namespace

TEST(ConvertTest, ToTextOfSingleValues) {
    struct {
        TypedArg arg;
        const char* expected;  // null: a null result
    } cases[] = {
        {TypedArg::Int(0), "0"},
        {TypedArg::Int(-5), "-5"},
        {TypedArg::Int(255), "255"},
        {TypedArg::Int(INT32_MIN), "-2147483648"},
        {TypedArg::Word(0x1FF, TypeTag::Byte), "255"},
        {TypedArg::Word(0xABCD0080, TypeTag::Byte), "128"},  // junk above the low byte
        {TypedArg::Word(0xFFFF, TypeTag::Short), "-1"},
        {TypedArg::Word(0x12348000, TypeTag::Short), "-32768"},
        {TypedArg::Word(77, TypeTag::SubroutinePtr), "77"},
        {TypedArg::Long(-9223372036854775807LL - 1), "-9223372036854775808"},
        {TypedArg::Long(4294967301LL), "4294967301"},
        {TypedArg::Bool(true), "\xd5\xe6"},             // 真
        {TypedArg::Word(2, TypeTag::Bool), "\xd5\xe6"},  // any non-zero word is true
        {TypedArg::Bool(false), "\xbc\xd9"},            // 假
        {TypedArg::Real(2.5), "2.5"},
        {TypedArg::Real(100.0), "100"},
        {TypedArg::Real(0.0), "0"},
        {TypedArg::Real(-0.0000001), "-0"},
        {TypedArg::Real(1.0000004), "1"},   // six decimals before trimming
        {TypedArg::Real(1.0000005), "1.000001"},
        {TypedArg::Real(0.125), "0.125"},
        {TypedArg::Real(-2.25), "-2.25"},
        {TypedArg::Real(kInf), "inf"},
        {TypedArg::Real(-kInf), "-inf"},
        {TypedArg::Real(kNaN), "nan"},
        {TypedArg::Real(-kNaN), "nan"},
        {TypedArg::Float(0.1f), "0.1"},      // widened exactly: 0.100000001...
        {TypedArg::Float(16777216.0f), "16777216"},
        {TypedArg::Real(2.0, TypeTag::DateTime), "1900\xc4\xea" "1\xd4\xc2" "1\xc8\xd5"},
        {TypedArg::Text("abc"), "abc"},
        {TypedArg::Text(nullptr), nullptr},
        {TypedArg::Omit(), nullptr},
        {TypedArg::Word(5, static_cast<TypeTag>(0x80000007)), nullptr},
        {TypedArg::Word(5, static_cast<TypeTag>(0x12345678)), nullptr},
    };
    for (const auto& c : cases) {
        TextValue got = ToText(1, c.arg);
        if (!c.expected) EXPECT_EQ(got, nullptr) << std::hex << static_cast<std::uint32_t>(c.arg.tag);
        else EXPECT_EQ(Take(got), c.expected) << std::hex << static_cast<std::uint32_t>(c.arg.tag);
        if (!c.expected) ReleaseBlock(got);
    }
}

TEST(ConvertTest, ToTextOfHugeRealsGivesTheWholeText) {
    std::string max = Take(ToText(1, TypedArg::Real(std::numeric_limits<double>::max())));
    EXPECT_EQ(max.size(), 309u);  // every integer digit, no decimals left after trimming
    EXPECT_EQ(max.substr(0, 6), "179769");
    std::string low = Take(ToText(1, TypedArg::Real(-1e300)));
    EXPECT_EQ(low.size(), 302u);
    EXPECT_EQ(low.substr(0, 3), "-10");
}

TEST(ConvertTest, ToTextOfByteArraysAndArrays) {
    ByteBlock ab = MakeByteBlock("AB\0C", 4);
    EXPECT_EQ(Take(ToText(1, TypedArg::Bytes(ab))), "AB");
    ReleaseBlock(ab);
    ByteBlock zeroFirst = MakeByteBlock("\0AB", 3);
    EXPECT_EQ(ToText(1, TypedArg::Bytes(zeroFirst)), nullptr);
    ReleaseBlock(zeroFirst);
    EXPECT_EQ(ToText(1, TypedArg::Bytes(nullptr)), nullptr);

    auto ints = ArrayOf(2, {1, 0, 0, 0, 2, 0, 0, 0});
    EXPECT_EQ(Take(ToText(1, ArraySlot(ints, TypeTag::Int))), "\x01");
    auto bytes = ArrayOf(3, {'x', 'y', 'z'});
    EXPECT_EQ(Take(ToText(1, ArraySlot(bytes, TypeTag::Byte))), "xyz");
    auto shorts = ArrayOf(2, {'a', 'b', 'c', 'd'});
    EXPECT_EQ(Take(ToText(1, ArraySlot(shorts, TypeTag::Short))), "abcd");
    EXPECT_EQ(ToText(1, ArraySlot(ints, TypeTag::Float)), nullptr);
    EXPECT_EQ(ToText(1, ArraySlot(ints, TypeTag::Double)), nullptr);
    EXPECT_EQ(ToText(1, ArraySlot(ints, TypeTag::Text)), nullptr);
    auto empty = ArrayOf(0, {});
    EXPECT_EQ(ToText(1, ArraySlot(empty, TypeTag::Byte)), nullptr);
}

TEST(ConvertTest, ToIntegerByTag) {
    struct {
        TypedArg arg;
        std::int32_t expected;
    } cases[] = {
        {TypedArg::Word(0x180, TypeTag::Byte), 128},
        {TypedArg::Word(0xFFFFFF00, TypeTag::Byte), 0},
        {TypedArg::Word(0xFFFF, TypeTag::Short), -1},
        {TypedArg::Word(0x7FFF, TypeTag::Short), 32767},
        {TypedArg::Int(-123), -123},
        {TypedArg::Word(2, TypeTag::Bool), 2},
        {TypedArg::Word(9, TypeTag::SubroutinePtr), 9},
        {TypedArg::Long(4294967301LL), 5},
        {TypedArg::Long(-1), -1},
        {TypedArg::Real(-3.9), -3},
        {TypedArg::Real(3.9), 3},
        {TypedArg::Real(4294967301.0), 5},
        {TypedArg::Real(kNaN), 0},
        {TypedArg::Real(1e30), 0},
        {TypedArg::Real(-1e30), 0},
        {TypedArg::Float(-7.5f), -7},
        {TypedArg::Real(5.0, TypeTag::DateTime), 0},
        {TypedArg::Bytes(nullptr), 0},
        {TypedArg::Omit(), 0},
        {TypedArg::Word(7, TypeTag::Int | TypeTag::ArrayFlag), 0},
        {TypedArg::Text("42"), 42},
        {TypedArg::Text("  42abc"), 42},
        {TypedArg::Text("\t-17"), -17},
        {TypedArg::Text("+8"), 8},
        {TypedArg::Text("abc"), 0},
        {TypedArg::Text(""), 0},
        {TypedArg::Text("\xa3\xb1\xa3\xb2\xa3\xb3"), 123},          // １２３
        {TypedArg::Text("\xa1\xa1\xa3\xad\xa3\xb4"), -4},           // ideographic space, －４
        {TypedArg::Text("99999999999"), 2147483647},
        {TypedArg::Text("-99999999999"), INT32_MIN},
        {TypedArg::Text("2147483647"), 2147483647},
        {TypedArg::Text("-2147483648"), INT32_MIN},
        {TypedArg::Text("2147483648"), 2147483647},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToInteger(1, c.arg), c.expected) << std::hex << static_cast<std::uint32_t>(c.arg.tag);
}

TEST(ConvertTest, ToBytesByTag) {
    using Bytes = std::vector<unsigned char>;
    EXPECT_EQ(TakeBytes(ToBytes(1, TypedArg::Int(1))), (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(TakeBytes(ToBytes(1, TypedArg::Word(0xFFFE, TypeTag::Short))), (Bytes{0xFE, 0xFF}));
    EXPECT_EQ(TakeBytes(ToBytes(1, TypedArg::Word(0x1AB, TypeTag::Byte))), (Bytes{0xAB}));
    EXPECT_EQ(TakeBytes(ToBytes(1, TypedArg::Long(0x0102030405060708LL))), (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(TakeBytes(ToBytes(1, TypedArg::Real(1.0))), (Bytes{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
    EXPECT_EQ(TakeBytes(ToBytes(1, TypedArg::Float(1.0f))), (Bytes{0, 0, 0x80, 0x3F}));
    EXPECT_EQ(TakeBytes(ToBytes(1, TypedArg::Bool(true))), (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(TakeBytes(ToBytes(1, TypedArg::Text("abc"))), (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(ToBytes(1, TypedArg::Text(nullptr)), nullptr);
    EXPECT_EQ(ToBytes(1, TypedArg::Omit()), nullptr);
    EXPECT_EQ(ToBytes(1, TypedArg::Word(1, static_cast<TypeTag>(0x40000301))), nullptr);  // not built in
    EXPECT_EQ(ToBytes(1, TypedArg::Word(1, static_cast<TypeTag>(0x80000701))), nullptr);  // unknown number

    ByteBlock source = MakeByteBlock("\x00\x01\x02", 3);
    ByteBlock copy = ToBytes(1, TypedArg::Bytes(source));
    EXPECT_NE(copy, source);
    EXPECT_EQ(TakeBytes(copy), (Bytes{0, 1, 2}));
    ReleaseBlock(source);
    EXPECT_EQ(ToBytes(1, TypedArg::Bytes(nullptr)), nullptr);

    auto shorts = ArrayOf(2, {1, 2, 3, 4});
    EXPECT_EQ(TakeBytes(ToBytes(1, ArraySlot(shorts, TypeTag::Short))), (Bytes{1, 2, 3, 4}));
    auto doubles = ArrayOf(1, {1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(TakeBytes(ToBytes(1, ArraySlot(doubles, TypeTag::Double))), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(ToBytes(1, ArraySlot(shorts, TypeTag::Text)), nullptr);
    EXPECT_EQ(ToBytes(1, ArraySlot(shorts, TypeTag::Bool)), nullptr);
}

TEST(ConvertTest, ByteLengthReadsTheLengthWord) {
    ByteBlock block = MakeByteBlock("abcde", 5);
    EXPECT_EQ(ByteLength(1, TypedArg::Bytes(block)), 5);
    EXPECT_EQ(ByteLength(1, TypedArg::Pointer(block, TypeTag::Int)), 5);  // the tag is not examined
    EXPECT_EQ(ByteLength(1, TypedArg::Pointer(nullptr, TypeTag::Bytes)), 0);
    EXPECT_EQ(ByteLength(1, TypedArg::Bytes(nullptr)), 0);
    ReleaseBlock(block);
    EXPECT_EQ(MakeByteBlock("x", 0), nullptr);
}

TEST(ConvertTest, TruncateToIntegerGoesTowardZero) {
    EXPECT_EQ(TruncateToInteger(2.9), 2);
    EXPECT_EQ(TruncateToInteger(-2.9), -2);
    EXPECT_EQ(TruncateToInteger(-0.5), 0);
    EXPECT_EQ(TruncateToInteger(9223372036854774784.0), 9223372036854774784LL);
    EXPECT_EQ(TruncateToInteger(-9223372036854775808.0), INT64_MIN);
    EXPECT_EQ(TruncateToInteger(9223372036854775808.0), INT64_MIN);
    EXPECT_EQ(TruncateToInteger(kNaN), INT64_MIN);
    EXPECT_EQ(TruncateToInteger(kInf), INT64_MIN);
    EXPECT_EQ(TruncateToInteger(-kInf), INT64_MIN);
}

TEST(ConvertTest, TrimRealTextDropsTrailingZeros) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"100.000000", "100"}, {"1.500000", "1.5"}, {"-2.250000", "-2.25"}, {"0.000000", "0"},
        {"-0.000000", "-0"},   {"0", "0"},          {"000", "000"},         {"10", "1"},
        {"inf", "inf"},        {"", ""},
    };
    for (const auto& c : cases) {
        char area[kWorkAreaSize];
        std::strcpy(area, c.in);
        TrimRealText(area);
        EXPECT_STREQ(area, c.out) << c.in;
    }
}

TEST(ConvertTest, NormaliseNumberTextMakesFullWidthHalfWidth) {
    EXPECT_EQ(NormaliseNumberText(nullptr), nullptr);
    EXPECT_EQ(NormaliseNumberText(""), nullptr);
    const char* digits = "\xa3\xb1\xa3\xb2";
    EXPECT_EQ(Take(NormaliseNumberText(digits)), "12");
    EXPECT_STREQ(digits, "\xa3\xb1\xa3\xb2");  // the caller's text is untouched
    EXPECT_EQ(Take(NormaliseNumberText("1\xa3\xaf" "2\xa3\xdc" "3")), "1/2\\3");
    EXPECT_EQ(Take(NormaliseNumberText("plain 7")), "plain 7");
}

TEST(ConvertTest, ReplaceAllReplacesOnCharacterBoundaries) {
    const char* text = "a\xa3\xaf" "b\xa3\xaf";
    const char* original = text;
    ASSERT_EQ(ReplaceAll(&text, "\xa3\xaf", "/", false), 1);
    EXPECT_STREQ(text, "a/b/");
    EXPECT_STREQ(original, "a\xa3\xaf" "b\xa3\xaf");
    ASSERT_EQ(ReplaceAll(&text, "/", "-", true), 1);  // frees the block it replaces
    EXPECT_STREQ(text, "a-b-");
    std::free(const_cast<char*>(text));

    const char* none = "\xb0\xa3\xaf";  // the pattern's bytes, but not on a boundary
    EXPECT_EQ(ReplaceAll(&none, "\xa3\xaf", "/", false), 0);

    const char* lone = "\xa3\xaf" "x\xb0";  // a lone lead byte at the end stays
    ASSERT_EQ(ReplaceAll(&lone, "\xa3\xaf", "/", false), 1);
    EXPECT_STREQ(lone, "/x\xb0");
    std::free(const_cast<char*>(lone));
}

TEST(ConvertTest, ParseNumberTextSaturates) {
    EXPECT_EQ(ParseNumberText(nullptr), 0);
    EXPECT_EQ(ParseNumberText("   12 34"), 12);
    EXPECT_EQ(ParseNumberText("-"), 0);
    EXPECT_EQ(ParseNumberText("- 5"), 0);
    EXPECT_EQ(ParseNumberText("000000000000000000000042"), 42);
    EXPECT_EQ(ParseNumberText("123456789012345678901234567890"), 2147483647);
    EXPECT_EQ(ParseNumberText("-123456789012345678901234567890"), INT32_MIN);
}
