// What a library's data can link into: the targets by name and the
// largest blob each takes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace library {

// The largest blob (the scripts' bytes together) that links for the
// target `name` into `limit`: "elf-x86_64", "elf-aarch64", "elf" (any other
// processor), "coff" (MinGW, Cygwin), "msvc" (the Msvc data format),
// "macho-x86_64", "macho-arm64", or "any" (the smallest of them, for a
// target not named). False for any other name. The numbers are measured
// with bench/blob-limits, or follow from the relocations' reach where
// nothing here links for the target.
bool BlobLimit(std::string_view target, std::uint64_t* limit);

// Does a blob of `total` bytes link for the target `target`: is it at
// most that target's limit? False for a name BlobLimit does not know.
bool WithinBlobLimit(std::uint64_t total, std::string_view target);

// Every target's name, in the order above ("any" last), joined by
// `separator` and by `last` before the last one.
std::string TargetNames(std::string_view separator, std::string_view last);

}  // namespace library
