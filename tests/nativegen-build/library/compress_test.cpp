// The compressor: a frame is kept only when it saves a tenth, and the
// frame kept is the file's bytes again.
#include "tools/nativegen-build/library/compress.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include <zstd.h>

namespace {

// `n` bytes no compressor shrinks.
std::string Noise(std::size_t n, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// The frame's length when nothing bounds it, at `level`.
std::size_t FreeFrame(const std::string& bytes, int level) {
    std::string frame(ZSTD_compressBound(bytes.size()) + 64, '\0');
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
    ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, 1);
    std::size_t n = ZSTD_compress2(context, frame.data(), frame.size(), bytes.data(), bytes.size());
    ZSTD_freeCCtx(context);
    return ZSTD_isError(n) ? 0 : n;
}

// Noise and then zeros whose free frame is `over` bytes past the room a
// kept frame has (the length less a tenth of it, rounded down): the first
// such run of zeros after 2,000 bytes of noise; empty when there is none.
std::string AtTheBoundary(long over) {
    const std::string noise = Noise(2000);
    for (std::size_t zeros = 0; zeros < 4000; ++zeros) {
        std::string bytes = noise + std::string(zeros, '\0');
        long room = static_cast<long>(bytes.size() - bytes.size() / 10);
        if (static_cast<long>(FreeFrame(bytes, library::kDefaultCompressLevel)) == room + over) return bytes;
    }
    return std::string();
}

TEST(CompressTest, AFrameIsKeptOnlyWhenItSavesATenth) {
    const std::string exact = AtTheBoundary(0), over = AtTheBoundary(1), under = AtTheBoundary(-1);
    ASSERT_FALSE(exact.empty() || over.empty() || under.empty()) << "no bytes whose frame lies at the boundary";
    const struct {
        const char* what;
        std::string bytes;
        bool kept;
    } cases[] = {
        {"the frame exactly nine tenths", exact, true},
        {"the frame one byte over", over, false},
        {"the frame one byte under", under, true},
        {"noise", Noise(4096), false},
        {"two bytes", "ab", false},
        {"one byte", "a", false},
        {"empty", "", false},
        {"text that repeats", std::string(10000, 'x') + "tail", true},
    };
    for (const auto& c : cases) {
        library::Compressor compressor(library::kDefaultCompressLevel);
        std::string frame = "stale";
        bool kept = compressor.Pack(c.bytes, &frame);
        EXPECT_EQ(kept, c.kept) << c.what << " (" << c.bytes.size() << " bytes)";
        if (!kept || !c.kept) continue;
        EXPECT_LE(frame.size(), c.bytes.size() - c.bytes.size() / 10) << c.what;
        // the frame is the bytes again, its length and checksum in it
        std::string back(c.bytes.size(), '\0');
        EXPECT_EQ(ZSTD_getFrameContentSize(frame.data(), frame.size()), c.bytes.size()) << c.what;
        EXPECT_EQ(ZSTD_decompress(back.data(), back.size(), frame.data(), frame.size()), c.bytes.size()) << c.what;
        EXPECT_EQ(back, c.bytes) << c.what;
    }
}

}  // namespace
