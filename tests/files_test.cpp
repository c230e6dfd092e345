#include "runtime/services/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/runtime/platform.h"
#include "runtime/services/text.h"
#include "tests/support/test_support.h"

namespace {

using test::OpenPendingAt;
using test::ProgramPath;
using test::ReadAll;
using test::TempDir;

std::string Take(TextValue text) {
    std::string s = text ? text : "";
    ReleaseBlock(text);
    return s;
}

ByteBlock Read(const test::fs::path& path) {
    std::string text = ProgramPath(path);
    return ReadWholeFile(1, TypedArg::Text(text.c_str()));
}

ByteBlock MakeBlockForTest(const std::string& bytes) {
    auto block = static_cast<ByteBlock>(AllocZeroed(sizeof(ByteBlockHeader) + bytes.size()));
    block->dimensions = 1;
    block->length = static_cast<std::int32_t>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), BlockBytes(block));
    return block;
}

std::string Bytes(ByteBlock block) { return std::string(reinterpret_cast<char*>(BlockBytes(block)), block->length); }

std::int32_t Write(const test::fs::path& path, std::initializer_list<ByteBlock> blocks) {
    std::string name = ProgramPath(path);
    std::vector<TypedArg> args{TypedArg::Text(name.c_str())};
    for (ByteBlock b : blocks) args.push_back(TypedArg::Bytes(b));
    return WriteFileParts(static_cast<int>(args.size()), args.data());
}

}  // namespace

TEST(FilesTest, ExeDirectoryAndFileNameNameThisProgram) {
    std::string directory = Take(ExeDirectory());
    std::string name = Take(ExeFileName());
    EXPECT_TRUE(name == "nativegen_runtime_tests" || name == "nativegen_runtime_tests.exe") << name;
    ASSERT_FALSE(directory.empty());
    EXPECT_NE(directory.back(), '\\');
    EXPECT_EQ(directory.find('/'), std::string::npos) << "backslash separators only: " << directory;
    // the two joined name a file that can be read: this very program
    std::string full = directory + "\\" + name;
    ByteBlock self = ReadWholeFile(1, TypedArg::Text(full.c_str()));
    ASSERT_NE(self, nullptr) << full;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(BlockBytes(self)), 2), test::kWindowsBuild ? "MZ" : "\x7f" "E");
    ReleaseBlock(self);
}

TEST(FilesTest, ReadWholeFileReadsEveryByte) {
    TempDir dir;
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    ByteBlock block = Read(dir.Write("all.bin", all));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->dimensions, 1);
    EXPECT_EQ(Bytes(block), all);
    ReleaseBlock(block);

    ByteBlock empty = Read(dir.Write("empty.js", ""));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->length, 0);
    ReleaseBlock(empty);
}

TEST(FilesTest, ReadWholeFileGivesNullForWhatIsNotAFile) {
    TempDir dir;
    dir.MakeDir("folder.js");
    EXPECT_EQ(Read(dir.path() / "missing.js"), nullptr);
    EXPECT_EQ(Read(dir.path() / "folder.js"), nullptr);
    EXPECT_EQ(ReadWholeFile(1, TypedArg::Text(nullptr)), nullptr);
}

TEST(FilesTest, ReadWholeFileOpensPathsJustUnderMaxPath) {
    TempDir dir;
    std::string root = ProgramPath(dir.path());
    ASSERT_LT(root.size(), 200u);
    std::string name(259 - root.size() - 1, 'a');
    dir.Write(name, "ok");
    std::string at259 = root + "\\" + name;
    ByteBlock fits = ReadWholeFile(1, TypedArg::Text(at259.c_str()));
    EXPECT_NE(fits, nullptr) << "a path of 259 bytes opens";
    ReleaseBlock(fits);
}

TEST(FilesTest, WriteFilePartsCreatesTruncatesAndJoins) {
    TempDir dir;
    ByteBlock abc = MakeBlockForTest("abc");
    ByteBlock de = MakeBlockForTest("de");
    EXPECT_EQ(Write(dir.path() / "out.h", {abc, &EmptyByteBlock, de}), 1);
    EXPECT_EQ(ReadAll(dir.path() / "out.h"), "abcde");
    EXPECT_EQ(Write(dir.path() / "out.h", {de}), 1);
    EXPECT_EQ(ReadAll(dir.path() / "out.h"), "de");
    EXPECT_EQ(Write(dir.path() / "out.h", {}), 1);  // the name alone: created or truncated, empty
    EXPECT_TRUE(test::fs::exists(dir.path() / "out.h"));
    EXPECT_EQ(ReadAll(dir.path() / "out.h"), "");
    EXPECT_EQ(Write(dir.path() / "out.h", {nullptr}), 1);  // null counts as empty
    ReleaseBlock(abc);
    ReleaseBlock(de);
}

TEST(FilesTest, WriteFailsWhereNoFileCanBeCreated) {
    TempDir dir;
    dir.MakeDir("taken");
    EXPECT_EQ(Write(dir.path() / "no" / "such" / "dir.h", {&EmptyByteBlock}), 0);
    EXPECT_EQ(Write(dir.path() / "taken", {&EmptyByteBlock}), 0);
}

