// A package library's package.json files: read when the library is built
// (tree/package_json.h), printed into its table as constant-initialised data.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tree/package_json.h"
#include "tools/nativegen-build/cli/outputs.h"
#include "tools/nativegen-build/library/writes.h"

namespace library {

using PackageJson = nativegen::detail::package_json;

// Is the entry `name` (a path below the root) a package.json: the name
// itself, or a path ending in "/package.json"?
bool IsPackageJson(std::string_view name);

// Reads every package.json of `entries` (a package's, as the walk found
// them) once: its bytes are then held in the entry (Entry::bytes, its
// file cleared), so the library takes them from there. Answers them in
// byte order of their folders in `packages`; each one not valid JSON adds
// a warning naming its file and the parse error to `warnings`. False,
// with `failure` naming the file, when one cannot be read or changed since
// the walk.
bool ReadPackages(std::vector<Entry>& entries, std::vector<PackageJson>* packages,
                  std::vector<std::string>* warnings, frontend::Failure* failure);

// The package tables of a library's table, inside its anonymous namespace:
// one kValuesN array per package that keeps values, and kPackages (none
// when `packages` is empty). `packages` in byte order of their folders.
std::string PackageTables(const std::vector<PackageJson>& packages);

// The table's `packages, package_count, source` initialisers: kPackages
// and its count, or null and 0; `source` as a literal, or null when empty.
std::string PackageFields(const std::vector<PackageJson>& packages, const std::string& source);

}  // namespace library
