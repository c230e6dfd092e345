#include "tools/nativegen-build/library/blob.h"

#include <bit>
#include <cstring>

namespace library {
namespace {

bool Letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool Digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string Hash(std::string_view bytes) {
    BlobHash hash(bytes.size());
    hash.Add(bytes);
    return hash.Hex();
}

std::string BlobSymbol(const Plan& plan, const std::vector<Script>& scripts, std::uint64_t blobSize) {
    std::string symbol = "nativegen_blob_";
    for (char c : plan.name) {
        char d = Letter(c) || Digit(c) ? c : '_';
        if (!(d == '_' && symbol.back() == '_')) symbol += d;
    }
    if (symbol.back() != '_') symbol += '_';
    std::string key = plan.name;
    key += '\0';
    key += plan.nameSpace;
    key += '\0' + std::to_string(blobSize);
    for (const Script& s : scripts) {
        key += '\0' + s.name + '\0' + std::to_string(s.offset) + ',' + std::to_string(s.size);
        if (s.compressed) key += ",z" + std::to_string(s.length);
    }
    return symbol + Hash(key).substr(0, 16);
}

std::string HashedBlobName(const std::string& name, const std::string& hash) { return name + "." + hash + ".bin"; }

BlobHash::BlobHash(std::uint64_t size) : a_(0x9e3779b97f4a7c15ull ^ size), b_(0xc2b2ae3d27d4eb4full + size) {}

namespace {
std::uint64_t Mix(std::uint64_t h, std::uint64_t w, std::uint64_t k) {
    h = (h ^ w) * k;
    return h ^ (h >> 29);
}
}  // namespace

// Two lanes over little-endian 8-byte words, each multiplied and folded;
// the last, short word and the other lane close each.
void BlobHash::Word(std::uint64_t w) {
    a_ = Mix(a_, w, 0xff51afd7ed558ccdull);
    b_ = Mix(b_, w ^ 0x5bd1e9955bd1e995ull, 0xc4ceb9fe1a85ec53ull);
}

void BlobHash::Add(std::string_view bytes) {
    // the little-endian word at `p`: one load where the machine is little-endian
    auto word = [](const unsigned char* p) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        if constexpr (std::endian::native == std::endian::big) {
            std::uint64_t swapped = 0;
            for (int k = 0; k < 8; ++k, w >>= 8) swapped = (swapped << 8) | (w & 0xff);
            w = swapped;
        }
        return w;
    };
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    while (held_ > 0 && n > 0) {
        pending_[held_++] = *p++, --n;
        if (held_ == 8) Word(word(pending_)), held_ = 0;
    }
    for (; n >= 8; p += 8, n -= 8) Word(word(p));
    for (; n > 0; --n) pending_[held_++] = *p++;
}

std::string BlobHash::Hex() const {
    std::uint64_t w = 0;
    for (std::size_t k = held_; k > 0; --k) w = (w << 8) | pending_[k - 1];
    std::uint64_t a = Mix(Mix(a_, w, 0xff51afd7ed558ccdull), b_, 0x9e3779b97f4a7c15ull);
    std::uint64_t b = Mix(Mix(b_, w, 0xc4ceb9fe1a85ec53ull), a, 0xff51afd7ed558ccdull);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (std::uint64_t lane : {a, b})
        for (int shift = 60; shift >= 0; shift -= 4) out += hex[(lane >> shift) & 15];
    return out;
}

}  // namespace library