TEST(PendingFileTest, CommitPutsTheWholeFileInPlace) {
    TempDir dir;
    dir.Write("native.h", "old content");
    PendingFile file;
    ASSERT_TRUE(OpenPendingAt(dir.path() / "native.h", &file));
    WritePendingFile(&file, "new ", 4);
    EXPECT_EQ(ReadAll(dir.path() / "native.h"), "old content") << "untouched until the commit";
    WritePendingFile(&file, "content", 7);
    EXPECT_EQ(CommitPendingFile(&file), 1);
    EXPECT_EQ(ReadAll(dir.path() / "native.h"), "new content");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"native.h"});
    EXPECT_EQ(CommitPendingFile(&file), 0) << "a file is committed once";
}

TEST(PendingFileTest, LargePiecesArriveWhole) {
    TempDir dir;
    std::string big(3 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    PendingFile file;
    ASSERT_TRUE(OpenPendingAt(dir.path() / "big.h", &file));
    WritePendingFile(&file, big.data(), big.size());
    WritePendingFile(&file, big.data(), 1000);
    EXPECT_EQ(CommitPendingFile(&file), 1);
    EXPECT_EQ(ReadAll(dir.path() / "big.h"), big + big.substr(0, 1000));
}

TEST(PendingFileTest, AnEmptyFileIsCreatedToo) {
    TempDir dir;
    PendingFile file;
    ASSERT_TRUE(OpenPendingAt(dir.path() / "native.h", &file));
    EXPECT_EQ(CommitPendingFile(&file), 1);
    EXPECT_TRUE(test::fs::exists(dir.path() / "native.h"));
    EXPECT_EQ(ReadAll(dir.path() / "native.h"), "");
}

TEST(PendingFileTest, AbandonLeavesTheEarlierFileAsItWas) {
    TempDir dir;
    dir.Write("native.h", "old content");
    PendingFile file;
    ASSERT_TRUE(OpenPendingAt(dir.path() / "native.h", &file));
    WritePendingFile(&file, "half", 4);
    AbandonPendingFile(&file);
    AbandonPendingFile(&file);  // twice is harmless
    EXPECT_EQ(ReadAll(dir.path() / "native.h"), "old content");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"native.h"});
    PendingFile never;
    AbandonPendingFile(&never);
    EXPECT_EQ(CommitPendingFile(&never), 0);
}

TEST(PendingFileTest, ATargetThatCannotBeReplacedStaysAndLeavesNothing) {
    TempDir dir;
    dir.Write("native.h/inside", "x");  // a directory by that name
    PendingFile file;
    if (OpenPendingAt(dir.path() / "native.h", &file)) {
        WritePendingFile(&file, "text", 4);
        EXPECT_EQ(CommitPendingFile(&file), 0);
    }
    EXPECT_EQ(ReadAll(dir.path() / "native.h" / "inside"), "x");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"native.h"});

    PendingFile lost;
    EXPECT_FALSE(OpenPendingAt(dir.path() / "no" / "such" / "native.h", &lost));
    EXPECT_EQ(CommitPendingFile(&lost), 0);
}

TEST(PendingFileTest, AMoveHeldForAMomentIsTriedAgainThenCopied) {
    // refused a few times, the move goes through; refused for longer than
    // the retries last, the content is copied into the target instead, also
    // while a reader (a scanner) holds it with the sharing such readers give
    const struct {
        int refusals;
        bool held;
    } cases[] = {{3, false}, {1000, false}, {1000, true}};
    for (const auto& c : cases) {
        TempDir dir;
        test::fs::path target = dir.Write("native.h", "old content");
        PendingFile file;
        ASSERT_TRUE(OpenPendingAt(target, &file));
        WritePendingFile(&file, "new", 3);
        platform::FileHandle holder = c.held ? platform::HoldForReading(ProgramPath(target).c_str()) : platform::kInvalidFile;
        ASSERT_EQ(holder == platform::kInvalidFile, !c.held);
        platform::RefuseMoves(c.refusals);
        EXPECT_EQ(CommitPendingFile(&file), 1) << c.refusals << (c.held ? ", held" : "");
        platform::RefuseMoves(0);
        platform::CloseFile(holder);
        EXPECT_EQ(ReadAll(target), "new") << c.refusals << (c.held ? ", held" : "");
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"native.h"}) << c.refusals << ": a pending file was left";
    }
}

TEST(PendingFileTest, AProtectedTargetIsLeftAlone) {
    for (char attribute : {'r', 'h', 's'}) {
        TempDir dir;
        test::fs::path target = dir.Write("native.h", "old content");
        if (!test::MarkFile(target, attribute)) GTEST_SKIP() << "no stored attributes here";
        PendingFile file;
        EXPECT_FALSE(OpenPendingAt(target, &file)) << attribute;
        WritePendingFile(&file, "new", 3);
        EXPECT_EQ(CommitPendingFile(&file), 0) << attribute;
        EXPECT_EQ(ReadAll(target), "old content") << attribute;
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"native.h"}) << attribute;
    }
}
