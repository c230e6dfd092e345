// The targets a library links for: each takes a blob of exactly its
// limit and not one byte more, and "any" is the smallest.
#include "tools/nativegen-build/library/targets.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(TargetsTest, ABlobOfTheLimitLinksAndOneByteMoreDoesNot) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    const struct {
        const char* target;
        std::uint64_t limit;  // as bench/blob-limits measured it
    } cases[] = {
        {"elf-x86_64", 4608 * kMiB}, {"elf-aarch64", 1536 * kMiB}, {"elf", 1536 * kMiB},
        {"coff", 1536 * kMiB},       {"msvc", 1536 * kMiB},        {"macho-x86_64", 1536 * kMiB},
        {"macho-arm64", 1536 * kMiB}, {"any", 1536 * kMiB},
    };
    std::uint64_t any = 0;
    ASSERT_TRUE(library::BlobLimit("any", &any));
    for (const auto& c : cases) {
        std::uint64_t limit = 0;
        ASSERT_TRUE(library::BlobLimit(c.target, &limit)) << c.target;
        EXPECT_EQ(limit, c.limit) << c.target;
        EXPECT_TRUE(library::WithinBlobLimit(0, c.target)) << c.target;
        EXPECT_TRUE(library::WithinBlobLimit(c.limit, c.target)) << c.target;
        EXPECT_FALSE(library::WithinBlobLimit(c.limit + 1, c.target)) << c.target;
        EXPECT_LE(any, limit) << c.target << " is smaller than any";
        EXPECT_NE(library::TargetNames(" ", " ").find(c.target), std::string::npos) << c.target;
    }
    // a name it does not know takes nothing
    for (const char* unknown : {"", "ELF", "elf-x86", "wasm"}) {
        std::uint64_t limit = 0;
        EXPECT_FALSE(library::BlobLimit(unknown, &limit)) << unknown;
        EXPECT_FALSE(library::WithinBlobLimit(0, unknown)) << unknown;
    }
}

}  // namespace
