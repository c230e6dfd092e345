// A package library written back out, for package_check.py to compare
// with the tree: every entry (its name, size and bytes), then list() of
// every folder its names hold and of folders it does not hold. find()
// must give each entry by its name; the count must agree. With PROBES
// (paths, each as its length in bytes, a newline, its bytes, a newline),
// what nativegen::library's kind() and list() say of each, in order:
// "P <kind: 0 none, 1 file, 2 folder> <count>", then the names listed.
//
//   package_check OUT [PROBES]
#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "library_probe.h"
#include "pkg.h"

int main(int argc, char** argv) {
    std::FILE* out = argc >= 2 && argc <= 3 ? std::fopen(argv[1], "wb") : nullptr;
    if (!out) return 2;
    int failures = pkg::count() != pkg::all().size() || pkg::find("no/such.js") || pkg::find("lib") ||
                   !pkg::list("package.json").empty() || !pkg::list("no/such").empty();
    std::set<std::string> folders{""};
    for (const pkg::entry& e : pkg::all()) {
        std::string name = e.name;
        failures += pkg::find(name) != &e || pkg::find((name + "/x").data(), name.size()) != &e;
        std::fprintf(out, "F %s\n%zu\n", e.name, e.size);
        std::fwrite(e.data, 1, e.size, out);
        std::fputc('\n', out);
        for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
            folders.insert(name.substr(0, slash));
    }
    for (const std::string& folder : folders) {
        pkg::names names = pkg::list(folder);
        failures += folder.empty() ? names.empty() : pkg::list(folder + "/").begin() != names.begin();
        std::fprintf(out, "L %s\n%zu\n", folder.c_str(), names.size());
        std::vector<std::string_view> copied(names.begin(), names.end());
        failures += copied.size() != names.size() || !std::is_sorted(copied.begin(), copied.end()) ||
                    (!names.empty() && *(names.end() - 1) != names[names.size() - 1]);
        for (std::string_view name : names) std::fprintf(out, "%.*s\n", static_cast<int>(name.size()), name.data());
    }
    if (argc == 3 && !Probe(pkg::library(), argv[2], out)) return 2;
    std::fprintf(out, "E %d\n", failures);
    return std::fclose(out) == 0 && failures == 0 ? 0 : 1;
}
