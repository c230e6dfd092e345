// The tree over the front end's libraries of tests/fixtures/tree (stored as they are, compressed, and read from their source folder) and that folder on disk: one table of answers for all.
#include <nativegen/tree.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tree_packed.h"
#include "tree_plain.h"
#include "tree_sourced.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_view_literals;
using nativegen::fault;
using nativegen::kind;

fs::path Fixture() { return fs::u8path(NATIVEGEN_TREE_FIXTURE); }

// The bytes of the fixture's file `name` ("/" between parts, UTF-8).
std::string FileBytes(std::string_view name) {
    std::ifstream in(Fixture() / fs::u8path(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// One way to mount the fixture, and whether a file's bytes read through it
// are held by the contents (not a view of the library).
struct Variant {
    const char* name;
    std::function<fault(nativegen::tree&, std::string_view)> mount;
    std::function<bool(std::string_view)> held;
};

const std::vector<Variant>& Variants() {
    static const std::vector<Variant> variants = {
        {"a library stored as it is", [](nativegen::tree& t, std::string_view at) { return t.mount(at, tree_plain::library()); },
         [](std::string_view) { return false; }},
        {"a compressed library", [](nativegen::tree& t, std::string_view at) { return t.mount(at, tree_packed::library()); },
         [](std::string_view name) { return tree_packed::find(name)->data == nullptr; }},
        {"the folder on disk", [](nativegen::tree& t, std::string_view at) { return t.mount(at, NATIVEGEN_TREE_FIXTURE); },
         [](std::string_view) { return true; }},
        {"a library read from its source folder",
         [](nativegen::tree& t, std::string_view at) { return t.mount(at, tree_sourced::library()); },
         [](std::string_view) { return true; }},
    };
    return variants;
}

// The fixture mounted five times over, one mount directly inside a
// library's folder, one hiding a folder of it, and one replaced.
nativegen::tree Mounted(const Variant& v) {
    nativegen::tree t;
    EXPECT_EQ(v.mount(t, "/pkg"), fault::none);
    EXPECT_EQ(v.mount(t, "/pkg/lib/deep/inner"), fault::none);
    EXPECT_EQ(v.mount(t, "/pkg/sub"), fault::none);
    EXPECT_EQ(v.mount(t, "//far/away/./there/"), fault::none);
    EXPECT_EQ(t.mount("/swap", (Fixture() / "lib").u8string()), fault::none);
    EXPECT_EQ(v.mount(t, "/swap"), fault::none);
    return t;
}

const std::vector<std::string> kRoot = {"bad/",    "big.txt",      "empty.txt", "lib/", "node_modules/",
                                        "package.json", "sub.js", "sub/", "\xe5\x90\x8d.js"};

struct Row {
    const char* why;
    std::string_view path;
    kind named;
    fault listed;                    // list()'s answer; its names below when none
    std::vector<std::string> names;
    fault read;                      // read()'s answer; the fixture's file below when none
    std::string_view file;
};

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        {"the root, above every mount", "/", kind::folder, fault::none, {"far/", "pkg/", "swap/"}, fault::is_folder, ""},
        {"a mount", "/pkg", kind::folder, fault::none, kRoot, fault::is_folder, ""},
        {"a mount with a slash after it", "/pkg/", kind::folder, fault::none, kRoot, fault::is_folder, ""},
        {"a folder of a mount, spelled the long way", "//pkg//lib/./deep/../", kind::folder, fault::none,
         {"deep/", "index.js", "util.js"}, fault::is_folder, ""},
        {"a library folder with a mount directly inside", "/pkg/lib/deep", kind::folder, fault::none,
         {"inner/", "package.json", "x.json"}, fault::is_folder, ""},
        {"the mount inside it", "/pkg/lib/deep/inner", kind::folder, fault::none, kRoot, fault::is_folder, ""},
        {"a file of the inner mount", "/pkg/lib/deep/inner/lib/util.js", kind::file, fault::not_folder, {}, fault::none,
         "lib/util.js"},
        {"a folder a mount hides", "/pkg/sub", kind::folder, fault::none, kRoot, fault::is_folder, ""},
        {"a file the mount hides", "/pkg/sub/s.mjs", kind::none, fault::no_entry, {}, fault::no_entry, ""},
        {"that file through the mount hiding it", "/pkg/sub/sub/s.mjs", kind::file, fault::not_folder, {}, fault::none,
         "sub/s.mjs"},
        {"a file", "/pkg/lib/index.js", kind::file, fault::not_folder, {}, fault::none, "lib/index.js"},
        {"a file spelled the long way", "/pkg/./lib//deep/../util.js", kind::file, fault::not_folder, {}, fault::none,
         "lib/util.js"},
        {"a file through a \".\" part", "/pkg/./lib/util.js", kind::file, fault::not_folder, {}, fault::none,
         "lib/util.js"},
        {"a folder with a \".\" last", "/pkg/lib/.", kind::folder, fault::none, {"deep/", "index.js", "util.js"},
         fault::is_folder, ""},
        {"a file compressed where it can be", "/pkg/big.txt", kind::file, fault::not_folder, {}, fault::none, "big.txt"},
        {"an empty file", "/pkg/empty.txt", kind::file, fault::not_folder, {}, fault::none, "empty.txt"},
        {"a name outside ASCII", "/pkg/\xe5\x90\x8d.js", kind::file, fault::not_folder, {}, fault::none,
         "\xe5\x90\x8d.js"},
        {"a package's package.json", "/pkg/node_modules/dep/package.json", kind::file, fault::not_folder, {}, fault::none,
         "node_modules/dep/package.json"},
        {"a path through a file", "/pkg/lib/index.js/x", kind::none, fault::not_folder, {}, fault::not_folder, ""},
        {"a path two parts past a file", "/pkg/lib/index.js/x/y", kind::none, fault::not_folder, {}, fault::not_folder, ""},
        {"missing in a folder", "/pkg/lib/missing.js", kind::none, fault::no_entry, {}, fault::no_entry, ""},
        {"below a missing folder", "/pkg/missing/x.js", kind::none, fault::no_entry, {}, fault::no_entry, ""},
        {"outside every mount", "/nowhere", kind::none, fault::no_entry, {}, fault::no_entry, ""},
        {"below nothing mounted", "/far/x", kind::none, fault::no_entry, {}, fault::no_entry, ""},
        {"a folder above a mount", "/far", kind::folder, fault::none, {"away/"}, fault::is_folder, ""},
        {"a mount made at a long spelling", "/far/away/there", kind::folder, fault::none, kRoot, fault::is_folder, ""},
        {"through it and back", "/far/away/there/../there/package.json", kind::file, fault::not_folder, {}, fault::none,
         "package.json"},
        {"up from a mount to the root", "/pkg/..", kind::folder, fault::none, {"far/", "pkg/", "swap/"}, fault::is_folder,
         ""},
        {"above the root", "/../../pkg/package.json", kind::file, fault::not_folder, {}, fault::none, "package.json"},
        {"a later mount at one path", "/swap", kind::folder, fault::none, kRoot, fault::is_folder, ""},
        {"what the earlier mount there held", "/swap/index.js", kind::none, fault::no_entry, {}, fault::no_entry, ""},
        {"relative", "pkg/package.json", kind::none, fault::bad_path, {}, fault::bad_path, ""},
        {"empty", "", kind::none, fault::bad_path, {}, fault::bad_path, ""},
        {"a zero byte", "/pkg/package.json\0"sv, kind::none, fault::bad_path, {}, fault::bad_path, ""},
        {"a zero byte inside", "/pkg\0/package.json"sv, kind::none, fault::bad_path, {}, fault::bad_path, ""},
        // a backslash separates on Windows alone; elsewhere it is a name's
        {"backslashes", "\\pkg\\lib\\index.js", NATIVEGEN_BACKSLASH ? kind::file : kind::none,
         NATIVEGEN_BACKSLASH ? fault::not_folder : fault::bad_path, {}, NATIVEGEN_BACKSLASH ? fault::none : fault::bad_path,
         NATIVEGEN_BACKSLASH ? "lib/index.js" : ""},
        {"a backslash inside", "/pkg/lib\\index.js", NATIVEGEN_BACKSLASH ? kind::file : kind::none,
         NATIVEGEN_BACKSLASH ? fault::not_folder : fault::no_entry, {}, NATIVEGEN_BACKSLASH ? fault::none : fault::no_entry,
         NATIVEGEN_BACKSLASH ? "lib/index.js" : ""},
    };
    return rows;
}

}  // namespace

