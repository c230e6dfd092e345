// Each file of a library as a zstd frame of its own, or as it is.
#include "tools/nativegen-build/library/compress.h"

#include <new>

#include <zstd.h>

namespace library {

int MaxCompressLevel() { return ZSTD_maxCLevel(); }

Compressor::Compressor(int level) : context_(ZSTD_createCCtx()) {
    if (!context_) throw std::bad_alloc();
    ZSTD_CCtx_setParameter(context_, ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(context_, ZSTD_c_checksumFlag, 1);
    ZSTD_CCtx_setParameter(context_, ZSTD_c_contentSizeFlag, 1);
}

Compressor::~Compressor() { ZSTD_freeCCtx(context_); }

bool Compressor::Pack(std::string_view bytes, std::string* frame) {
    if (bytes.empty()) return false;
    // Invariant: a frame is kept only when it saves a tenth; anything
    // longer is not worth the reader's time. (zstd given only that room
    // refuses frames that would fit it: it is given its whole bound.)
    std::size_t room = bytes.size() - bytes.size() / 10;
    frame->resize(ZSTD_compressBound(bytes.size()));
    std::size_t n = ZSTD_compress2(context_, frame->data(), frame->size(), bytes.data(), bytes.size());
    if (ZSTD_isError(n) || n > room) return false;
    frame->resize(n);
    return true;
}

}  // namespace library
