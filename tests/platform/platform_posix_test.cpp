// The Linux stand-in: what it must do so that the runtime sees the files
// as Windows would show them.
#include "platform/runtime/platform.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/services/files.h"
#include "runtime/services/search.h"
#include "tests/support/test_support.h"

namespace {

using test::ProgramPath;
using test::TempDir;

struct Entry {
    std::string name;
    std::uint32_t attributes;
    bool operator==(const Entry&) const = default;
};

std::vector<Entry> List(const std::string& pattern) {
    std::vector<Entry> entries;
    platform::FoundData found;
    platform::SearchHandle search = platform::FindFirst(pattern.c_str(), &found);
    if (search == platform::kInvalidSearch) return entries;
    do entries.push_back({found.name, found.attributes});
    while (platform::FindNext(search, &found));
    platform::FindClose(search);
    return entries;
}

std::vector<std::string> Names(const std::vector<Entry>& entries) {
    std::vector<std::string> names;
    for (const Entry& e : entries) names.push_back(e.name);
    return names;
}

ByteBlock Read(const std::string& programPath) { return ReadWholeFile(1, TypedArg::Text(programPath.c_str())); }

}  // namespace

TEST(PosixPlatformTest, NamesComeBackInCodePage936AndOpenByThatName) {
    TempDir dir;
    dir.Write("乗.js", "trail");  // 乗 is 81 5C: its trail byte is a backslash
    dir.Write("内存.js", "cjk");
    auto names = Names(List(ProgramPath(dir.path()) + "\\*.js"));
    EXPECT_EQ(names, (std::vector<std::string>{"\x81\x5c.js", "\xc4\xda\xb4\xe6.js"}));

    ByteBlock block = Read(ProgramPath(dir.path()) + "\\\x81\x5c.js");
    ASSERT_NE(block, nullptr) << "the trail byte must not become a separator";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(BlockBytes(block)), block->length), "trail");
    ReleaseBlock(block);
}

TEST(PosixPlatformTest, WhatCodePage936CannotHoldBecomesAQuestionMark) {
    TempDir dir;
    dir.Write("\xf0\x9f\x98\x80.js", "emoji");  // no such character in code page 936
    dir.Write("bad\xff.js", "invalid UTF-8");
    auto names = Names(List(ProgramPath(dir.path()) + "\\*.js"));
    // one "?" per UTF-16 unit, as Windows gives; "B" sorts before a surrogate
    EXPECT_EQ(names, (std::vector<std::string>{"bad?.js", "??.js"}));
    EXPECT_EQ(Read(ProgramPath(dir.path()) + "\\??.js"), nullptr);  // cannot be opened by that name
    dir.Write("??.js", "another file");
    EXPECT_EQ(Read(ProgramPath(dir.path()) + "\\??.js"), nullptr) << "nor open another file";
}

TEST(PosixPlatformTest, NamesWindowsCannotHoldAreNotReported) {
    TempDir dir;
    for (const char* name : {"quote\".js", "back\\slash.js", "tab\t.js", "line\nfeed.js", "a<b.js", "a>b.js", "c:d.js",
                             "e|f.js", "what?.js", "star*.js", "plain.js"})
        dir.Write(name, "x");
    EXPECT_EQ(Names(List(ProgramPath(dir.path()) + "\\*.js")), (std::vector<std::string>{"plain.js"}));
}

TEST(PosixPlatformTest, EntriesSortAsNtfsListsAsciiNames) {
    TempDir dir;
    for (const char* name : {"b.js", "B.js", "a.js", "_x.js", "Z.js", "[.js", "10.js", "9.js"}) dir.Write(name, "x");
    // folded to upper case first ("_" 5F and "[" 5B sort after the letters),
    // ties broken by plain bytes
    EXPECT_EQ(Names(List(ProgramPath(dir.path()) + "\\*.js")),
              (std::vector<std::string>{"10.js", "9.js", "a.js", "B.js", "b.js", "Z.js", "[.js", "_x.js"}));
}