TEST(TreeTest, EveryMountOfTheFixtureAnswersEveryRowAlike) {
    for (const Variant& v : Variants()) {
        const nativegen::tree t = Mounted(v);
        for (const Row& row : Rows()) {
            const std::string why = std::string(v.name) + ": " + row.why;
            EXPECT_EQ(t.kind(row.path), row.named) << why;

            std::vector<std::string> names = {"left from before"};
            EXPECT_EQ(t.list(row.path, names), row.listed) << why;
            if (row.listed == fault::none) {
                EXPECT_EQ(names, row.names) << why;
            } else {
                EXPECT_EQ(names, std::vector<std::string>{"left from before"}) << why;
            }

            nativegen::contents c;
            ASSERT_EQ(t.read("/pkg/package.json", c), fault::none) << why;  // so a failure must empty it
            EXPECT_EQ(t.read(row.path, c), row.read) << why;
            if (row.read == fault::none) {
                EXPECT_EQ(c.bytes(), FileBytes(row.file)) << why;
                EXPECT_EQ(c.size(), c.bytes().size()) << why;
                EXPECT_EQ(c.held(), v.held(row.file)) << why;
            } else {
                EXPECT_TRUE(c.bytes().empty()) << why;
                EXPECT_FALSE(c.held()) << why;
            }
        }
    }
}

