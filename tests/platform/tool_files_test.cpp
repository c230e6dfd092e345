// The tools' file layer: a file put in place whole, from a whole content
// or streamed, over every kind of target a build meets, at any path.
#include "platform/tools/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/long_paths.h"
#include "tests/support/test_support.h"

namespace test {
namespace {

// A folder of `bytes` bytes below `root`, made; on Windows named behind
// "\\?\" so that the test's own std::filesystem calls reach it too.
fs::path Deep(const fs::path& root, std::size_t bytes) {
    fs::path path = kWindowsBuild ? fs::path(L"\\\\?\\" + fs::absolute(root).wstring()) : root;
    while (platform::Utf8(path).size() + 101 < bytes) path /= std::string(100, 'd');
    path /= std::string(bytes - platform::Utf8(path).size() - 1, 'e');
    fs::create_directories(path);
    return path;
}

TEST(ToolFilesTest, AFileIsPutInPlaceWholeOrLeftAsItWas) {
    TempDir dir;
    const struct {
        const char* what;
        const char* old;      // the target's bytes first; null: none
        char kind;            // ' ' a plain file, 'l' reached by a symbolic link, 'r' read-only, 'd' a folder
        bool onlyIfChanged;
        bool streamed;        // in three pieces (PlacedFile), else whole (PutFile)
        bool abandoned;       // streamed, then dropped
        bool written;         // the new bytes stand there after
        bool changed;
    } rows[] = {
        {"a new file", nullptr, ' ', true, false, false, true, true},
        {"a new file, streamed", nullptr, ' ', true, true, false, true, true},
        {"other bytes", "old", ' ', true, false, false, true, true},
        {"other bytes, streamed", "old", ' ', true, true, false, true, true},
        {"the same bytes", "new bytes!", ' ', true, false, false, true, false},
        {"the same bytes, streamed", "new bytes!", ' ', true, true, false, true, false},
        {"the same bytes, written anyway", "new bytes!", ' ', false, false, false, true, true},
        {"abandoned", "old", ' ', true, true, true, false, false},
        {"through a link", "old", 'l', true, false, false, true, true},
        {"read-only", "old", 'r', true, false, false, false, false},
        {"a folder", nullptr, 'd', true, false, false, false, false},
    };
    const std::vector<fs::path> folders = {
        dir.MakeDir("plain"), dir.MakeDir(fs::path(u8"bj\u00f6rn/\u6a21\u5757 \U0001F600")),
        Deep(dir.path() / "deep", 300)};
    for (const fs::path& folder : folders) {
        for (const auto& row : rows) {
            const std::string at = std::string(row.what) + " in " + platform::Utf8(folder);
            if (row.kind == 'l' && kWindowsBuild) continue;  // links there need a privilege
            const fs::path here = folder / row.what;
            fs::create_directories(here);
            fs::path target = here / u8"out\u00e9.h", real = target;
            if (row.kind == 'l') {
                real = here / "real.h";
                fs::create_symlink("real.h", target);
            }
            if (row.kind == 'd') fs::create_directories(target);
            if (row.old) {
                std::FILE* f = platform::CreateNewStream(real);
                ASSERT_NE(f, nullptr) << at;
                std::fputs(row.old, f);
                std::fclose(f);
                if (!kWindowsBuild) fs::permissions(real, fs::perms(0640));
            }
            if (row.kind == 'r') {  // the write bits off: read-only on either system
                std::error_code error;
                fs::permissions(real, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                                fs::perm_options::remove, error);
                ASSERT_FALSE(error) << at << ": " << error.message();
            }
            platform::FileFacts before;
            platform::QueryFile(real, &before);
            std::string why;
            bool changed = false, done;
            if (row.streamed) {
                platform::PlacedFile file;
                done = file.Open(target, row.onlyIfChanged, &why);
                for (const char* piece : {"new", " bytes", "!"}) file.Append(piece);
                if (row.abandoned) file.Abandon();
                else done = done && file.Commit(&why, &changed);
            } else {
                done = platform::PutFile(target, "new bytes!", row.onlyIfChanged, &why, &changed);
            }
            EXPECT_EQ(done, row.kind != 'r' && row.kind != 'd') << at << ": " << why;
            EXPECT_EQ(changed, row.changed) << at;
            if (row.kind != 'd') {
                EXPECT_EQ(ReadAll(real), row.written ? "new bytes!" : row.old ? row.old : "") << at;
            }
            platform::FileFacts after;
            platform::QueryFile(real, &after);
            if (row.old && !row.changed) {  // left alone: the same file, its time kept
                EXPECT_EQ(after.index, before.index) << at;
                EXPECT_EQ(after.modified, before.modified) << at;
            }
            if (row.old && row.changed && !kWindowsBuild) {
                EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms(0640)) << at;
            }
            if (row.kind == 'l') {
                EXPECT_TRUE(fs::is_symlink(target)) << at;
            }
            // nothing beside it but what was there: no new file left behind
            std::vector<std::string> expected = {platform::Utf8(target.filename())};
            if (row.kind == 'l') expected.push_back("real.h");
            if (!row.old && !row.written && row.kind != 'd') expected.clear();
            EXPECT_EQ(Names(here), expected) << at;
            if (row.kind == 'r') fs::permissions(real, fs::perms::owner_write, fs::perm_options::add);
        }
    }
    RemoveTree(folders.back());
}

TEST(ToolFilesTest, Utf8AndFsPathGiveEachOtherBack) {
    const std::vector<std::string> rows = {
        "plain", "bj\xc3\xb6rn", "\xe6\xa8\xa1\xe5\x9d\x97", "\xf0\x9f\x98\x80", "ni\xc3\xb1o/a b",
        std::string(kWindowsBuild ? "\xed\xa0\x80" : "\xff\xfe"),  // a lone surrogate on Windows; bytes on Linux
    };
    for (const std::string& utf8 : rows) EXPECT_EQ(platform::Utf8(platform::FsPath(utf8)), utf8);
}

}  // namespace
}  // namespace test
