// Resolution against node's own answers: every row of tests/resolve/expected-fixtures.json in both modes, over the fixtures on disk and as the front end's libraries.
#include <nativegen/resolve.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "resolve_fixture_libraries.h"
#include "tests/resolve/resolve_table.h"

namespace {

using nativegen::mode;
using resolve_table::row;

const std::vector<row>& Rows() {
    static const std::vector<row> rows = resolve_table::read(NATIVEGEN_RESOLVE_TABLE);
    return rows;
}

// The fixtures' names, and the folders each holds with nothing in it
// (which a library, made of files, cannot hold).
std::map<std::string, std::set<std::string>> Fixtures() {
    std::ifstream in(NATIVEGEN_RESOLVE_CASES, std::ios::binary);
    const resolve_table::json cases = resolve_table::json::parse(in);
    std::map<std::string, std::set<std::string>> out;
    for (const auto& f : cases.at("fixtures")) {
        auto& empty = out[f.at("name").get<std::string>()];
        for (const auto& [name, content] : f.at("files").items())
            if (name.back() == '/') {
                const std::string folder = name.substr(0, name.size() - 1);
                empty.insert(folder.substr(folder.rfind('/') + 1));
            }
    }
    return out;
}

// Resolves every row of `rows` in both modes over the tree `mount`
// makes for its fixture; the mismatches, one a line.
std::vector<std::string> Differences(const std::function<void(nativegen::tree&, const std::string&)>& mount,
                                     const std::function<bool(const row&)>& skip = nullptr) {
    std::vector<std::string> out;
    std::map<std::string, nativegen::tree> trees;
    for (const row& r : Rows()) {
        if (skip && skip(r)) continue;
        auto [it, fresh] = trees.try_emplace(r.fixture);
        if (fresh) mount(it->second, r.fixture);
        const nativegen::resolver resolver(it->second, {r.conditions, {}});
        for (const mode how : {mode::require, mode::import}) {
            const std::string d = resolve_table::mismatch(how == mode::require ? r.require : r.import,
                                                          resolver.resolve(resolve_table::specifier(r), r.from, how));
            if (!d.empty())
                out.push_back(r.fixture + " " + (how == mode::require ? "require" : "import") + " '" + r.specifier +
                              "' from " + r.from + ": " + d);
        }
    }
    return out;
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

TEST(Resolve, TheTableCoversEveryFixture) {
    std::map<std::string, int> rows;
    for (const row& r : Rows()) ++rows[r.fixture];
    for (const auto& [name, empty] : Fixtures()) EXPECT_GT(rows[name], 0) << name << " has no rows";
    EXPECT_GE(Rows().size(), 300u);
}

// The rows a file system that folds case (Windows') answers otherwise,
// as node there would: "FS" finds node_modules/fs, "./weird" weird.JS.
bool FoldsCaseOtherwise(const row& r) {
    return NATIVEGEN_FOLDS_CASE && ((r.fixture == "builtins" && (r.specifier == "FS" || r.specifier == "node:FS")) ||
                                    (r.fixture == "files" && r.specifier == "./weird"));
}

TEST(Resolve, AsNodeDoesOverTheFixturesOnDisk) {
    const std::vector<std::string> d = Differences(
        [](nativegen::tree& t, const std::string& fixture) {
            ASSERT_EQ(t.mount("/", std::string(NATIVEGEN_RESOLVE_FIXTURES) + "/" + fixture), nativegen::fault::none);
        },
        FoldsCaseOtherwise);
    EXPECT_TRUE(d.empty()) << d.size() << " of " << 2 * Rows().size() << " answers differ:\n" << Lines(d);
}

TEST(Resolve, AsNodeDoesOverTheFixturesAsLibraries) {
    const auto fixtures = Fixtures();
    std::size_t skipped = 0;
    const std::vector<std::string> d = Differences(
        [](nativegen::tree& t, const std::string& fixture) {
            const auto it = resolve_fixture_libraries.find(fixture);
            ASSERT_NE(it, resolve_fixture_libraries.end()) << fixture;
            ASSERT_EQ(t.mount("/", it->second()), nativegen::fault::none);
        },
        [&](const row& r) {
            // a question about a folder that holds nothing is one a library cannot answer as node does
            for (const std::string& folder : fixtures.at(r.fixture))
                if (r.specifier.find(folder) != std::string::npos) return ++skipped, true;
            return false;
        });
    EXPECT_TRUE(d.empty()) << d.size() << " answers differ:\n" << Lines(d);
    EXPECT_LT(skipped, 10u);
}

TEST(Resolve, EveryFailureNamesTheSpecifierAndTheAskingModule) {
    std::map<std::string, nativegen::tree> trees;
    std::set<std::string> codes;
    for (const row& r : Rows()) {
        auto [it, fresh] = trees.try_emplace(r.fixture);
        if (fresh) {
            ASSERT_EQ(it->second.mount("/", std::string(NATIVEGEN_RESOLVE_FIXTURES) + "/" + r.fixture),
                      nativegen::fault::none);
        }
        const nativegen::resolver resolver(it->second, {r.conditions, {}});
        const std::string asked = resolve_table::specifier(r);
        for (const mode how : {mode::require, mode::import}) {
            const nativegen::resolution m = resolver.resolve(asked, r.from, how);
            if (m.ok()) continue;
            codes.insert(m.code);
            const bool quoted = m.message.find("'" + asked + "'") != std::string::npos ||
                                m.message.find("\"" + asked + "\"") != std::string::npos;
            EXPECT_TRUE(quoted && m.message.find(r.from) != std::string::npos)
                << m.code << " for '" << asked << "' from " << r.from << ": " << m.message;
        }
    }
    EXPECT_GE(codes.size(), 10u);  // every code the table holds
}

TEST(Resolve, ManyThreadsAnswerAsOne) {
    nativegen::tree t;
    ASSERT_EQ(t.mount("/", std::string(NATIVEGEN_RESOLVE_FIXTURES) + "/exports"), nativegen::fault::none);
    const nativegen::resolver resolver(t);
    std::vector<const row*> rows;
    for (const row& r : Rows())
        if (r.fixture == "exports") rows.push_back(&r);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int n = 0; n < 4; ++n)
        threads.emplace_back([&] {
            for (const row* r : rows)
                for (const mode how : {mode::require, mode::import})
                    if (!resolve_table::mismatch(how == mode::require ? r->require : r->import,
                                                 resolver.resolve(resolve_table::specifier(*r), r->from, how))
                             .empty())
                        ++wrong;
        });
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
}

// A host's own builtins: "node:" takes each; a bare name too, except
// those node knows only with the prefix.
TEST(Resolve, AHostsBuiltins) {
    nativegen::tree t;
    ASSERT_EQ(t.mount("/", std::string(NATIVEGEN_RESOLVE_FIXTURES) + "/builtins"), nativegen::fault::none);
    const nativegen::resolver host(t, {{}, {"fs", "extra", "test"}});
    struct Case {
        const char* specifier;
        mode how;
        const char* path;  // or the code
        nativegen::format format;
    };
    const Case cases[] = {
        {"extra", mode::require, "extra", nativegen::format::builtin},
        {"node:extra", mode::require, "node:extra", nativegen::format::builtin},
        {"extra", mode::import, "node:extra", nativegen::format::builtin},
        {"fs", mode::require, "fs", nativegen::format::builtin},
        {"path", mode::require, "MODULE_NOT_FOUND", nativegen::format::none},
        {"node:path", mode::require, "MODULE_NOT_FOUND", nativegen::format::none},
        {"path", mode::import, "ERR_MODULE_NOT_FOUND", nativegen::format::none},
        {"test", mode::require, "/node_modules/test/index.js", nativegen::format::none},
        {"node:test", mode::require, "node:test", nativegen::format::builtin},
        {"test", mode::import, "/node_modules/test/index.js", nativegen::format::none},
    };
    for (const Case& c : cases) {
        const nativegen::resolution r = host.resolve(c.specifier, "/main.js", c.how);
        EXPECT_EQ(r.ok() ? r.path : r.code, c.path) << c.specifier << (c.how == mode::import ? " (import)" : "");
        EXPECT_EQ(r.format, c.format) << c.specifier;
    }
}

TEST(Resolve, AnAskingPathThatIsNotAbsolute) {
    nativegen::tree t;
    const nativegen::resolver r(t);
    for (const char* asking : {"main.js", "", "./x.js"}) {
        const nativegen::resolution m = r.resolve("./y", asking, mode::require);
        EXPECT_EQ(m.code, "ERR_INVALID_ARG_VALUE") << asking;
        EXPECT_NE(m.message.find("'" + std::string(asking) + "'"), std::string::npos) << m.message;
    }
}

}  // namespace

