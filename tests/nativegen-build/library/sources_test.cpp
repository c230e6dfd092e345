#include "tools/nativegen-build/library/sources.h"

#include "tools/nativegen-build/library/blob.h"
#include "tools/nativegen-build/library/msvc_data.h"
#include "tools/nativegen-build/library/targets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

using library::DataFormat;
using library::Plan;
using library::Script;

using test::DecodeLiteral;

// Every source of the library over the whole blob, as a run writes them:
// the header and the table, then (Msvc) the data the writer makes.
std::vector<library::File> Sources(const Plan& plan, const std::vector<Script>& scripts, std::string_view blob) {
    library::BlobHash hash(blob.size());
    hash.Add(blob);
    std::vector<library::File> files = library::StreamedSources(plan, scripts, blob.size(), hash.Hex());
    if (plan.format != DataFormat::Msvc) return files;
    library::MsvcWriter writer(plan, library::BlobSymbol(plan, scripts, blob.size()), blob.size());
    std::string data;
    writer.Begin(hash.Hex(), &data);
    writer.Add(blob, &data);
    writer.End(&data);
    files.push_back({plan.name + ".data.c", std::move(data)});
    return files;
}

}  // namespace

// What changes with what: the consumer header never with the scripts, the
// table with names and places, the data source with the blob and with the
// names and places too (its symbol pairs it with its table). An incbin
// table names the blob: it changes with either.
TEST(LibraryTest, EachFileChangesExactlyWithWhatItHolds) {
    const std::vector<Script> base = {{"a", 0, 2}, {"b", 2, 1}};
    const struct {
        const char* change;
        std::vector<Script> scripts;
        std::string blob;
        bool table, data;
    } cases[] = {
        {"nothing", base, "xyz", false, false},
        {"a byte", base, "xyZ", false, true},
        {"a name", {{"a", 0, 2}, {"c", 2, 1}}, "xyz", true, true},
        {"a size", {{"a", 0, 1}, {"b", 1, 2}}, "xyz", true, true},
        {"no script", {}, "", true, true},
    };
    for (DataFormat format : {DataFormat::Incbin, DataFormat::Msvc}) {
        Plan plan{"app", "app", format, "/b/app.bin"};
        const auto before = Sources(plan, base, "xyz");
        for (const auto& c : cases) {
            const auto after = Sources(plan, c.scripts, c.blob);
            EXPECT_EQ(after[0].content, before[0].content) << c.change;
            if (format == DataFormat::Incbin) {
                ASSERT_EQ(after.size(), 2u);
                EXPECT_EQ(after[1].content != before[1].content, c.table || c.data) << c.change;
                continue;
            }
            EXPECT_EQ(after[1].content != before[1].content, c.table) << c.change;
            EXPECT_EQ(after[2].content != before[2].content, c.data) << c.change;
        }
    }
}

// The C literal data: every piece under the dialect's 16,380 bytes (as
// written and as meant), every row one concatenation of at most 65,535
// with its zero, no empty array, and the bytes exactly the blob's.
TEST(LibraryTest, LiteralDataKeepsTheLimitsAndHoldsTheBlob) {
    const std::size_t row = library::kRowBytes;
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, row - 1, row, row + 1, 3 * row + 4000}) {
        std::string blob = std::string("?\?=\"\\\n").substr(0, size);  // no trigraph may form
        for (std::size_t i = blob.size(); i < size; ++i) blob += static_cast<char>((i * 7 + i / 251) & 0xff);
        std::string data = Sources({"d", "d", DataFormat::Msvc, ""}, {{"x", 0, size}}, blob)[2].content;
        std::string decoded, concatenation;
        std::size_t rows = 0;
        for (std::size_t at = 0, end; at < data.size(); at = end + 1) {
            end = data.find('\n', at);
            std::string line = data.substr(at, end - at);
            if (line.rfind("    ", 0) == 0 && line.find('"') != std::string::npos) {  // a piece
                std::string inside = line.substr(line.find('"') + 1, line.rfind('"') - line.find('"') - 1);
                EXPECT_LT(inside.size(), 16380u) << size;
                EXPECT_EQ(inside.find("??"), std::string::npos) << size;
                EXPECT_LE(DecodeLiteral(inside).size(), library::kPieceBytes) << size;
                concatenation += DecodeLiteral(inside);
            } else if (line == "        ," || line == "};") {  // a row ends, or the tail
                EXPECT_LE(concatenation.size() + 1, 65535u) << size;
                if (line != "};") {
                    EXPECT_EQ(concatenation.size(), row) << size;
                }
                rows += line != "};";
                decoded += concatenation;
                concatenation.clear();
            }
        }
        EXPECT_EQ(rows, size / row) << size;
        EXPECT_TRUE(decoded == blob) << size;
        EXPECT_NE(data.find("char tail[" + std::to_string(size % row + 1) + "]"), std::string::npos) << size;
    }
}

// The blob's path as the assembler reads it, through the C++ literal the
// table wraps it in: a row per byte that needs an escape there.
TEST(LibraryTest, TheBlobsPathReachesTheAssemblerWhole) {
    const struct {
        const char* path;
        const char* assembler;  // the .incbin argument the assembler reads
    } rows[] = {
        {"/a b/x.bin", "\"/a b/x.bin\""},
        {"/q\"/x.bin", "\"/q\\\"/x.bin\""},
        {"/b\\s/x.bin", "\"/b\\\\s/x.bin\""},
        {"/n\n/x.bin", "\"/n\\012/x.bin\""},
        {"/t\t/x.bin", "\"/t\\011/x.bin\""},
        {"/caf\xc3\xa9/?\?=/x.bin", "\"/caf\xc3\xa9/?\?=/x.bin\""},
    };
    for (const auto& row : rows) {
        std::string data = Sources({"d", "d", DataFormat::Incbin, row.path}, {{"x", 0, 1}}, "x")[1].content;
        std::string assembler;  // the asm text: every literal piece decoded
        for (std::size_t at = 0, end; at < data.size(); at = end + 1) {
            end = data.find('\n', at);
            std::string line = data.substr(at, end - at);
            if (line.rfind("    \"", 0) == 0) assembler += DecodeLiteral(line.substr(5, line.size() - 6));
        }
        EXPECT_NE(assembler.find(".incbin " + std::string(row.assembler) + "\n"), std::string::npos)
            << row.path << " in\n" << assembler;
    }
}
