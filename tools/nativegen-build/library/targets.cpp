// The targets a library links for, and the largest blob each takes.
#include "tools/nativegen-build/library/targets.h"

#include <iterator>

namespace library {

namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// x86-64 ELF: the large-data section lies past all other data (4.5 GiB
// measured). Elsewhere the blob lies among the read-only data, between
// code and what reaches code within 2 GiB (unwind tables, x86-64 data
// references; one msvc object stays below 2 GiB besides), or a 32-bit
// address space holds it all; the rest of the reach is the program's.
// Invariant: "any" is the smallest, and the last.
constexpr struct {
    std::string_view name;
    std::uint64_t limit;
} kLimits[] = {
    {"elf-x86_64", 4608 * kMiB}, {"elf-aarch64", 1536 * kMiB},  {"elf", 1536 * kMiB},
    {"coff", 1536 * kMiB},       {"msvc", 1536 * kMiB},         {"macho-x86_64", 1536 * kMiB},
    {"macho-arm64", 1536 * kMiB}, {"any", 1536 * kMiB},
};

}  // namespace

bool BlobLimit(std::string_view target, std::uint64_t* limit) {
    for (const auto& entry : kLimits) {
        if (entry.name != target) continue;
        *limit = entry.limit;
        return true;
    }
    return false;
}

bool WithinBlobLimit(std::uint64_t total, std::string_view target) {
    std::uint64_t limit = 0;
    return BlobLimit(target, &limit) && total <= limit;
}

std::string TargetNames(std::string_view separator, std::string_view last) {
    std::string names;
    for (std::size_t i = 0; i < std::size(kLimits); ++i) {
        if (i > 0) names += i + 1 == std::size(kLimits) ? last : separator;
        names += kLimits[i].name;
    }
    return names;
}

}  // namespace library