// A package.json nested past what the reading takes is one resolution
// refuses, as it refuses one that is not JSON: never a crash.
TEST(Resolve, APackageJsonNestedTooDeepIsAnInvalidConfig) {
    const std::filesystem::path root = std::filesystem::temp_directory_path() / "nativegen-resolve-deep";
    std::filesystem::remove_all(root);
    struct Case {
        const char* name;
        int depth;
        const char* open;
        const char* close;
        const char* code;  // "" for a resolved one
    };
    const Case cases[] = {
        {"objects", 100000, "{\"default\":", "}", "ERR_INVALID_PACKAGE_CONFIG"},
        {"arrays", 50000, "[", "]", "ERR_INVALID_PACKAGE_CONFIG"},
        {"shallow", 200, "{\"default\":", "}", ""},
    };
    for (const Case& c : cases) {
        const std::filesystem::path folder = root / "node_modules" / c.name;
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "x.js") << "\n";
        std::string json = "{\"exports\":";
        for (int i = 0; i < c.depth; ++i) json += c.open;
        json += "\"./x.js\"";
        for (int i = 0; i < c.depth; ++i) json += c.close;
        std::ofstream(folder / "package.json") << json << "}";
    }
    nativegen::tree t;
    ASSERT_EQ(t.mount("/", root.string()), nativegen::fault::none);
    const nativegen::resolver resolver(t);
    for (const Case& c : cases) {
        for (const mode how : {mode::require, mode::import}) {
            const nativegen::resolution r = resolver.resolve(c.name, "/main.js", how);
            EXPECT_EQ(r.code, c.code) << c.name << ": " << r.message;
            if (!*c.code) {
                EXPECT_EQ(r.path, std::string("/node_modules/") + c.name + "/x.js");
            }
        }
    }
    std::filesystem::remove_all(root);
}
