// The whole job on trees that every build can make.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "tests/generator_fixture.h"

using test::GeneratorTest;
using test::Pair;
using test::WellFormed;
namespace fs = test::fs;

TEST_F(GeneratorTest, NoScriptsGiveAnEmptyHeaderThatReplacesTheOldOne) {
    work_.Write("native.h", std::string(5000, 'x'));
    EXPECT_EQ(Run(), 0);
    ASSERT_TRUE(fs::exists(work_.path() / "native.h"));
    EXPECT_EQ(fs::file_size(work_.path() / "native.h"), 0u);
    EXPECT_EQ(errors_, "");
    // nothing is written beside the program
    EXPECT_EQ(tree_.Names(), std::vector<std::string>{program_.filename().string()});
}

TEST_F(GeneratorTest, FilesComeBeforeSubdirectoriesDepthFirst) {
    std::string expected;
    expected += Script("a.js", "A");
    expected += Script("B.js", "B");
    expected += Script("c.js", "C");
    expected += Script("lib\\fs.js", "hi");
    expected += Script("lib\\deep\\x.js", "X");
    expected += Script("lib\\deep\\z\\y.js", "Y");
    expected += Script("lib\\deeper\\w.js", "W");
    expected += Script("lib2\\v.js", "V");
    tree_.Write("notes.txt", "not a script");
    tree_.Write("lib/readme.md", "nor this");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Header(), expected);
}

TEST_F(GeneratorTest, LinesFollowTheFormatByteForByte) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::string expected;
    expected += Script("all.js", all);
    expected += Script("empty.js", "");
    expected += Script("UPPER.JS", "up");                   // matched, extension kept
    expected += Script("mod.js\\inner.js", "in");           // ".js" removed inside names too
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Header(), expected);
    EXPECT_NE(Header().find("{0,1,2,"), std::string::npos);
    EXPECT_NE(Header().find(",254,255};\r\n"), std::string::npos);
    EXPECT_NE(Header().find("const char empty[] = {};\r\n"), std::string::npos);
}

TEST_F(GeneratorTest, WorkedExample) {
    Script("lib\\fs.js", "hi");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Header(),
              "const char lib_fs[] = {104,105};\r\n"
              "node_native native_lib_fs{ \"lib/fs\", lib_fs, sizeof(lib_fs) };\r\n");
}

TEST_F(GeneratorTest, IdentifierClashesAreEmittedTwice) {
    std::string expected;
    expected += Script("a_b.js", "1");
    expected += Script("a\\b.js", "2");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Header(), expected);
    EXPECT_EQ(Pair("a_b.js", "1").substr(0, 15), Pair("a\\b.js", "2").substr(0, 15));
}

TEST_F(GeneratorTest, ReadOnlyDirectoryNamedLikeAScriptGetsEmptyBraces) {
    if (test::kWindowsBuild) GTEST_SKIP() << "Wine keeps no read-only bit on directories";
    std::string expected = Script("a.js", "a");
    fs::path dir = tree_.MakeDir("ro.js");
    tree_.Write("ro.js/inside.js", "in");
    fs::permissions(dir, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    expected += Pair("ro.js", "");               // the file pass takes it: read-only meets the mask
    expected += Pair("ro.js\\inside.js", "in");  // and the directory pass walks it
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Header(), expected);
}

TEST_F(GeneratorTest, TheProgramNeverEmitsItself) {
    if (test::kWindowsBuild) GTEST_SKIP() << "a Windows program keeps its .exe name";
    std::string expected = Script("a.js", "a");
    EXPECT_EQ(Run("tool.js"), 0);
    EXPECT_EQ(Header(), expected);
}

TEST_F(GeneratorTest, TheWindowsProgramOpensNoConsole) {
    if (!test::kWindowsBuild) GTEST_SKIP() << "only a Windows program has a subsystem";
    std::string image = test::ReadAll(test::GeneratorProgram());
    ASSERT_GT(image.size(), 0x200u);
    std::uint32_t pe = 0;
    std::memcpy(&pe, image.data() + 0x3C, sizeof pe);
    ASSERT_LT(pe + 24 + 70, image.size());
    ASSERT_EQ(image.substr(pe, 4), std::string("PE\0\0", 4));
    std::uint16_t subsystem = 0;
    std::memcpy(&subsystem, image.data() + pe + 24 + 68, sizeof subsystem);  // in the optional header
    EXPECT_EQ(subsystem, 2) << "2 is the GUI subsystem, 3 the console";
}

TEST_F(GeneratorTest, AFolderEndingInASingleByteCharacterIsTheProgramsOwn) {
    // code page 936 writes € as the one byte 0x80, which leads no pair: the
    // backslash after it still separates
    const fs::path folder(u8"x€");
    tree_.Write("sibling.js", "not below the program");
    std::string expected = Pair("mine.js", "m");
    tree_.Write(folder / "mine.js", "m");
    EXPECT_EQ(Run(folder / test::GeneratorProgram().filename()), 0);
    EXPECT_EQ(Header(), expected);
}