TEST(TreeTest, ALibrarysNamesAreTheirBytesWhateverTheSystem) {
    // (a folder on disk compares names as its system does: on Windows without case)
    for (const nativegen::library lib : {tree_plain::library(), tree_packed::library()}) {
        nativegen::tree t;
        ASSERT_EQ(t.mount("/pkg", lib), fault::none);
        EXPECT_EQ(t.kind("/pkg/lib/index.js"), kind::file);
        EXPECT_EQ(t.kind("/pkg/LIB/index.js"), kind::none);
        EXPECT_EQ(t.kind("/pkg/lib/Index.js"), kind::none);
        EXPECT_EQ(t.kind("/pkg/LIB"), kind::none);
        std::vector<std::string> names;
        EXPECT_EQ(t.list("/pkg/LIB", names), fault::no_entry);
    }
}

TEST(TreeTest, ContentsOfALibraryStoredAsItIsAreItsOwnBytes) {
    nativegen::tree t;
    ASSERT_EQ(t.mount("/p", tree_plain::library()), fault::none);
    for (const nativegen::entry& e : tree_plain::all()) {
        nativegen::contents c;
        ASSERT_EQ(t.read("/p/" + std::string(e.name), c), fault::none) << e.name;
        EXPECT_EQ(c.data(), e.data) << e.name;
    }
    // and moving the contents keeps the bytes where they are
    nativegen::tree packed;
    ASSERT_EQ(packed.mount("/p", tree_packed::library()), fault::none);
    nativegen::contents c;
    ASSERT_EQ(packed.read("/p/big.txt", c), fault::none);
    ASSERT_TRUE(c.held());
    const char* was = c.data();
    const nativegen::contents moved = std::move(c);
    EXPECT_EQ(moved.data(), was);
    EXPECT_EQ(moved.bytes(), FileBytes("big.txt"));
}

