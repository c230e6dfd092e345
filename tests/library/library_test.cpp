// <nativegen/library.h> over a package and a script library the front end built from tests/fixtures/library_value.
#include <nativegen/library.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "value_package.h"
#include "value_scripts.h"
#include "value_source.h"
#include "value_source_all.h"
#include "value_source_scripts.h"

namespace {

using namespace std::string_view_literals;
using nativegen::kind;

// Taken during dynamic initialisation: the tables are constant-initialised.
const nativegen::library early = value_package::library();
const nativegen::entry* const early_entry = value_scripts::find("lib/a");

// The bytes of the fixture's file `name`.
std::string FileBytes(const std::string& name) {
    std::ifstream in(std::filesystem::path(NATIVEGEN_VALUE_TREE) / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string_view> Listed(nativegen::names names) { return {names.begin(), names.end()}; }

struct ListRow {
    const char* why;
    std::string_view path;
    kind named;
    std::vector<std::string_view> listing;
};

void CheckRows(const nativegen::library& lib, const std::vector<ListRow>& rows) {
    for (const ListRow& row : rows) {
        EXPECT_EQ(lib.kind(row.path), row.named) << row.why;
        EXPECT_EQ(Listed(lib.list(row.path)), row.listing) << row.why;
    }
}

}  // namespace

TEST(LibraryValueTest, ListAndKindAnswerOnlyTheFolderOrFileAPathNames) {
    const std::vector<std::string_view> root = {"app.js", "lib.js", "lib/", "lid/"}, lib = {"a.js", "sub/"};
    CheckRows(value_package::library(),
              {
                  {"the root", "", kind::folder, root},
                  {"the root with a slash", "/", kind::folder, root},
                  {"a folder", "lib", kind::folder, lib},
                  {"a folder with a slash", "lib/", kind::folder, lib},
                  {"a folder below one", "lib/sub", kind::folder, {"b.js"}},
                  {"the last folder", "lid/", kind::folder, {"c.js", "d.json"}},
                  {"missing, as long as lib, before it", "lia", kind::none, {}},
                  {"missing, as long as lid, between lib and it", "lic", kind::none, {}},
                  {"missing, as long as lid, after it", "lie", kind::none, {}},
                  {"missing, as long as lib/sub, before it", "lib/sua", kind::none, {}},
                  {"missing, after every folder", "zzz", kind::none, {}},
                  {"a prefix of a folder", "li", kind::none, {}},
                  {"a folder and more", "lib/subx", kind::none, {}},
                  {"two slashes", "lib//", kind::none, {}},
                  {"another case", "LIB", kind::none, {}},
                  {"a file", "app.js", kind::file, {}},
                  {"a file below a folder", "lib/sub/b.js", kind::file, {}},
                  {"a file with a slash", "app.js/", kind::none, {}},
                  {"a file named like a folder", "lib.js", kind::file, {}},
                  {"a folder and a zero byte", "lib\0"sv, kind::none, {}},
                  {"a folder, a zero byte, a slash", "lib\0/"sv, kind::none, {}},
                  {"a file and a zero byte", "app.js\0"sv, kind::none, {}},
              });
    // the scripts' module "lib" is a folder's name too
    CheckRows(value_scripts::library(), {
                                            {"the root", "", kind::folder, {"app", "lib", "lib/", "lid/"}},
                                            {"a script and a folder", "lib", kind::file, {"a", "sub/"}},
                                            {"that folder with a slash", "lib/", kind::folder, {"a", "sub/"}},
                                            {"a script", "lib/a", kind::file, {}},
                                            {"missing, as long as lib", "lic", kind::none, {}},
                                            {"a file's name, not a module's", "app.js", kind::none, {}},
                                        });
    // the namespace's forms are the library's
    EXPECT_EQ(value_package::kind("lib"), kind::folder);
    // a null string names nothing, through the value as through the namespace
    const char* none = nullptr;
    EXPECT_TRUE(value_package::list(none).empty());
    EXPECT_TRUE(value_package::library().list(none).empty());
    EXPECT_EQ(value_package::kind(none), kind::none);
    EXPECT_EQ(value_package::library().kind(none), kind::none);
    EXPECT_EQ(Listed(value_package::list("lib/sub")), std::vector<std::string_view>{"b.js"});
}

TEST(LibraryValueTest, FindTakesExactlyTheNameAndNoNeighbour) {
    const nativegen::library lib = value_package::library();
    const struct {
        std::string_view name;
        const char* found;  // the entry's name; null for none
    } rows[] = {
        {"app.js", "app.js"},
        {"lib/sub/b.js", "lib/sub/b.js"},  // more than one eight-byte word
        {"lid/d.json", "lid/d.json"},
        {"app.j", nullptr},                // one byte shorter
        {"app.jsx", nullptr},              // one byte longer
        {"lib/sub/b.j", nullptr},
        {"lib/sub/b.jsx", nullptr},
        {"app.js\0"sv, nullptr},           // a zero byte after it
        {"app\0.js"sv, nullptr},
        {"lib", nullptr},                  // a folder
        {"lib/", nullptr},
        {"", nullptr},
        {"APP.JS", nullptr},
    };
    for (const auto& row : rows) {
        const nativegen::entry* e = lib.find(row.name);
        ASSERT_EQ(e != nullptr, row.found != nullptr) << row.name;
        if (e) {
            EXPECT_STREQ(e->name, row.found) << row.name;
        }
        EXPECT_EQ(lib.find(row.name.data(), row.name.size()), e) << row.name;
        EXPECT_EQ(value_package::find(row.name), e) << row.name;
    }
    EXPECT_EQ(lib.find(static_cast<const char*>(nullptr)), nullptr);
    EXPECT_EQ(lib.find("lib/a.jsX", 8), lib.find("lib/a.js"));  // only the bytes given
}

TEST(LibraryValueTest, ReadTakesOnlyAnEntryItself) {
    const nativegen::library lib = value_package::library();
    const nativegen::entry& first = lib.all()[0];
    const nativegen::entry copy = first;
    const nativegen::entry* past = lib.all().end();
    // inside the first entry, aligned as an entry is (a reference may not be misaligned)
    const auto* between =
        reinterpret_cast<const nativegen::entry*>(reinterpret_cast<const char*>(&first) + alignof(nativegen::entry));
    const struct {
        const char* why;
        const nativegen::entry* e;
        bool read;
    } rows[] = {
        {"the first entry", &first, true},
        {"the last entry", past - 1, true},
        {"one past the last", past, false},
        {"not on an entry's start", between, false},
        {"a copy of an entry", &copy, false},
        {"another library's entry", &value_scripts::all()[0], false},
    };
    for (const auto& row : rows) {
        std::string buffer(64, '\x5a');
        EXPECT_EQ(lib.read(*row.e, buffer.data()), row.read) << row.why;
    }
}

TEST(LibraryValueTest, PackageEntriesAreTheTreesFilesInByteOrder) {
    std::vector<std::string> files;
    for (const auto& f : std::filesystem::recursive_directory_iterator(NATIVEGEN_VALUE_TREE))
        if (f.is_regular_file())
            files.push_back(std::filesystem::relative(f.path(), NATIVEGEN_VALUE_TREE).generic_string());
    std::sort(files.begin(), files.end());  // std::string's order is the bytes'
    std::vector<std::string> names;
    for (const nativegen::entry& e : value_package::all()) names.push_back(e.name);
    EXPECT_EQ(names, files);
    EXPECT_EQ(value_package::count(), files.size());
}

// One check for any library: every entry found by its name and read as
// its bytes, and its folders reached from the root.
void CheckLibrary(const nativegen::library& lib, const char* extension) {
    std::size_t files = 0, found = 0;
    for (const nativegen::entry& e : lib.all()) {
        std::string bytes(e.size, '\0');
        EXPECT_TRUE(lib.read(e, bytes.data())) << e.name;
        EXPECT_EQ(bytes, FileBytes(e.name + std::string(extension))) << e.name;
        EXPECT_EQ(lib.find(e.name), &e) << e.name;
        EXPECT_EQ(lib.kind(e.name), kind::file) << e.name;
    }
    std::vector<std::string> folders{""};
    for (std::size_t i = 0; i < folders.size(); ++i)
        for (std::string_view name : lib.list(folders[i])) {
            std::string path = folders[i].empty() ? std::string(name) : folders[i] + "/" + std::string(name);
            if (name.back() == '/') {
                path.pop_back();
                folders.push_back(path);
            } else {
                ++files;
                found += lib.find(path) != nullptr;
            }
        }
    EXPECT_EQ(files, lib.count());
    EXPECT_EQ(found, lib.count());
}

TEST(LibraryValueTest, LibrariesAreValuesToStoreAndCopy) {
    const std::vector<nativegen::library> stored{value_package::library(), value_scripts::library()};
    const std::array<nativegen::library, 2> fixed{stored[0], stored[1]};
    const char* extensions[] = {"", ".js"};
    for (std::size_t i = 0; i < stored.size(); ++i) {
        CheckLibrary(stored[i], extensions[i]);
        EXPECT_EQ(fixed[i], stored[i]);
        EXPECT_EQ(&fixed[i].table(), &stored[i].table());
    }
    EXPECT_NE(stored[0], stored[1]);
    EXPECT_EQ(early, value_package::library());
    ASSERT_NE(early_entry, nullptr);
    EXPECT_EQ(early_entry, value_scripts::find("lib/a"));
}

// READ_FROM_SOURCE, or NATIVEGEN_READ_FROM_SOURCE for every package,
// names the root in the table; a script library and a package without
// either name none.
TEST(LibraryValueTest, ReadFromSourceNamesTheRootInPackagesOnly) {
    const struct {
        const char* library;
        const nativegen::library& value;
        const char* source;
    } rows[] = {
        {"READ_FROM_SOURCE", value_source::library(), NATIVEGEN_VALUE_SOURCE},
        {"the variable", value_source_all::library(), NATIVEGEN_VALUE_SOURCE},
        {"the variable, scripts", value_source_scripts::library(), nullptr},
        {"neither", value_package::library(), nullptr},
    };
    for (const auto& row : rows) {
        const char* source = row.value.table().source;
        if (row.source) {
            ASSERT_NE(source, nullptr) << row.library;
            EXPECT_STREQ(source, row.source) << row.library;
        } else {
            EXPECT_EQ(source, nullptr) << row.library;
        }
        // the fixture holds no package.json
        EXPECT_EQ(row.value.table().package_count, 0u) << row.library;
        EXPECT_EQ(row.value.table().packages, nullptr) << row.library;
    }
}
