// The whole job on trees only the Linux build can make here: stored
// attribute words, symbolic links, FIFOs and code page 936 names.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "tests/generator_fixture.h"

using test::GeneratorTest;
using test::Pair;
namespace fs = test::fs;

TEST_F(GeneratorTest, ANormalAttributeWordSkipsAScript) {
    std::string expected = Script("kept.js", "k");
    fs::path skipped = tree_.Write("normal.js", "n");
    if (setxattr(skipped.c_str(), "user.DOSATTRIB", "0x80", 4, 0) != 0) GTEST_SKIP() << "no user xattrs here";
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Header(), expected);
}

TEST_F(GeneratorTest, ADirectoryLinkLoopEnds) {
    std::string expected = Script("d\\a.js", "a");
    ASSERT_EQ(symlink("../d", (tree_.path() / "d" / "back").c_str()), 0);
    EXPECT_EQ(Run(), 0);
    // the loop is walked until its paths pass the limit, then the walk ends
    std::string header = Header();
    ASSERT_EQ(header.substr(0, expected.size()), expected);
    EXPECT_NE(header.find(Pair("d\\back\\a.js", "a")), std::string::npos);
    EXPECT_NE(header.find(Pair("d\\back\\back\\a.js", "a")), std::string::npos);
    EXPECT_LT(header.size(), 200000u);
}

TEST_F(GeneratorTest, ADirectoryEndingInATrailBackslashIsSearched) {
    // 乗 is 81 5C in code page 936: its trail byte is a backslash
    tree_.Write("x乗/a.js", "a");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Header(), "const char x\x81\x5c_a[] = {97};\r\n"
                        "node_native native_x\x81\x5c_a{ \"x\x81\x5c/a\", x\x81\x5c_a, sizeof(x\x81\x5c_a) };\r\n");
}

TEST_F(GeneratorTest, AFifoNamedLikeAScriptGetsEmptyBracesWithoutWaiting) {
    std::string expected = Script("a.js", "a");
    ASSERT_EQ(mkfifo((tree_.path() / "b.js").c_str(), 0644), 0);
    expected += Pair("b.js", "");
    expected += Script("c.js", "c");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Header(), expected);
}
