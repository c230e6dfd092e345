#include "runtime/services/text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/runtime/platform.h"

namespace {

// The text as a string (null reads as empty), released afterwards.
std::string Take(TextValue text) {
    std::string s = text ? text : "";
    ReleaseBlock(text);
    return s;
}

TextValue Right(TextValue text, std::int32_t count) {
    TypedArg args[2] = {TypedArg::Text(text), TypedArg::Int(count)};
    return RightText(2, args);
}

// ReplaceText with every slot spelled out; a negative start or most, or a
// null replacement, means "omitted".
struct Replace {
    const char* source;
    const char* pattern;
    const char* replacement;  // null: slot omitted
    std::int32_t start;       // 0: slot omitted (use kStartZero for a given 0)
    std::int32_t most;        // 0: slot omitted (use kMostZero for a given 0)
    bool caseSensitive;
    const char* expected;     // null: a null result
};
constexpr std::int32_t kGivenZero = 0x7FFFFFF0;

TextValue RunReplace(const Replace& r) {
    auto slotFor = [](std::int32_t v) {
        if (v == 0) return TypedArg::Omit();
        return TypedArg::Int(v == kGivenZero ? 0 : v);
    };
    TypedArg args[6] = {TypedArg::Text(r.source),
                        TypedArg::Text(r.pattern),
                        r.replacement ? TypedArg::Text(r.replacement) : TypedArg::Omit(),
                        slotFor(r.start),
                        slotFor(r.most),
                        TypedArg::Bool(r.caseSensitive)};
    return ReplaceText(6, args);
}

}  // namespace

TEST(TextTest, LengthCountsBytesBeforeTheNul) {
    EXPECT_EQ(TextLength(nullptr), 0);
    EXPECT_EQ(TextLength(""), 0);
    EXPECT_EQ(TextLength("\xb0\x5c" "a"), 3);
    EXPECT_EQ(TextLength(1, TypedArg::Text("abcd")), 4);
    EXPECT_EQ(TextLength(1, TypedArg::Text(nullptr)), 0);
}

