// The decompressing reader of a compressed library: a table that holds zstd frames includes it and points at it.
#pragma once

#ifndef ZSTD_STATIC_LINKING_ONLY
#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_initStaticDCtx
#endif
#include <zstd.h>

#include <nativegen/library_table.h>

namespace nativegen {
namespace detail {

// Room for one decompression context on the reader's stack (zstd 1.5 takes
// some 94 KiB), so that a thread of 128 KiB has room for it.
inline constexpr std::size_t kReadRoom = 100 * 1024;

// Decompresses the frame `f` into `buffer` with a context made in the
// caller's stack: true when it holds exactly `size` bytes and zstd found
// its checksum right. Allocates nothing; any number of threads at once.
inline bool zstd_read(const frame& f, void* buffer, std::size_t size) noexcept {
    alignas(16) unsigned char room[kReadRoom];
    ZSTD_DCtx* context = ZSTD_initStaticDCtx(room, sizeof room);
    if (!context) return false;
    const std::size_t n = ZSTD_decompressDCtx(context, buffer, size, f.data, f.size);
    return !ZSTD_isError(n) && n == size;
}

}  // namespace detail
}  // namespace nativegen