TEST(PosixPlatformTest, EntriesSortAsNtfsListsOtherNames) {
    TempDir dir;
    for (const char* name :
         {"模.js", "乗.js", "ё.js", "ā.js", "ü.js", "é.js", "~.js", "_.js", "[.js", "Z.js", "a.js", "É.js"})
        dir.Write(name, "x");
    // by UTF-16 units upper-cased: É (not in code page 936, so "?") and é
    // tie at C9, then go by their bytes on disk
    EXPECT_EQ(Names(List(ProgramPath(dir.path()) + "\\*.js")),
              (std::vector<std::string>{"a.js", "Z.js", "[.js", "_.js", "~.js", "?.js", "\xa8\xa6.js", "\xa8\xb9.js",
                                        "\xa8\xa1.js", "\xa7\xd7.js", "\x81\x5c.js", "\xc4\xa3.js"}));
}

TEST(PosixPlatformTest, AttributesAsWineReportsThem) {
    TempDir dir;
    dir.Write("plain.js", "x");
    chmod(dir.Write("locked.js", "x").c_str(), 0444);
    dir.Write(".hidden.js", "x");
    dir.MakeDir("sub.js");
    chmod(dir.MakeDir("ro.js").c_str(), 0555);
    auto entries = List(ProgramPath(dir.path()) + "\\*.*");
    EXPECT_EQ(entries, (std::vector<Entry>{{".", 0x10},
                                           {"..", 0x10},
                                           {".hidden.js", 0x22},
                                           {"locked.js", 0x21},
                                           {"plain.js", 0x20},
                                           {"ro.js", 0x11},
                                           {"sub.js", 0x10}}));
}

TEST(PosixPlatformTest, StoredAttributeWordReplacesTheBits) {
    TempDir dir;
    std::string file = dir.Write("normal.js", "x");
    if (setxattr(file.c_str(), "user.DOSATTRIB", "0x80", 4, 0) != 0) GTEST_SKIP() << "no user xattrs here";
    std::string system = dir.Write("system.js", "x");
    setxattr(system.c_str(), "user.DOSATTRIB", "0x24", 4, 0);
    std::string junk = dir.Write("junk.js", "x");
    setxattr(junk.c_str(), "user.DOSATTRIB", "\x01\x02", 2, 0);
    auto entries = List(ProgramPath(dir.path()) + "\\*.js");
    EXPECT_EQ(entries, (std::vector<Entry>{{"junk.js", 0x20}, {"normal.js", 0x80}, {"system.js", 0x24}}));
}

TEST(PosixPlatformTest, OnlyRegularFilesAreRead) {
    TempDir dir;
    std::string fifo = (dir.path() / "pipe.js").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(Read(ProgramPath(fifo)), nullptr);  // at once: no writer ever comes

    std::string sock = (dir.path() / "sock.js").string();
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", sock.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(Read(ProgramPath(sock)), nullptr);
    close(fd);

    EXPECT_EQ(Read("\\dev\\null"), nullptr);
    EXPECT_EQ(Read("\\dev\\zero"), nullptr);
}

TEST(PosixPlatformTest, SymbolicLinksAreFollowed) {
    TempDir dir;
    dir.Write("real/a.js", "x");
    ASSERT_EQ(symlink((dir.path() / "real").c_str(), (dir.path() / "link").c_str()), 0);
    ASSERT_EQ(symlink((dir.path() / "real" / "a.js").c_str(), (dir.path() / "b.js").c_str()), 0);
    auto entries = List(ProgramPath(dir.path()) + "\\*.*");
    EXPECT_EQ(entries, (std::vector<Entry>{{".", 0x10}, {"..", 0x10}, {"b.js", 0x20}, {"link", 0x10}, {"real", 0x10}}));
}

TEST(PosixPlatformTest, SearchesOfMaxPathOrMoreFail) {
    TempDir dir;
    std::string root = ProgramPath(dir.path());
    std::string pattern = root + "\\" + std::string(260 - root.size() - 1, '*');
    ASSERT_EQ(pattern.size(), 260u);
    EXPECT_TRUE(List(pattern).empty());
    pattern.pop_back();
    EXPECT_FALSE(List(pattern).empty()) << "259 bytes still search";
}

