// A package library's package.json tables as this build's compiler compiled them, against reading the same bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/nativegen-build/library/package_dump.h"
#include "tree/package_json.h"
#include "value_packages.h"

namespace {

// Every package.json of tests/fixtures/library_packages, in byte order of
// their folders, holds what read_package_json gives for the bytes the
// library holds for it.
TEST(LibraryPackagesTest, EachTableIsWhatReadingItsBytesGives) {
    const nativegen::detail::table& t = value_packages::library().table();
    ASSERT_NE(t.packages, nullptr);
    const std::vector<std::string> folders = {"", "lib", "node_modules/dep"};
    ASSERT_EQ(t.package_count, folders.size());
    for (std::size_t k = 0; k < t.package_count; ++k) {
        const nativegen::detail::package& p = t.packages[k];
        const std::string folder(p.folder.text, p.folder.size);
        EXPECT_EQ(folder, folders[k]);
        const value_packages::entry* e = value_packages::find(folder + (folder.empty() ? "" : "/") + "package.json");
        ASSERT_NE(e, nullptr) << folder;
        std::string bytes(e->size, '\0');
        ASSERT_TRUE(value_packages::read(*e, bytes.data())) << folder;
        const nativegen::detail::package_json read = nativegen::detail::read_package_json(folder, bytes);
        ASSERT_TRUE(read.valid) << folder;
        EXPECT_EQ(test::DumpPackage(p, read.values.size()), test::DumpPackage(read.view(), read.values.size()));
    }
    EXPECT_EQ(t.source, nullptr);
}

}  // namespace
