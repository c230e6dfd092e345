#include "runtime/core/value.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "platform/runtime/platform.h"

using testing::AllOf;
using testing::HasSubstr;
using testing::Not;

namespace {

void HookMarks() {
    std::fputs("exit hook ran\n", stderr);
    std::fflush(stderr);
}

// A byte array of the given bytes, from the heap.
ByteBlock MakeBlock(std::initializer_list<unsigned char> bytes) {
    auto block = static_cast<ByteBlock>(AllocZeroed(sizeof(ByteBlockHeader) + bytes.size()));
    block->dimensions = 1;
    block->length = static_cast<std::int32_t>(bytes.size());
    std::memcpy(BlockBytes(block), bytes.begin(), bytes.size());
    return block;
}

}  // namespace

TEST(ValueTest, AllocZeroedGivesZeroedDistinctBlocks) {
    auto* a = static_cast<unsigned char*>(AllocZeroed(0));
    auto* b = static_cast<unsigned char*>(AllocZeroed(0));
    auto* c = static_cast<unsigned char*>(AllocZeroed(4096));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(c[i], 0) << i;
    ReleaseBlock(a);
    ReleaseBlock(b);
    ReleaseBlock(c);
}

TEST(ValueTest, ReleaseLeavesWhatIsNotALiveBlockAlone) {
    static const char literal[] = "*.js";
    char onStack[16] = "stack";
    auto* block = static_cast<char*>(AllocZeroed(32));
    std::strcpy(block, "heap text");

    ReleaseBlock(nullptr);
    ReleaseBlock(reinterpret_cast<void*>(0xFFFF));
    ReleaseBlock(literal);
    ReleaseBlock("another literal");
    ReleaseBlock(onStack);
    ReleaseBlock(block + 8);  // inside a block, not its start

    EXPECT_STREQ(literal, "*.js");
    EXPECT_STREQ(onStack, "stack");
    EXPECT_STREQ(block, "heap text");
    ReleaseBlock(block);
}

TEST(ValueTest, ReleaseTextEmptiesTheVariable) {
    TextValue text = static_cast<const char*>(AllocZeroed(8));
    ReleaseText(text);
    EXPECT_EQ(text, nullptr);
    TextValue literal = "*.js";
    ReleaseText(literal);
    EXPECT_EQ(literal, nullptr);
}

TEST(ValueTest, ResizeBlockKeepsTheBytes) {
    auto* p = static_cast<char*>(AllocZeroed(8));
    std::strcpy(p, "abcdefg");
    p = static_cast<char*>(ResizeBlock(p, 1 << 20));
    EXPECT_STREQ(p, "abcdefg");
    ReleaseBlock(p);
}

TEST(ValueTest, ByteElementsComeInOrder) {
    ByteBlock block = MakeBlock({7, 0, 255});
    EXPECT_EQ(ByteElement(block, 1), 7);
    EXPECT_EQ(ByteElement(block, 2), 0);
    EXPECT_EQ(ByteElement(block, 3), 255);
    ReleaseBlock(block);
}

TEST(ValueTest, ArrayElementsCountsEveryDimension) {
    std::int32_t twoByThree[] = {2, 2, 3, 0, 0, 0, 0, 0, 0};
    const unsigned char* first = nullptr;
    EXPECT_EQ(ArrayElements(twoByThree, &first), 6);
    EXPECT_EQ(first, reinterpret_cast<const unsigned char*>(twoByThree + 3));
    std::int32_t none[] = {0};
    EXPECT_EQ(ArrayElements(none, &first), 0);
    EXPECT_EQ(ArrayElements(nullptr, &first), 0);
    EXPECT_EQ(ArrayElements(&EmptyByteBlock, &first), 0);
}

TEST(ValueTest, FatalMessageCoversOneToEleven) {
    for (int code = 1; code <= 11; ++code) EXPECT_GT(std::strlen(FatalMessage(code)), 0u) << code;
    EXPECT_STREQ(FatalMessage(0), "");
    EXPECT_STREQ(FatalMessage(12), "");
    EXPECT_STREQ(FatalMessage(-7), "");
}

// ---- Ways out of the process -------------------------------------------------

class ValueDeathTest : public testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ValueDeathTest, IndexBelowOneRaisesErrorFour) {
    ByteBlock block = MakeBlock({1, 2, 3});
    EXPECT_EXIT(
        {
            RegisterExitHook(HookMarks);
            ByteElement(block, 0);
        },
        testing::ExitedWithCode(0),
        AllOf(HasSubstr("[error] program internal error number is 4. \n"),
              HasSubstr("数组成员引用下标必须大于等于1"), HasSubstr("exit hook ran")));
    ReleaseBlock(block);
}

TEST_F(ValueDeathTest, IndexBeyondTheLengthRaisesErrorOne) {
    ByteBlock block = MakeBlock({1, 2, 3});
    EXPECT_EXIT(ByteElement(block, 4), testing::ExitedWithCode(0),
                AllOf(HasSubstr("program internal error number is 1. \n数组成员引用下标超出定义范围")));
    EXPECT_EXIT(ByteElement(nullptr, 1), testing::ExitedWithCode(0), HasSubstr("error number is 1."));
    ReleaseBlock(block);
}

TEST_F(ValueDeathTest, FatalErrorReportsEveryCode) {
    struct Case {
        int code;
        const char* message;
    } cases[] = {
        {2, "未得到所需要的数值型数据"},
        {6, "调用DLL命令后发现堆栈错误，通常是DLL参数数目不正确"},
        {9, "“多项选择”命令的索引值参数小于零或超出了所提供参数表范围"},
        {11, "所提供参数的数据类型不符合要求"},
    };
    for (const Case& c : cases) {
        std::string first = "[error] program internal error number is " + std::to_string(c.code) + ". \n";
        EXPECT_EXIT(
            {
                RegisterExitHook(HookMarks);
                FatalError(c.code);
            },
            testing::ExitedWithCode(0), AllOf(HasSubstr(first + c.message + "\n"), HasSubstr("exit hook ran")));
    }
}

TEST_F(ValueDeathTest, CodeOutsideTheTableHasAnEmptyMessage) {
    for (int code : {0, 12, -1, 1000000}) {
        std::string whole = "[error] program internal error number is " + std::to_string(code) + ". \n\n";
        EXPECT_EXIT(FatalError(code), testing::ExitedWithCode(0), HasSubstr(whole));
    }
}

TEST_F(ValueDeathTest, OutOfMemoryReportsAndRunsTheHook) {
    EXPECT_EXIT(
        {
            RegisterExitHook(HookMarks);
            platform::FailHeapRequestsFrom(1);
            AllocZeroed(16);
        },
        testing::ExitedWithCode(0), AllOf(HasSubstr("[error] 内存不足\n"), HasSubstr("exit hook ran")));
}

TEST_F(ValueDeathTest, ExitProgramRunsTheLatestHookOnly) {
    EXPECT_EXIT(
        {
            RegisterExitHook([] { std::fputs("first hook\n", stderr); });
            RegisterExitHook(HookMarks);
            ExitProgram(0);
        },
        testing::ExitedWithCode(0), AllOf(HasSubstr("exit hook ran"), Not(HasSubstr("first hook"))));
}
