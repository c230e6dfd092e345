// A library's writes hold together whenever a run stops: after each write
// of a run from one library to the next, the files on disk either link to
// exactly one run's entries, or do not link at all.
#include "tools/nativegen-build/library/writes.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "platform/tools/files.h"
#include "tests/support/test_support.h"

namespace test {
namespace {

using library::Entry;

// A library's content: module name -> bytes, in order.
using Content = std::vector<std::pair<std::string, std::string>>;

std::vector<Entry> Entries(const Content& content) {
    std::vector<Entry> entries;
    for (const auto& [name, bytes] : content) entries.push_back({name, {}, bytes});
    return entries;
}

// The first match of `pattern`'s group 1 in `text`; empty when none.
std::string Find(const std::string& text, const std::string& pattern) {
    std::smatch match;
    return std::regex_search(text, match, std::regex(pattern)) ? match[1].str() : std::string();
}

// What the files in `folder` give a program that links them: the entries
// read back from the blob the table names, through its places; "no link"
// when the symbol the entries use is not the one the assembler defines;
// "broken: ..." when the table names a blob that is not there or not the
// one it was written for.
std::string Linked(const fs::path& folder) {
    const std::string table = ReadAll(folder / "app.table.cpp"), &data = table;
    const std::string wanted = Find(table, "const char (nativegen_blob_\\w+)\\[");
    const std::string defined = Find(data, "\\.globl (nativegen_blob_\\w+)");
    if (wanted.empty() || defined.empty()) return "broken: no symbol";
    if (wanted != defined) return "no link";
    const fs::path blobPath = Find(data, "\\.incbin \\\\\"([^\\\\]+)\\\\\"");
    if (!fs::exists(blobPath)) return "broken: " + blobPath.string() + " is not there";
    const std::string blob = ReadAll(blobPath);
    if (Find(data, "hash ([0-9a-f]+)") != library::Hash(blob)) return "broken: the blob is another's";
    std::string entries;
    std::regex row("\\{\"([^\"]*)\", nativegen_blob_\\w+ \\+ (\\d+), (\\d+)\\}");
    for (std::sregex_iterator it(table.begin(), table.end(), row), end; it != end; ++it) {
        std::size_t at = std::stoul((*it)[2]), size = std::stoul((*it)[3]);
        if (at + size > blob.size()) return "broken: an entry beyond the blob";
        entries += (*it)[1].str() + "=" + blob.substr(at, size) + ";";
    }
    return entries;
}

std::string Expected(const Content& content) {
    std::string entries;
    for (const auto& [name, bytes] : content) entries += name + "=" + bytes + ";";
    return entries;
}

// Writes `content` as the library "app" into `folder`, whole.
void WriteWhole(const fs::path& folder, const Content& content) {
    std::vector<Entry> entries = Entries(content);
    frontend::Failure failure;
    library::Request request{"app", "app", library::DataFormat::Incbin, folder, folder.generic_string()};
    ASSERT_TRUE(library::WriteLibrary(request, entries, &failure)) << failure.path << ": " << failure.why;
}

TEST(LibraryFilesTest, EveryStopLeavesOneRunsEntriesOrNoLink) {
    const Content before = {{"a", "alpha"}, {"b", "beta"}};
    const struct {
        const char* change;
        Content after;
    } rows[] = {
        {"a byte, the same places", {{"a", "alphA"}, {"b", "beta"}}},
        {"a size", {{"a", "alphabet"}, {"b", "beta"}}},
        {"two sizes, the same total", {{"a", "alphax"}, {"b", "eta"}}},
        {"a name", {{"a", "alpha"}, {"c", "beta"}}},
        {"an entry fewer", {{"a", "alpha"}}},
        {"nothing", before},
    };
    for (const auto& row : rows) {
        for (std::size_t stop = 0;; ++stop) {
            TempDir dir;
            WriteWhole(dir.path(), before);
            // a blob cut from outside is put in place again, not trusted by its name
            for (const std::string& name : dir.Names())
                if (name.ends_with(".bin")) fs::resize_file(dir.path() / name, 1);
            WriteWhole(dir.path(), before);
            ASSERT_EQ(Linked(dir.path()), Expected(before)) << row.change;
            std::vector<library::Script> scripts;
            std::string blob;
            for (const auto& [name, bytes] : row.after) scripts.push_back({name, blob.size(), bytes.size()}), blob += bytes;
            frontend::Failure failure;
            library::Request request{"app", "app", library::DataFormat::Incbin, dir.path(),
                                     dir.path().generic_string()};
            auto writes = library::Writes(request, scripts, blob, library::Present(dir.path()));
            ASSERT_TRUE(library::Perform(writes, stop, &failure)) << failure.path << ": " << failure.why;
            std::string linked = Linked(dir.path());
            EXPECT_TRUE(linked == Expected(before) || linked == Expected(row.after) || linked == "no link")
                << row.change << ", stopped after " << stop << " of " << writes.size() << " writes: " << linked;
            if (stop < writes.size()) continue;
            // the whole run: the new entries, and one blob beside the sources
            EXPECT_EQ(linked, Expected(row.after)) << row.change;
            std::size_t blobs = 0;
            for (const std::string& name : dir.Names()) blobs += name.size() > 4 && name.ends_with(".bin");
            EXPECT_EQ(blobs, 1u) << row.change;
            break;
        }
    }
}

// Entries whose bytes come from files: read whole, in order; a file that
// cannot be read fails the step with its name, before anything is written.
TEST(LibraryFilesTest, EntriesFromFilesAreReadWholeOrTheStepFails) {
    TempDir dir;
    fs::path one = dir.Write("in/one.txt", "first"), two = dir.Write("in/two.txt", std::string(100000, 'z'));
    std::vector<Entry> entries = {{"one", one, {}}, {"held", {}, "bytes"}, {"two", two, {}}};
    frontend::Failure failure;
    fs::path whole = dir.MakeDir("whole");
    library::Request request{"app", "app", library::DataFormat::Incbin, whole, whole.generic_string()};
    ASSERT_TRUE(library::WriteLibrary(request, entries, &failure)) << failure.path << ": " << failure.why;
    EXPECT_EQ(Linked(whole), "one=first;held=bytes;two=" + std::string(100000, 'z') + ";");

    std::vector<Entry> missing = {{"one", one, {}}, {"gone", dir.path() / "in" / "gone.txt", {}}};
    request.folder = dir.MakeDir("out");
    EXPECT_FALSE(library::WriteLibrary(request, missing, &failure));
    EXPECT_NE(failure.path.find("gone.txt"), std::string::npos) << failure.path;
    EXPECT_TRUE(fs::is_empty(dir.path() / "out"));

    // a package's file not as the walk saw it: rewritten (same length, a
    // new time) or cut while it was read
    platform::FileFacts seen;
    ASSERT_TRUE(platform::QueryFile(two, &seen));
    request.package = true;
    const struct {
        const char* what;
        std::uint64_t size;
        std::int64_t modified;
        bool written;
    } rows[] = {
        {"as walked", seen.size, seen.modified, true},
        {"rewritten in place", seen.size, seen.modified - 1, false},
        {"another length", seen.size + 1, seen.modified, false},
    };
    for (const auto& row : rows) {
        std::vector<Entry> walked = {{"two", two, {}, row.size, row.modified}};
        fs::path out = dir.MakeDir(std::string("pkg-") + row.what);
        request.folder = out;
        EXPECT_EQ(library::WriteLibrary(request, walked, &failure), row.written) << row.what;
        if (row.written) continue;
        EXPECT_EQ(failure.why, "changed while it was read") << row.what;
        EXPECT_TRUE(fs::is_empty(out)) << row.what;
    }
}

}  // namespace
}  // namespace test
