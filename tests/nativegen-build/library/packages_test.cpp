// A package library's package.json tables through the real front end: a
// consumer compiled against the library it wrote reads
// library().table().packages back, and each must be what reading the same
// bytes gives; bad JSON warns, or fails the run with --strict; and
// --read-from-source names the root in the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/tools/files.h"
#include "tests/nativegen-build/library/package_dump.h"
#include "tests/support/test_support.h"
#include "tree/package_json.h"

namespace test {
namespace {

using platform::Utf8;

// What the consumer prints: every package of the library "app" as
// DumpPackage's line and the bytes its package.json entry reads, then the
// table's source.
constexpr const char* kConsumer = R"cpp(#include <cstdio>
#include <string>
#include "app.h"
#include "tests/nativegen-build/library/package_dump.h"
int main() {
    const nativegen::detail::table& t = app::library().table();
    std::string out = "count=" + std::to_string(t.package_count) + (t.packages ? " packages\n" : " null\n");
    for (std::size_t k = 0; k < t.package_count; ++k) {
        out += test::DumpPackage(t.packages[k], std::size_t(-1));
        // the file's own bytes, as the library holds them
        const nativegen::detail::package& p = t.packages[k];
        std::string path = std::string(p.folder.text, p.folder.size) + (p.folder.size ? "/" : "") + "package.json";
        const app::entry* e = app::find(path);
        std::string bytes(e ? e->size : 0, '\0');
        if (!e || !app::read(*e, bytes.data())) bytes = "(none)";
        out += bytes + "\n";
    }
    out += std::string("source=") + (t.source ? t.source : "(null)") + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}
)cpp";

// The package.json shapes, each at its path below the root.
const struct {
    const char* path;
    std::string bytes;
} kShapes[] = {
    // every JSON kind in exports and imports, nested, keys kept in order
    {"package.json",
     R"({"name": "root", "main": "lib/index.js", "type": "module",
         "exports": {".": {"import": "./a.mjs", "require": ["./b.cjs", null, 1, true, 2.5, {"x": []}]},
                     "./z": "./z.js", "./a": null},
         "imports": {"#q": "./q\"uo\\te\u0000\u00e9??=.js", "#n": {"node": {"default": "./n.js"}}}})"},
    // name and main that are not strings; "commonjs"
    {"lib/package.json", R"({"main": 3, "name": ["x"], "type": "commonjs"})"},
    // after "lib/" in the entries' order, before it in the folders'
    {"lib-x/package.json", R"({"main": "broken")"},
    {"arr/package.json", "[1, 2]"},
    {"str/package.json", "\"just a string\""},
    {"empty/package.json", "{}"},
    // an empty main is a main; exports null is there; an unknown type is none
    {"blank/package.json", R"({"main": "", "exports": null, "type": "wasm", "imports": {}})"},
    {"node_modules/dep/package.json", R"({"name": "dep", "exports": "./index.js"})"},
    {"node_modules/dep/node_modules/inner/package.json", R"({"exports": ["./a.js", {"node": "./b.js"}], "main": "m"})"},
};

// Files named like a package.json that are none: never read as one.
const struct {
    const char* path;
    const char* bytes;
} kOthers[] = {
    {"other/xpackage.json", "{not json"},
    {"other/package.json.bak", "{not json"},
    {"index.js", "module.exports = 1;\n"},
};

class PackageTablesTest : public testing::Test {
protected:
    PackageTablesTest() {
        for (const auto& shape : kShapes) dir.Write(fs::path("pkg") / shape.path, shape.bytes);
        for (const auto& other : kOthers) dir.Write(fs::path("pkg") / other.path, other.bytes);
        dir.MakeDir("work");
    }

    // Runs the front end on the package with `extra` options into `out`.
    int Build(const fs::path& out, const std::vector<std::string>& extra, std::string* errors) {
        RunOptions options;
        options.arguments = {root, out, "--library", "app", "--files", "**"};
        for (const std::string& e : extra) options.arguments.push_back(platform::FsPath(e));
        return RunProgram(BuildProgram(), dir.path() / "work", errors, options);
    }

    // What the consumer compiled against the library in `out` prints;
    // "broken: ..." when it does not build or run. (Linux: a consumer is
    // compiled where the tests run.)
    std::string Consumed(const fs::path& out, bool compressed) {
        const fs::path program = out / "consumer", printed = out / "printed";
        std::ofstream(out / "consumer.cpp") << kConsumer;
        auto q = [](const fs::path& p) { return "'" + p.string() + "'"; };
        std::string build = "c++ -std=c++17 -I" + q(out) + " -I" + q(NATIVEGEN_INCLUDE) + " -I" + q(NATIVEGEN_SOURCE) +
                            " " + q(out / "consumer.cpp") + " " + q(out / "app.table.cpp") + " -o " + q(program) +
                            (compressed ? " -lzstd" : "") + " 2>&1";
        if (std::system(build.c_str()) != 0) return "broken: " + build;
        if (std::system((q(program) + " > " + q(printed)).c_str()) != 0) return "broken: the consumer failed";
        return ReadAll(printed);
    }

