// Each file of a library compressed on its own, as one zstd frame that
// carries the file's length and a checksum of its content, so the
// library's read() finds damaged bytes; a file compression would not
// shrink by a tenth is stored as it is.
#pragma once

#include <string>
#include <string_view>

struct ZSTD_CCtx_s;

namespace library {

// The levels --compress takes, and the one it takes alone.
int MaxCompressLevel();
inline constexpr int kDefaultCompressLevel = 9;

class Compressor {
public:
    // `level` is 1 to MaxCompressLevel().
    explicit Compressor(int level);
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
    ~Compressor();

    // True, with the frame of `bytes` in `frame` (replaced), when it is
    // at most nine tenths of their length; false when `bytes` are better
    // stored as they are (`frame` unspecified then).
    bool Pack(std::string_view bytes, std::string* frame);

private:
    ZSTD_CCtx_s* context_;
};

}  // namespace library
