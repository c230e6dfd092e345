#include "tools/library.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using library::DataFormat;
using library::Plan;
using library::Script;

// The bytes of a C string literal's inside (the escapes the writer uses).
std::string Decode(const std::string& inside) {
    std::string bytes;
    for (std::size_t i = 0; i < inside.size(); ++i) {
        if (inside[i] != '\\') {
            bytes += inside[i];
        } else if (inside[i + 1] >= '0' && inside[i + 1] <= '7') {
            bytes += static_cast<char>(std::stoi(inside.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            bytes += inside[++i] == 'n' ? '\n' : inside[i];
        }
    }
    return bytes;
}

// The files Sources() gives, by name.
std::string FileOf(const std::vector<library::File>& files, const std::string& name) {
    for (const auto& f : files)
        if (f.name == name) return f.content;
    return "missing " + name;
}

std::string AllBytes(std::size_t size) {
    std::string blob;
    for (std::size_t i = 0; i < size; ++i) blob += static_cast<char>((i * 7 + i / 251) & 0xff);
    return blob;
}

}  // namespace

TEST(LibraryTest, NamespacesThatCompileAreTakenAndNoOther) {
    const struct {
        const char* ns;
        bool valid;
    } cases[] = {
        {"app", true},         {"scripts::v2", true}, {"a::b::c", true},  {"x::std", true},  {"Lib_9", true},
        {"", false},           {"a::", false},        {"::a", false},     {"a:::b", false},  {"a:b", false},
        {"2x", false},         {"a-b", false},        {"a.b", false},     {"caf\xc3\xa9", false},
        {"_x", false},         {"a__b", false},       {"a::_B", false},   {"class", false},  {"a::and", false},
        {"errno", false},      {"NULL", false},       {"linux", false},   {"std", false},    {"std::x", false},
        {"posix", false},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(library::ValidNamespace(c.ns, &why), c.valid) << c.ns;
        EXPECT_EQ(why.empty(), c.valid) << c.ns << ": " << why;
    }
}

TEST(LibraryTest, BlobSymbolsAreIdentifiersAndApart) {
    const char* names[] = {"app", "a.b", "a-b", "a+b", "a__b", "_x_", "9lives", "A"};
    std::vector<std::string> seen;
    for (const char* name : names) {
        std::string symbol = library::BlobSymbol({name, "ns", DataFormat::Incbin, ""});
        EXPECT_EQ(symbol.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_"),
                  std::string::npos) << symbol;
        EXPECT_EQ(symbol.find("__"), std::string::npos) << symbol;
        for (const std::string& other : seen) EXPECT_NE(symbol, other);
        seen.push_back(symbol);
    }
    // the namespace keeps two libraries of one name apart too
    EXPECT_NE(library::BlobSymbol({"app", "one", DataFormat::Incbin, ""}),
              library::BlobSymbol({"app", "two", DataFormat::Incbin, ""}));
}

// What changes with what: the consumer header never with the scripts, the
// data source exactly with the blob, the table with names and places.
TEST(LibraryTest, EachFileChangesExactlyWithWhatItHolds) {
    Plan plan{"app", "app", DataFormat::Incbin, "/b/app.bin"};
    const std::vector<Script> base = {{"a", 0, 2}, {"b", 2, 1}};
    const struct {
        const char* change;
        std::vector<Script> scripts;
        std::string blob;
        bool table, data;
    } cases[] = {
        {"nothing", base, "xyz", false, false},
        {"a byte", base, "xyZ", false, true},
        {"a name", {{"a", 0, 2}, {"c", 2, 1}}, "xyz", true, false},
        {"a size", {{"a", 0, 1}, {"b", 1, 2}}, "xyz", true, false},
        {"a script more", {{"a", 0, 2}, {"b", 2, 1}, {"c", 3, 1}}, "xyzw", true, true},
        {"no script", {}, "", true, true},
    };
    for (DataFormat format : {DataFormat::Incbin, DataFormat::Msvc}) {
        plan.format = format;
        const auto before = library::Sources(plan, base, "xyz");
        for (const auto& c : cases) {
            const auto after = library::Sources(plan, c.scripts, c.blob);
            ASSERT_EQ(after.size(), 3u);
            EXPECT_EQ(after[0].content, before[0].content) << c.change;
            EXPECT_EQ(after[1].content != before[1].content, c.table) << c.change;
            EXPECT_EQ(after[2].content != before[2].content, c.data) << c.change;
        }
    }
}

// Names stand only in string literals, whatever bytes they hold.
TEST(LibraryTest, NamesAreLiteralsOfTheirExactBytes) {
    const std::vector<std::string> names = {"lib/fs", "q\"uote\\", "?\?=trigraph", "a\nb", "\xc4\xa3\xbf\xe9",
                                            "7\001" "8", "main"};
    std::vector<Script> scripts;
    for (std::size_t i = 0; i < names.size(); ++i) scripts.push_back({names[i], i, 1});
    std::string table = library::Sources({"t", "t", DataFormat::Incbin, "/t.bin"}, scripts, "0123456")[1].content;
    std::size_t at = table.find("kEntries[");
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::size_t open = table.find("    {\"", at) + 6;
        at = table.find("\", nativegen_blob_t_", open);
        ASSERT_NE(at, std::string::npos);
        std::string inside = table.substr(open, at - open);
        EXPECT_EQ(Decode(inside), names[i]);
        EXPECT_EQ(inside.find('\n'), std::string::npos);
        for (std::size_t q = inside.find('?'); q != std::string::npos; q = inside.find('?', q + 1))
            EXPECT_EQ(inside[q - 1], '\\') << inside;  // no trigraph can form
    }
}

// The C literal data: every piece under the dialect's 16,380 bytes (as
// written and as meant), every row one concatenation of at most 65,535
// with its zero, no empty array, and the bytes exactly the blob's.
TEST(LibraryTest, LiteralDataKeepsTheLimitsAndHoldsTheBlob) {
    const std::size_t row = library::kRowBytes;
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, row - 1, row, row + 1, 3 * row + 4000}) {
        std::string blob = AllBytes(size);
        auto files = library::Sources({"d", "d", DataFormat::Msvc, ""}, {{"x", 0, size}}, blob);
        std::string data = FileOf(files, "d.data.c");
        std::string decoded, concatenation;
        std::size_t rows = 0;
        for (std::size_t at = 0, end; at < data.size(); at = end + 1) {
            end = data.find('\n', at);
            std::string line = data.substr(at, end - at);
            std::size_t open = line.find('"');
            if (open == std::string::npos || line.find("/*") != std::string::npos) {
                if (line.find(',') != std::string::npos || line == "};") {  // a row or the tail ends
                    EXPECT_LE(concatenation.size() + 1, 65535u) << size;
                    if (line.find(',') != std::string::npos && !concatenation.empty()) {
                        EXPECT_EQ(concatenation.size(), row) << size;
                        ++rows;
                    }
                    decoded += concatenation;
                    concatenation.clear();
                }
                continue;
            }
            std::string inside = line.substr(open + 1, line.rfind('"') - open - 1);
            EXPECT_LT(inside.size(), 16380u) << size;
            std::string piece = Decode(inside);
            EXPECT_LE(piece.size(), library::kPieceBytes) << size;
            concatenation += piece;
        }
        EXPECT_EQ(rows, size / row) << size;
        EXPECT_TRUE(decoded == blob) << size;
        EXPECT_NE(data.find("char tail[" + std::to_string(size % row + 1) + "]"), std::string::npos) << size;
        EXPECT_EQ(data.find("[0]"), std::string::npos) << size;
    }
}