    // What the consumer must print for kShapes: each read from its bytes
    // and the bytes, in byte order of their folders, then `source`.
    static std::string Expected(const std::string& source) {
        std::vector<nativegen::detail::package_json> read;
        std::map<std::string, std::string> bytes;  // by folder
        for (const auto& shape : kShapes) {
            std::string folder = shape.path;
            folder = folder.substr(0, folder.size() - std::string("package.json").size());
            if (!folder.empty()) folder.pop_back();
            bytes[folder] = shape.bytes;
            read.push_back(nativegen::detail::read_package_json(folder, shape.bytes));
        }
        std::sort(read.begin(), read.end(), [](const auto& a, const auto& b) { return a.folder < b.folder; });
        std::string out = "count=" + std::to_string(read.size()) + " packages\n";
        for (const auto& p : read) out += DumpPackage(p.view(), p.values.size()) + bytes[p.folder] + "\n";
        return out + "source=" + source + "\n";
    }

    TempDir dir;
    fs::path root = dir.path() / "pkg";
};

// Built plain and compressed, the table holds what reading each file gives,
// in byte order of the folders, and the one file not valid JSON is kept
// as not valid, with a warning naming it and the parse error.
TEST_F(PackageTablesTest, TheTableHoldsWhatReadingEachPackageJsonGives) {
    for (const bool compressed : {false, true}) {
        const fs::path out = dir.path() / (compressed ? "packed" : "plain");
        std::string errors;
        ASSERT_EQ(Build(out, compressed ? std::vector<std::string>{"--compress"} : std::vector<std::string>{}, &errors),
                  0) << errors;
        EXPECT_NE(errors.find("warning: " + Utf8(root / "lib-x" / "package.json") + ": not valid JSON: "),
                  std::string::npos) << errors;
        EXPECT_NE(errors.find("parse error"), std::string::npos) << errors;
        EXPECT_EQ(errors.find("xpackage"), std::string::npos) << errors;
        EXPECT_EQ(errors.find(".bak"), std::string::npos) << errors;
        // the same run again writes the same bytes: nothing changes, nothing is said
        const std::string table = ReadAll(out / "app.table.cpp");
        ASSERT_EQ(Build(out, compressed ? std::vector<std::string>{"--compress"} : std::vector<std::string>{}, &errors),
                  0) << errors;
        EXPECT_EQ(errors, "");
        EXPECT_EQ(ReadAll(out / "app.table.cpp"), table);
        if (kWindowsBuild) continue;
        EXPECT_EQ(Consumed(out, compressed), Expected("(null)")) << (compressed ? "compressed" : "plain");
    }
}

// The invalid file fails a --strict run, named, and nothing is written;
// without it in the tree the strict run goes through.
TEST_F(PackageTablesTest, StrictFailsOnAPackageJsonThatIsNotJson) {
    const fs::path out = dir.path() / "strict";
    std::string errors;
    EXPECT_EQ(Build(out, {"--strict"}, &errors), 1);
    EXPECT_NE(errors.find(Utf8(root / "lib-x" / "package.json") + ": not valid JSON"), std::string::npos) << errors;
    EXPECT_NE(errors.find("not written"), std::string::npos) << errors;
    EXPECT_TRUE(Listing(out).empty());

    fs::remove(root / "lib-x" / "package.json");
    EXPECT_EQ(Build(out, {"--strict"}, &errors), 0) << errors;
    EXPECT_FALSE(Listing(out).empty());
}

// --read-from-source names the root, absolute, however the command line
// spelled it (relative, with a separator after it); without it, no source.
TEST_F(PackageTablesTest, ReadFromSourceNamesTheRootInTheTable) {
    if (kWindowsBuild) GTEST_SKIP() << "a consumer is compiled where the tests run: Linux";
    const fs::path out = dir.path() / "source";
    std::string errors;
    RunOptions options;
    options.arguments = {"../pkg/", out, "--library", "app", "--files", "**", "--read-from-source"};
    ASSERT_EQ(RunProgram(BuildProgram(), dir.path() / "work", &errors, options), 0) << errors;
    EXPECT_EQ(Consumed(out, false), Expected(Utf8(root)));

    // a script library: no package.json table, and the option is refused
    const fs::path scripts = dir.path() / "scripts";
    options.arguments = {root, scripts, "--library", "app"};
    ASSERT_EQ(RunProgram(BuildProgram(), dir.path() / "work", &errors, options), 0) << errors;
    EXPECT_EQ(Consumed(scripts, false), "count=0 null\nsource=(null)\n");
    options.arguments.push_back("--read-from-source");
    EXPECT_EQ(RunProgram(BuildProgram(), dir.path() / "work", &errors, options), 2);
    EXPECT_NE(errors.find("--read-from-source goes with --files"), std::string::npos) << errors;
}

}  // namespace
}  // namespace test