TEST(TreeTest, DamagedStoredBytesAreSaidSo) {
    // the compressed library with big.txt's frame cut one byte short
    const nativegen::detail::table& real = tree_packed::library().table();
    ASSERT_NE(real.frames, nullptr);
    std::vector<nativegen::detail::frame> frames(real.frames, real.frames + real.count);
    const std::size_t big = static_cast<std::size_t>(tree_packed::find("big.txt") - real.entries);
    ASSERT_NE(frames[big].data, nullptr);
    frames[big].size -= 1;
    nativegen::detail::table cut = real;
    cut.frames = frames.data();
    nativegen::tree t;
    ASSERT_EQ(t.mount("/p", nativegen::library(cut)), fault::none);
    nativegen::contents c;
    EXPECT_EQ(t.read("/p/big.txt", c), fault::damaged);
    EXPECT_TRUE(c.bytes().empty());
    EXPECT_FALSE(c.held());
    EXPECT_EQ(t.read("/p/package.json", c), fault::none);  // the others are whole
    EXPECT_STREQ(nativegen::describe(fault::damaged), "damaged stored bytes");
}

namespace {

// The fields a package.json row expects; a null name or main is none.
struct PackageRow {
    const char* why;
    std::string_view folder;
    bool there;
    bool valid;
    const char* name;
    const char* main;
    nativegen::detail::package_type type;
    bool exports;
};

std::string_view Text(nativegen::detail::name n) { return std::string_view(n.text ? n.text : "", n.size); }

}  // namespace

TEST(TreeTest, PackageAtGivesEachFoldersPackageJson) {
    using nativegen::detail::type_commonjs;
    using nativegen::detail::type_module;
    using nativegen::detail::type_none;
    const std::vector<PackageRow> rows = {
        {"a mount's own", "/pkg", true, true, "fixture", "lib/index.js", type_commonjs, false},
        {"spelled with a slash after it", "/pkg/./", true, true, "fixture", "lib/index.js", type_commonjs, false},
        {"a folder without one", "/pkg/lib", false, false, nullptr, nullptr, type_none, false},
        {"a folder's, with exports", "/pkg/lib/deep", true, true, nullptr, nullptr, type_module, true},
        {"a package below node_modules", "/pkg/node_modules/dep", true, true, "dep", nullptr, type_none, true},
        {"one that is not JSON", "/pkg/bad", true, false, nullptr, nullptr, type_none, false},
        {"a mount inside a folder", "/pkg/lib/deep/inner", true, true, "fixture", "lib/index.js", type_commonjs, false},
        {"a mount hiding a folder", "/pkg/sub", true, true, "fixture", "lib/index.js", type_commonjs, false},
        {"a file", "/pkg/package.json", false, false, nullptr, nullptr, type_none, false},
        {"a folder above the mounts", "/", false, false, nullptr, nullptr, type_none, false},
        {"outside every mount", "/nowhere", false, false, nullptr, nullptr, type_none, false},
        {"relative", "pkg", false, false, nullptr, nullptr, type_none, false},
    };
    for (const Variant& v : Variants()) {
        const nativegen::tree t = Mounted(v);
        for (const PackageRow& row : rows) {
            const std::string why = std::string(v.name) + ": " + row.why;
            const nativegen::package* p = t.package_at(row.folder);
            ASSERT_EQ(p != nullptr, row.there) << why;
            if (!p) continue;
            EXPECT_EQ(t.package_at(row.folder), p) << why << ": asked again";
            EXPECT_EQ(p->valid, row.valid) << why;
            EXPECT_EQ(Text(p->package_name), row.name ? row.name : "") << why;
            EXPECT_EQ(p->package_name.text != nullptr, row.name != nullptr) << why;
            EXPECT_EQ(Text(p->main), row.main ? row.main : "") << why;
            EXPECT_EQ(p->type, row.type) << why;
            ASSERT_EQ(p->exports >= 0, row.exports) << why;
            if (row.exports) {
                EXPECT_EQ(p->values[p->exports].type, nativegen::detail::object_value) << why;
            }
        }
    }
}