TEST(TextTest, CompareIsUnsignedBytewiseAndNullIsEmpty) {
    struct {
        const char* left;
        const char* right;
        int expected;
    } cases[] = {
        {nullptr, nullptr, 0}, {nullptr, "", 0},     {"", nullptr, 0},      {nullptr, "a", -1},
        {"a", nullptr, 1},     {"abc", "abc", 0},     {"ab", "abc", -1},     {"abc", "ab", 1},
        {"\xb0", "z", 1},      {"z", "\xb0", -1},     {"A", "a", -1},        {"abd", "abc", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CompareText(c.left, c.right), c.expected)
            << (c.left ? c.left : "(null)") << " vs " << (c.right ? c.right : "(null)");
}

TEST(TextTest, ConcatAlwaysGivesANewBlock) {
    TextValue none = ConcatText({nullptr, nullptr});
    ASSERT_NE(none, nullptr);
    EXPECT_STREQ(none, "");
    ReleaseBlock(none);

    const char* part = "abc";
    TextValue joined = ConcatText({part});
    EXPECT_NE(joined, part);
    EXPECT_EQ(Take(joined), "abc");
    EXPECT_EQ(Take(ConcatText({"const char ", "lib_fs", "[] = {", nullptr, "", "};\r\n"})),
              "const char lib_fs[] = {};\r\n");
}

TEST(TextTest, RightTakesTheLastBytes) {
    struct {
        const char* text;
        std::int32_t count;
        const char* expected;  // null: null result
    } cases[] = {
        {"abcdef", 1, "f"},  {"abcdef", 2, "ef"},     {"abcdef", 5, "bcdef"}, {"abcdef", 6, "abcdef"},
        {"abcdef", 7, "abcdef"}, {"abcdef", 0, nullptr}, {"abcdef", -3, nullptr}, {"", 3, nullptr},
        {nullptr, 3, nullptr}, {"\xb0\x5c" "x", 2, "\x5c" "x"},
    };
    for (const auto& c : cases) {
        TextValue got = Right(c.text, c.count);
        if (!c.expected) EXPECT_EQ(got, nullptr) << c.count;
        else EXPECT_EQ(Take(got), c.expected) << c.text << " " << c.count;
        if (!c.expected) ReleaseBlock(got);
    }
}

TEST(TextTest, RightReadsTheCountsLowWordWhateverItsTag) {
    TypedArg args[2] = {TypedArg::Text("abcdef"), TypedArg::Word(3, TypeTag::Omitted)};
    EXPECT_EQ(Take(RightText(2, args)), "def");
}

TEST(TextTest, ReplaceFollowsStartLimitCaseAndCharacters) {
    const Replace cases[] = {
        // degenerate arguments
        {"", "a", "b", 0, 0, true, nullptr},
        {"abc", "", "x", 0, 0, true, "abc"},
        {"ab", "abc", "x", 0, 0, true, "ab"},
        {"abc", "b", "x", kGivenZero, 0, true, "abc"},
        {"abc", "b", "x", -1, 0, true, "abc"},
        {"abc", "b", "x", 0, kGivenZero, true, "abc"},
        {"abc", "b", "x", 0, -5, true, "abc"},
        {"abcab", "ab", "x", 5, 0, true, "abcab"},  // beyond len - plen + 1
        // start and limit
        {"abcab", "ab", "x", 4, 0, true, "abcx"},   // exactly the last position
        {"abab", "ab", "x", 2, 0, true, "abx"},     // bytes before the start kept
        {"aXbXcX", "X", "-", 0, 1, true, "a-bXcX"},
        {"aXbXcX", "X", "-", 3, 1, true, "aXb-cX"},
        // occurrences do not overlap, inserted text is not scanned again
        {"aaa", "aa", "b", 0, 0, true, "ba"},
        {"aaaa", "a", "aa", 0, 0, true, "aaaaaaaa"},
        // removal
        {"abc", "abc", nullptr, 0, 0, true, ""},
        {"abc", "abc", "", 0, 0, true, ""},
        {"lib.js\\x.js", ".js", "", 0, 0, true, "lib\\x"},
        // case folding of ASCII only
        {"a.JS b.js", ".js", "", 0, 0, true, "a.JS b"},
        {"a.JS b.js", ".js", "", 0, 0, false, "a b"},
        {"\xc1\xe1", "\xe1\xe1", "x", 0, 0, false, "\xc1\xe1"},
        // two-byte characters: a trail byte never starts a match
        {"\xb0\x5c\x5c", "\\", "_", 0, 0, true, "\xb0\x5c_"},
        {"a\\\x81\x5c\\b", "\\", "/", 0, 0, true, "a/\x81\x5c/b"},
        // the step over a lead byte at the very end keeps the rest whole
        {"ab\xb0", "a", "x", 0, 0, true, "xb\xb0"},
        {"ab\xb0", "b", "y", 0, 0, true, "ay\xb0"},
        {"ab\xb0", "q", "y", 0, 0, true, "ab\xb0"},
        {"\x81" "a\x81", "a", "y", 2, 0, true, "\x81y\x81"},  // start inside a character is not adjusted
    };
    for (const Replace& r : cases) {
        TextValue got = RunReplace(r);
        if (!r.expected) {
            EXPECT_EQ(got, nullptr) << r.source;
            continue;
        }
        ASSERT_NE(got, nullptr) << r.source << " / " << r.pattern;  // also an empty result is a block
        EXPECT_EQ(Take(got), r.expected) << r.source << " / " << r.pattern;
    }
}

TEST(TextTest, ReplaceNeverReturnsItsArgument) {
    const char* source = "abc";
    TextValue got = RunReplace({source, "", "x", 0, 0, true, "abc"});
    EXPECT_NE(got, source);
    ReleaseBlock(got);
}

TEST(TextTest, LastSeparatorReadsCharacterByCharacter) {
    const struct {
        std::string path;
        std::int32_t last;
    } cases[] = {
        {"", -1},
        {"name.exe", -1},
        {"C:\\dir\\gen.exe", 6},
        {"C:\\dir\\\x81\x5cgen.exe", 6},   // 乗 (81 5C) in the name: its trail byte is no separator
        {"C:\\x\x81\x5c\\gen.exe", 6},     // a directory ending in 乗
        {"C:\\dir\\", 6},
        {"C:\\dir\\\x81", 6},               // a lone lead byte at the end
        {"C:\\x\x80\\gen.exe", 5},           // a directory ending in €, a single byte
        {"C:\\x\xff\\gen.exe", 5},           // 0xFF leads nothing either
    };
    for (const auto& c : cases)
        EXPECT_EQ(LastSeparator(c.path.c_str(), static_cast<std::int32_t>(c.path.size())), c.last) << c.path;
}

TEST(TextTest, ConstructorsGiveNullForEmpty) {
    EXPECT_EQ(TextFromBytes("abc", 0), nullptr);
    EXPECT_EQ(TextFromBytes("abc", -1), nullptr);
    EXPECT_EQ(Take(TextFromBytes("abc", 2)), "ab");
    EXPECT_EQ(Take(TextFromBytes("a\0c", 3)), "a");
    EXPECT_EQ(CopyText(nullptr), nullptr);
    EXPECT_EQ(CopyText(""), nullptr);
    EXPECT_EQ(Take(CopyText("xyz")), "xyz");
}

TEST(GrowBufferTest, SizingFollowsSlackAndSpareLimit) {
    GrowBuffer buffer;
    std::string ten(10, 'a'), more(128, 'b');
    ASSERT_EQ(buffer.Append(ten.data(), 10), 1);
    EXPECT_EQ(buffer.capacity, 138);
    EXPECT_EQ(buffer.length, 10);
    ASSERT_EQ(buffer.Append(more.data(), 128), 1);
    EXPECT_EQ(buffer.capacity, 138);
    EXPECT_EQ(buffer.length, 138);
    ASSERT_EQ(buffer.Append("c", 1), 1);
    EXPECT_EQ(buffer.capacity, 267);
    EXPECT_EQ(buffer.length, 139);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data), 139), ten + more + "c");
    ASSERT_NE(buffer.SetLength(11), nullptr);
    EXPECT_EQ(buffer.capacity, 267);  // 256 spare: kept
    ASSERT_NE(buffer.SetLength(10), nullptr);
    EXPECT_EQ(buffer.capacity, 138);  // 257 spare: given back
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data), 10), ten);
    EXPECT_EQ(buffer.SetLength(0), nullptr);
    EXPECT_EQ(buffer.data, nullptr);
    EXPECT_EQ(buffer.capacity, 0);
    EXPECT_EQ(buffer.length, 0);
}

