// The Msvc data source: a library's blob as C string literals that every
// compiler of that dialect takes, written as the blob's bytes come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/nativegen-build/library/sources.h"

namespace library {

// The Msvc data source written as the blob's bytes come, never holding
// more than a row of them: Begin, Add for each run of bytes in order, End.
// The text goes to `out` (appended), for the caller to write out.
class MsvcWriter {
public:
    // `symbol` is BlobSymbol's for the plan and the entries.
    MsvcWriter(const Plan& plan, std::string symbol, std::uint64_t size);
    // The text before the bytes, which names the blob's `hash` (BlobHash's).
    void Begin(std::string_view hash, std::string* out) const;
    void Add(std::string_view bytes, std::string* out);
    // The tail and the close.
    void End(std::string* out);

private:
    const Plan& plan_;
    std::string symbol_;
    std::uint64_t size_, rows_, rowsDone_ = 0;
    std::string row_;  // the bytes of the row being filled
};

// The Msvc data source's limits: no literal piece longer than kPieceBytes
// bytes, and kRowBytes bytes (kPiecesPerRow pieces) in one concatenation.
inline constexpr std::size_t kPieceBytes = 4064;
inline constexpr std::size_t kPiecesPerRow = 16;
inline constexpr std::size_t kRowBytes = kPieceBytes * kPiecesPerRow;

}  // namespace library
