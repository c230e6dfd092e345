// Resolution against node's answers over the fetched npm packages: every row of tests/resolve/expected-packages.json in both modes, over the packages' folder on disk and over the front end's library of each mounted at /node_modules/NAME.
//
//   packages_check TABLE FOLDER    # FOLDER: what tests/packages/fetch prints
#include <nativegen/resolve.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "resolve_package_libraries.h"
#include "tests/resolve/resolve_table.h"

namespace {

// The rows' answers in both modes over `files`; prints the first
// mismatches and gives how many there were.
std::size_t Check(const char* variant, const nativegen::tree& files, const std::vector<resolve_table::row>& rows) {
    const nativegen::resolver resolver(files);
    std::size_t wrong = 0;
    for (const resolve_table::row& r : rows) {
        for (const nativegen::mode how : {nativegen::mode::require, nativegen::mode::import}) {
            const std::string d = resolve_table::mismatch(how == nativegen::mode::require ? r.require : r.import,
                                                          resolver.resolve(resolve_table::specifier(r), r.from, how));
            if (d.empty()) continue;
            if (++wrong <= 30)
                std::printf("%s: %s '%s' from %s: %s\n", variant, how == nativegen::mode::require ? "require" : "import",
                            r.specifier.c_str(), r.from.c_str(), d.c_str());
        }
    }
    std::printf("packages_check: %s: %zu of %zu answers as node's\n", variant, 2 * rows.size() - wrong, 2 * rows.size());
    return wrong;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: packages_check TABLE FOLDER\n");
        return 2;
    }
    std::vector<resolve_table::row> rows;
    try {
        rows = resolve_table::read(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "packages_check: %s: %s\n", argv[1], e.what());
        return 1;
    }
    if (rows.size() < 1000) {
        std::fprintf(stderr, "packages_check: %s: only %zu rows\n", argv[1], rows.size());
        return 1;
    }
    nativegen::tree disk;
    if (disk.mount("/", argv[2]) != nativegen::fault::none) {
        std::fprintf(stderr, "packages_check: %s: not a folder\n", argv[2]);
        return 1;
    }
    nativegen::tree libraries;
    for (const auto& [name, library] : resolve_package_libraries)
        if (libraries.mount("/node_modules/" + name, library()) != nativegen::fault::none) {
            std::fprintf(stderr, "packages_check: /node_modules/%s could not be mounted\n", name.c_str());
            return 1;
        }
    const std::size_t wrong = Check("folder on disk", disk, rows) + Check("libraries", libraries, rows);
    return wrong == 0 ? 0 : 1;
}