TEST(PosixPlatformTest, FilesOfMaxPathOrMoreCannotBeOpened) {
    TempDir dir;
    std::string root = ProgramPath(dir.path());
    std::string name(260 - root.size() - 1, 'b');
    dir.Write(name, "too long");
    std::string at260 = root + "\\" + name;
    ASSERT_EQ(at260.size(), 260u);
    EXPECT_EQ(Read(at260), nullptr);
    EXPECT_EQ(platform::CreateForWrite(at260.c_str()), platform::kInvalidFile);
}

TEST(PosixPlatformTest, ModulePathHasBackslashesAndNoDrive) {
    char path[260];
    int n = platform::ModuleFileName(path, sizeof path);
    ASSERT_GT(n, 0);
    EXPECT_EQ(path[0], '\\');
    EXPECT_EQ(std::string(path).find('/'), std::string::npos);
    char target[4096];
    ssize_t len = readlink("/proc/self/exe", target, sizeof target);
    std::string expected(target, static_cast<std::size_t>(len));
    std::replace(expected.begin(), expected.end(), '/', '\\');
    EXPECT_EQ(std::string(path, static_cast<std::size_t>(n)), expected);
}

TEST(PosixPlatformTest, HalfWidthMapsTheFullWidthAsciiForms) {
    struct {
        std::string in, out;
    } cases[] = {
        {"\xa3\xb1\xa3\xb2\xa3\xb3", "123"},
        {"\xa3\xa1\xa3\xfe", "!~"},
        {"\xa1\xa1", " "},
        {"\xa3\xc1x", "Ax"},
        {"\xc4\xda", "\xc4\xda"},  // any other character stays
        {"ab\xa3", "ab\xa3"},      // a lone lead byte stays
    };
    for (const auto& c : cases) {
        std::string out(c.in.size() + 1, '\0');
        platform::MapHalfWidth(c.in.data(), static_cast<int>(c.in.size()), out.data(), static_cast<int>(out.size()));
        EXPECT_EQ(std::string(out.c_str()), c.out);
    }
}

TEST(PosixPlatformTest, PendingFileWritesThroughALink) {
    TempDir dir;
    dir.Write("real.h", "old");
    ASSERT_EQ(symlink("real.h", (dir.path() / "native.h").c_str()), 0);
    PendingFile file;
    ASSERT_TRUE(test::OpenPendingAt(dir.path() / "native.h", &file));
    WritePendingFile(&file, "new", 3);
    EXPECT_EQ(CommitPendingFile(&file), 1);
    EXPECT_TRUE(test::fs::is_symlink(dir.path() / "native.h")) << "the link stays a link";
    EXPECT_EQ(test::ReadAll(dir.path() / "real.h"), "new");
}

TEST(PosixPlatformTest, PendingFileLeavesADeviceAlone) {
    TempDir dir;
    ASSERT_EQ(symlink("/dev/full", (dir.path() / "native.h").c_str()), 0);
    PendingFile file;
    EXPECT_FALSE(test::OpenPendingAt(dir.path() / "native.h", &file));
    WritePendingFile(&file, "text", 4);
    EXPECT_EQ(CommitPendingFile(&file), 0);
    EXPECT_TRUE(test::fs::is_symlink(dir.path() / "native.h"));
}

TEST(PosixPlatformTest, AFileShorterThanItsSizeGivesTheBytesReallyRead) {
    // a sysfs file says 4096 bytes and holds a few: what a script that
    // shrinks between the size query and the read looks like
    const char* file = "/sys/kernel/mm/transparent_hugepage/enabled";
    std::string content = test::ReadAll(file);
    struct stat st {};
    if (content.empty() || stat(file, &st) != 0 || st.st_size <= static_cast<off_t>(content.size()))
        GTEST_SKIP() << "no file here whose size says more than it holds";
    ByteBlock block = Read(ProgramPath(file));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(BlockBytes(block)), block->length), content)
        << "no zeros stand in for bytes that never came";
    ReleaseBlock(block);
}