TEST(TreeTest, NormaliseGivesOneSpellingOfEachAbsolutePath) {
    const bool backslash = NATIVEGEN_BACKSLASH;
    const struct {
        std::string_view path;
        std::string normal;  // empty: not an absolute path
    } rows[] = {
        {"/", "/"},
        {"/a/b", "/a/b"},
        {"/a/./b", "/a/b"},
        {"/.", "/"},
        {"/a/b/.", "/a/b"},
        {"/a/../b", "/b"},
        {"/a/b/..", "/a"},
        {"//a//b", "/a/b"},
        {"///", "/"},
        {"/a/b/", "/a/b"},
        {"/a/b//", "/a/b"},
        {"/..", "/"},
        {"/../a", "/a"},
        {"/a/../../b", "/b"},
        {"/a/b/../../..", "/"},
        {"/...", "/..."},
        {"/a/.b/..c/c..", "/a/.b/..c/c.."},
        {"a/b", ""},
        {"./a", ""},
        {"", ""},
        {"/a\0b"sv, ""},
        {"/a/\0"sv, ""},
        {"\0/a"sv, ""},
        {"\\a\\b", backslash ? "/a/b" : ""},
        {"/a\\b\\..\\c", backslash ? "/a/c" : "/a\\b\\..\\c"},
        {"/a/b\\", backslash ? "/a/b" : "/a/b\\"},
    };
    for (const auto& row : rows) EXPECT_EQ(nativegen::normalise(row.path), row.normal) << row.path;
}

TEST(TreeTest, MountRefusesWhatIsNotAnAbsolutePathOrAFolder) {
    const std::string file = (Fixture() / "package.json").u8string();
    const std::string missing = (Fixture() / "missing").u8string();
    const struct {
        const char* why;
        std::string_view at;
        std::string folder;  // mounted from disk; empty: the plain library
        fault answer;
    } rows[] = {
        {"a library at the root", "/", "", fault::none},
        {"a folder at a long spelling", "/a/../b/", NATIVEGEN_TREE_FIXTURE, fault::none},
        {"a relative path", "b", NATIVEGEN_TREE_FIXTURE, fault::bad_path},
        {"an empty path", "", "", fault::bad_path},
        {"a zero byte", "/b\0"sv, "", fault::bad_path},
        {"a file for a folder", "/b", file, fault::not_folder},
        {"a missing folder", "/b", missing, fault::not_folder},
        {"no folder at all", "/b", "\x01", fault::not_folder},
    };
    for (const auto& row : rows) {
        nativegen::tree t;
        const fault f = row.folder.empty() ? t.mount(row.at, tree_plain::library()) : t.mount(row.at, row.folder);
        EXPECT_EQ(f, row.answer) << row.why;
        // a refused mount leaves nothing mounted
        std::vector<std::string> names;
        EXPECT_EQ(t.list("/", names), fault::none) << row.why;
        EXPECT_EQ(names.empty(), f != fault::none) << row.why;
    }
    // a library naming a source folder that is not there is not mounted
    nativegen::detail::table gone = tree_plain::library().table();
    gone.source = missing.c_str();
    nativegen::tree t;
    EXPECT_EQ(t.mount("/p", nativegen::library(gone)), fault::not_folder);
    EXPECT_EQ(t.kind("/p"), kind::none);
}

namespace {

// A fresh folder below the system's temporary one, removed with all it holds.
class Scratch {
public:
    Scratch() {
        static std::atomic<int> made{0};
        root_ = fs::temp_directory_path() /
                ("nativegen-tree-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 std::to_string(made++) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    const fs::path& path() const { return root_; }
    void Write(const std::string& name, const std::string& bytes) const {
        fs::create_directories((root_ / fs::u8path(name)).parent_path());
        std::ofstream(root_ / fs::u8path(name), std::ios::binary) << bytes;
    }

private:
    fs::path root_;
};

std::string Read(const nativegen::tree& t, std::string_view path) {
    nativegen::contents c;
    return t.read(path, c) == fault::none ? std::string(c.bytes()) : "(" + std::string(nativegen::describe(t.read(path, c))) + ")";
}

}  // namespace

TEST(TreeTest, AFolderOnDiskIsReadWhenAskedAndItsPackageJsonOnce) {
    const Scratch s;
    s.Write("a.js", "one");
    s.Write("package.json", R"({"name": "first"})");
    nativegen::tree t;
    ASSERT_EQ(t.mount("/s", s.path().u8string()), fault::none);
    EXPECT_EQ(Read(t, "/s/a.js"), "one");
    const nativegen::package* p = t.package_at("/s");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Text(p->package_name), "first");

