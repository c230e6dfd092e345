#include "tools/nativegen-build/library/targets.h"

namespace library {

bool BlobLimit(std::string_view target, std::uint64_t* limit) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    // x86-64 ELF: the large-data section lies past all other data (4.5 GiB
    // measured). Elsewhere the blob lies among the read-only data, between
    // code and what reaches code within 2 GiB (unwind tables, x86-64 data
    // references; one msvc object stays below 2 GiB besides), or a 32-bit
    // address space holds it all; the rest of the reach is the program's.
    // Invariant: "any" is the smallest.
    static const struct {
        std::string_view name;
        std::uint64_t limit;
    } limits[] = {
        {"elf-x86_64", 4608 * kMiB}, {"elf-aarch64", 1536 * kMiB},  {"elf", 1536 * kMiB},
        {"coff", 1536 * kMiB},       {"msvc", 1536 * kMiB},         {"macho-x86_64", 1536 * kMiB},
        {"macho-arm64", 1536 * kMiB}, {"any", 1536 * kMiB},
    };
    for (const auto& entry : limits) {
        if (entry.name != target) continue;
        *limit = entry.limit;
        return true;
    }
    return false;
}

}  // namespace library