TEST_F(GeneratorTest, PathsOverTheLimitAreSkipped) {
    std::size_t root = test::ProgramPath(tree_.path()).size();
    ASSERT_LT(root, 150u);
    std::string expected = Script("short.js", "s");
    // a directory too long to search (its pattern "\\*.js" passes 259
    // bytes), beside a script whose path stays within the limit
    expected += Script("k\\" + std::string(240 - root, 'k') + ".js", "fits");
    tree_.Write(std::string(255 - root, 'd') + "/a.js", "too long");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Header(), expected);
}

TEST_F(GeneratorTest, StartedElsewhereItWritesIntoItsWorkingDirectory) {
    std::string expected = Script("x.js", "x");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Header(), expected);
    EXPECT_FALSE(fs::exists(tree_.path() / "native.h"));
}

// ---- Runs that go wrong ------------------------------------------------------------

TEST_F(GeneratorTest, AllocationFailureAnywhereLeavesTheEarlierHeader) {
    std::string expected;
    expected += Script("a.js", "first");
    expected += Script("lib\\b.js", std::string(70000, 'b'));  // more than one piece of the header
    expected += Script("lib\\deep\\c.js", "third");
    work_.Write("native.h", "earlier header");

    // a clean run first, to learn how many heap requests a whole run makes
    long total = HeapRequestsOfARun();
    ASSERT_EQ(Header(), expected);
    ASSERT_GT(total, 10);

    // every request of the run, failed in turn (a sample of them under Wine,
    // where each run takes a while)
    long step = test::kWindowsBuild ? std::max(1L, total / 12) : 1;
    for (long n = 1; n <= total; n += step) {
        work_.Write("native.h", "earlier header");
        ASSERT_EQ(RunFaulty(n), 0) << n;
        EXPECT_NE(errors_.find("[error] 内存不足\n"), std::string::npos) << n << ": " << errors_;
        EXPECT_NE(errors_.find("exit hook ran"), std::string::npos) << n;
        EXPECT_EQ(Header(), "earlier header") << n;
        EXPECT_EQ(WorkNames(), std::vector<std::string>{"native.h"}) << n << ": a pending file was left";
    }
    // one past the last request: nothing fails
    ASSERT_EQ(RunFaulty(total + 1), 0);
    EXPECT_EQ(Header(), expected);
    EXPECT_EQ(errors_.find("[error]"), std::string::npos);
}

TEST_F(GeneratorTest, AHeaderThatCannotBeCreatedOverStaysAsItWas) {
    std::string expected = Script("a.js", "a");
    for (char attribute : {'r', 'h', 's'}) {
        fs::path header = work_.Write("native.h", "earlier header");
        if (!test::MarkFile(header, attribute)) GTEST_SKIP() << "no stored attributes here";
        EXPECT_EQ(Run(), 0) << attribute;
        EXPECT_EQ(errors_, "") << attribute;
        EXPECT_EQ(Header(), "earlier header") << attribute;
        EXPECT_EQ(WorkNames(), std::vector<std::string>{"native.h"}) << attribute;
        fs::permissions(header, fs::perms::owner_write, fs::perm_options::add);
        fs::remove(header);
    }
    work_.Write("native.h", "earlier header");  // a plain one is replaced
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Header(), expected);
}

TEST_F(GeneratorTest, ScriptsTooLongForAByteArrayGetEmptyBraces) {
    std::string expected = Script("a.js", "a");
    // past a byte array's length word, and past 32 bits: nothing is read
    const std::uintmax_t sizes[] = {2200000000u, (std::uintmax_t{4} << 30) + 10};
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        std::string name = "big" + std::to_string(i) + ".js";
        std::error_code error;
        fs::resize_file(tree_.Write(name, ""), sizes[i], error);
        if (error) GTEST_SKIP() << "no sparse files here";
        expected += Pair(name, "");
    }
    expected += Script("c.js", "c");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(errors_, "");
    EXPECT_EQ(Header(), expected);
}

TEST_F(GeneratorTest, AHeaderNameTakenByADirectoryStaysAsItWas) {
    Script("a.js", "a");
    work_.Write("native.h/keep", "kept");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(errors_, "");
    EXPECT_EQ(test::ReadAll(work_.path() / "native.h" / "keep"), "kept");
    EXPECT_EQ(WorkNames(), std::vector<std::string>{"native.h"});
}

TEST_F(GeneratorTest, ManyEntriesInOneDirectory) {
    int count = test::kWindowsBuild ? 2000 : 10000;
    for (int i = 0; i < count; ++i) tree_.Write("many/m" + std::to_string(i) + ".js", std::to_string(i));
    EXPECT_EQ(Run(), 0);
    std::string header = Header(), why;
    EXPECT_TRUE(WellFormed(header, &why)) << why;
    EXPECT_EQ(std::count(header.begin(), header.end(), '\n'), 2 * count);
    EXPECT_NE(header.find(Pair("many\\m9.js", "9") + Pair("many\\m90.js", "90")), std::string::npos)
        << "sorted as names, not as numbers";
}
