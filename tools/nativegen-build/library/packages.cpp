// A package library's package.json files, read at build time and printed as table data.
#include "tools/nativegen-build/library/packages.h"

#include <algorithm>

#include "tools/nativegen-build/library/escape.h"

namespace library {
namespace {

constexpr std::string_view kFile = "package.json";

// `text` as a detail::name's initialiser: {"text", length}.
std::string NameOf(std::string_view text) { return "{" + Quoted(text) + ", " + std::to_string(text.size()) + "}"; }

// A name that may be absent (null text): {nullptr, 0} then.
std::string NameOf(const nativegen::detail::name& n) {
    return n.text ? NameOf(std::string_view(n.text, n.size)) : std::string("{nullptr, 0}");
}

const char* TypeName(nativegen::detail::value_type type) {
    switch (type) {
        case nativegen::detail::null_value: return "null_value";
        case nativegen::detail::string_value: return "string_value";
        case nativegen::detail::array_value: return "array_value";
        case nativegen::detail::object_value: return "object_value";
        default: return "other_value";
    }
}

const char* TypeName(nativegen::detail::package_type type) {
    return type == nativegen::detail::type_module     ? "type_module"
           : type == nativegen::detail::type_commonjs ? "type_commonjs"
                                                      : "type_none";
}

}  // namespace

bool IsPackageJson(std::string_view name) {
    return name == kFile || (name.size() > kFile.size() && name.ends_with(kFile) &&
                             name[name.size() - kFile.size() - 1] == '/');
}

bool ReadPackages(std::vector<Entry>& entries, std::vector<PackageJson>* packages,
                  std::vector<std::string>* warnings, frontend::Failure* failure) {
    for (Entry& entry : entries) {
        if (!IsPackageJson(entry.name)) continue;
        const std::string path = frontend::Utf8(entry.file);
        if (!HoldFile(entry, failure)) return false;
        std::string folder = entry.name.substr(0, entry.name.size() - kFile.size());
        if (!folder.empty()) folder.pop_back();  // its "/"
        PackageJson read = nativegen::detail::read_package_json(std::move(folder), entry.bytes);
        if (!read.valid) warnings->push_back(path + ": not valid JSON: " + read.error);
        packages->push_back(std::move(read));
    }
    // entries go by their names, packages by their folders: "a-b/package.json"
    // comes before "a/package.json", the folder "a" before "a-b"
    std::stable_sort(packages->begin(), packages->end(),
                     [](const PackageJson& a, const PackageJson& b) { return a.folder < b.folder; });
    return true;
}

std::string PackageTables(const std::vector<PackageJson>& packages) {
    if (packages.empty()) return std::string();
    std::string out = "// the package.json files' values, a package's own array each\n";
    std::string table;
    for (std::size_t k = 0; k < packages.size(); ++k) {
        const nativegen::detail::package p = packages[k].view();
        const std::string values = "kValues" + std::to_string(k);
        if (!packages[k].values.empty()) {
            out += "constexpr ::nativegen::detail::value " + values + "[" +
                   std::to_string(packages[k].values.size()) + "] = {\n";
            for (const nativegen::detail::value& v : packages[k].values)
                out += "    {::nativegen::detail::" + std::string(TypeName(v.type)) + ", " + NameOf(v.text) + ", " +
                       std::to_string(v.first) + ", " + std::to_string(v.count) + "},\n";
            out += "};\n";
        }
        table += "    {" + NameOf(p.folder) + ", " + (p.valid ? "true" : "false") + ", ::nativegen::detail::" +
                 TypeName(p.type) + ",\n     " + NameOf(p.package_name) + ", " + NameOf(p.main) + ", " +
                 std::to_string(p.exports) + ", " + std::to_string(p.imports) + ", " +
                 (packages[k].values.empty() ? "nullptr" : values) + "},\n";
    }
    return out + "\n// the package.json files, in byte order of their folders\n"
                 "constexpr ::nativegen::detail::package kPackages[" + std::to_string(packages.size()) + "] = {\n" +
           table + "};\n\n";
}

std::string PackageFields(const std::vector<PackageJson>& packages, const std::string& source) {
    return (packages.empty() ? std::string("nullptr, 0") : "kPackages, " + std::to_string(packages.size())) + ", " +
           (source.empty() ? std::string("nullptr") : Quoted(source));
}

}  // namespace library