    s.Write("a.js", "two, and longer");
    s.Write("b/c.js", "three");
    s.Write("package.json", R"({"name": "second"})");
    EXPECT_EQ(Read(t, "/s/a.js"), "two, and longer");
    EXPECT_EQ(Read(t, "/s/b/c.js"), "three");
    EXPECT_EQ(t.kind("/s/b"), kind::folder);
    // the package.json read first is kept, where it was
    EXPECT_EQ(t.package_at("/s"), p);
    EXPECT_EQ(Text(p->package_name), "first");
    // and one not there when first asked stays not there
    EXPECT_EQ(t.package_at("/s/b"), nullptr);
    s.Write("b/package.json", "{}");
    EXPECT_EQ(t.package_at("/s/b"), nullptr);

    // a folder named package.json is no package.json file
    fs::create_directories(s.path() / "d" / "package.json");
    EXPECT_EQ(t.package_at("/s/d"), nullptr);
    fs::remove(s.path() / "a.js");
    EXPECT_EQ(Read(t, "/s/a.js"), "(no such entry)");
}

TEST(TreeTest, SymbolicLinksOnDiskAreFollowed) {
    const Scratch s;
    s.Write("real/f.js", "linked");
    std::error_code error;
    fs::create_directory_symlink(s.path() / "real", s.path() / "to-folder", error);
    if (!error) fs::create_symlink(s.path() / "real" / "f.js", s.path() / "to-file", error);
    if (!error) fs::create_symlink(s.path() / "nothing", s.path() / "broken", error);
    if (error) GTEST_SKIP() << "symbolic links cannot be made here: " << error.message();
    nativegen::tree t;
    ASSERT_EQ(t.mount("/s", s.path().u8string()), fault::none);
    ASSERT_EQ(t.mount("/l", (s.path() / "to-folder").u8string()), fault::none);
    std::vector<std::string> names;
    ASSERT_EQ(t.list("/s", names), fault::none);
    EXPECT_EQ(names, (std::vector<std::string>{"broken", "real/", "to-file", "to-folder/"}));
    EXPECT_EQ(t.kind("/s/to-folder"), kind::folder);
    EXPECT_EQ(Read(t, "/s/to-folder/f.js"), "linked");
    EXPECT_EQ(Read(t, "/s/to-file"), "linked");
    EXPECT_EQ(Read(t, "/l/f.js"), "linked");
    EXPECT_EQ(t.kind("/s/broken"), kind::none);
    EXPECT_EQ(Read(t, "/s/broken"), "(no such entry)");
    EXPECT_EQ(Read(t, "/s/to-file/x"), "(not a folder)");
}

TEST(TreeTest, ThreadsAskingAtOnceGetOnePackageJson) {
    // many folders, each asked first by every thread at once
    const Scratch s;
    std::vector<std::string> folders;
    for (int i = 0; i < 200; ++i) {
        folders.push_back("/s/p" + std::to_string(i));
        if (i % 5 != 0) s.Write("p" + std::to_string(i) + "/package.json", R"({"name": "p)" + std::to_string(i) + "\"}");
    }
    nativegen::tree t;
    ASSERT_EQ(t.mount("/s", s.path().u8string()), fault::none);
    std::vector<std::vector<const nativegen::package*>> seen(4);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (auto& mine : seen)
        threads.emplace_back([&] {
            ++ready;
            while (ready < static_cast<int>(seen.size())) std::this_thread::yield();
            for (const std::string& folder : folders) mine.push_back(t.package_at(folder));
        });
    for (std::thread& thread : threads) thread.join();
    for (const auto& mine : seen) EXPECT_EQ(mine, seen[0]);
    for (std::size_t i = 0; i < folders.size(); ++i) {
        ASSERT_EQ(seen[0][i] != nullptr, i % 5 != 0) << folders[i];
        if (seen[0][i]) {
            EXPECT_EQ(Text(seen[0][i]->package_name), "p" + std::to_string(i));
        }
        EXPECT_EQ(t.package_at(folders[i]), seen[0][i]) << folders[i];
    }
}
