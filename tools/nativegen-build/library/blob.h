// A library's blob by name: the hash that marks its content, the file it
// is stored as and the symbol it is linked under.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/nativegen-build/library/sources.h"

namespace library {

// The name of the blob's symbol for `plan` and the entries' places:
// letters, digits and single underscores only.
std::string BlobSymbol(const Plan& plan, const std::vector<Script>& scripts, std::uint64_t blobSize);

// A 128-bit hash of `bytes` as 32 hex digits. Not for security: it marks
// content.
std::string Hash(std::string_view bytes);

// The blob's file name, NAME.<its hash>.bin, for a blob whose hash
// (Hash's, BlobHash's) is `hash`.
std::string HashedBlobName(const std::string& name, const std::string& hash);

// The hash that marks a blob's content in the source that names it, taken over
// the blob's bytes as they come, in order: the same for any split into
// pieces. `size` is the blob's whole length. Not for security.
class BlobHash {
public:
    explicit BlobHash(std::uint64_t size);
    void Add(std::string_view bytes);
    // 32 hex digits; the bytes added must be `size` in all.
    std::string Hex() const;

private:
    void Word(std::uint64_t word);
    std::uint64_t a_, b_;
    unsigned char pending_[8];
    std::size_t held_ = 0;  // bytes in pending_, fewer than 8
};

}  // namespace library