TEST(GrowBufferTest, AppendEdgeCases) {
    GrowBuffer buffer;
    EXPECT_EQ(buffer.Append("abc", 0), 1);
    EXPECT_EQ(buffer.Append("abc", -4), 1);
    EXPECT_EQ(buffer.data, nullptr);
    EXPECT_EQ(buffer.Append(nullptr, 3), 1);  // zero bytes
    ASSERT_EQ(buffer.length, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data), 3), std::string(3, '\0'));
    buffer.Release();
    EXPECT_EQ(buffer.data, nullptr);
    EXPECT_EQ(buffer.length, 0);
}

TEST(GrowBufferTest, RefusedBlocksLeaveTheBufferAsItWas) {
    GrowBuffer buffer;
    platform::FailHeapRequestsFrom(1);
    EXPECT_EQ(buffer.Append("abc", 3), 0);
    EXPECT_EQ(buffer.data, nullptr);
    EXPECT_EQ(buffer.capacity, 0);
    EXPECT_EQ(buffer.length, 0);
    platform::FailHeapRequestsFrom(0);

    ASSERT_EQ(buffer.Append("abc", 3), 1);
    std::string big(400, 'x');
    platform::FailHeapRequestsFrom(1);
    EXPECT_EQ(buffer.Append(big.data(), 400), 0);
    platform::FailHeapRequestsFrom(0);
    EXPECT_EQ(buffer.capacity, 131);
    EXPECT_EQ(buffer.length, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data), 3), "abc");
}
