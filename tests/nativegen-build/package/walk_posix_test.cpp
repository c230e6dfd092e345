// A package's walk meeting what Linux trees hold: names that are not
// UTF-8, FIFOs, files and folders it may not read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace test {
namespace {

// Makes folders below `top` until a path reaches past PATH_MAX, each
// made from the one above (no path handed over is that long).
void MakeTooDeep(const fs::path& top) {
    const std::string name(250, 'd');
    int at = open(top.c_str(), O_RDONLY | O_DIRECTORY);
    for (std::size_t length = top.native().size(); at >= 0 && length <= PATH_MAX; length += name.size() + 1) {
        mkdirat(at, name.c_str(), 0755);
        int below = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY);
        close(at);
        at = below;
    }
    if (at >= 0) close(at);
}

// Removes what MakeTooDeep made below `top`, deepest first, as it was made
// (a removal by whole paths stops at PATH_MAX).
void RemoveTooDeep(const fs::path& top) {
    const std::string name(250, 'd');
    std::vector<int> chain{open(top.c_str(), O_RDONLY | O_DIRECTORY)};
    while (chain.back() >= 0) chain.push_back(openat(chain.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
    chain.pop_back();
    for (; !chain.empty(); chain.pop_back()) {
        unlinkat(chain.back(), name.c_str(), AT_REMOVEDIR);
        close(chain.back());
    }
}

TEST(FrontEndPosixTest, APackageFailsOnWhatItCannotTakeAndPassesOverWhatIsNoFile) {
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;  // more in the tree, which holds "a.js"
        bool strict, unprivileged;
        int exit;
        const char* said;            // in what the run says
        const char* output = "out";  // below the temporary folder
        const char* glob = "*.js";
    } cases[] = {
        {"a file it may not read", [](const fs::path& t) { fs::permissions(t / "a.js", fs::perms::none); },
         false, true, 1, "a.js: cannot be read"},
        {"a folder it may not list",
         [](const fs::path& t) {
             fs::create_directories(t / "d");
             fs::permissions(t / "d", fs::perms::none);
         },
         false, true, 1, "/d: cannot be listed"},
        {"a taken name not UTF-8", [](const fs::path& t) { std::ofstream(t / "b\xff.js") << "x"; },
         false, false, 1, "not valid UTF-8 (\"b\\xff.js\")"},
        {"a taken name holding a surrogate", [](const fs::path& t) { std::ofstream(t / "b\xed\xa0\x80.js") << "x"; },
         false, false, 1, "not valid UTF-8 (\"b\\xed\\xa0\\x80.js\")"},
        {"a taken name past U+10FFFF", [](const fs::path& t) { std::ofstream(t / "b\xf4\x90\x80\x80.js") << "x"; },
         false, false, 1, "not valid UTF-8"},
        {"a name not UTF-8 it does not take", [](const fs::path& t) { std::ofstream(t / "b\xff.txt") << "x"; },
         false, false, 0, ""},
        {"a FIFO", [](const fs::path& t) { mkfifo((t / "p.js").c_str(), 0666); },
         false, false, 0, "p.js: not a regular file: passed over"},
        {"a FIFO, strict", [](const fs::path& t) { mkfifo((t / "p.js").c_str(), 0666); },
         true, false, 1, "p.js: not a regular file"},
        {"a link to nothing", [](const fs::path& t) { fs::create_symlink("gone.js", t / "l.js"); },
         false, false, 0, "l.js: a link to nothing: passed over"},
        // the warning names the link, not the path where the walk meets the root again
        {"a link above the root", [](const fs::path& t) { fs::create_directories(t / "sub"), fs::create_directory_symlink(t.parent_path(), t / "sub" / "up"); },
         false, false, 0, "sub/up: a link to a folder it stands in"},
        {"a path longer than the system takes", [](const fs::path& t) { MakeTooDeep(t); },
         false, false, 1, "the path is longer than the system takes"},
        {"the output folder inside the tree", [](const fs::path&) {}, false, false, 0, "", "tree/out", "**"},
        {"a killed run's scratch blob",
         [](const fs::path& t) {
             fs::create_directories(t / ".." / "out");
             std::ofstream(t / ".." / "out" / "pkg.99999.partial") << "stale";
         },
         false, false, 0, ""},
        {"a file the run cannot read, in a folder it made", [](const fs::path& t) { fs::permissions(t / "a.js", fs::perms::none); },
         false, true, 1, "cannot be read", "out/new"},
    };
    for (const auto& c : cases) {
        if (c.unprivileged && !CanRunUnprivileged()) continue;
        TempDir dir;
        fs::permissions(dir.path(), fs::perms::all);
        fs::path tree = dir.MakeDir("tree"), out = dir.path() / c.output;
        fs::permissions(tree, fs::perms::all);
        dir.Write("tree/a.js", "a");
        c.make(tree);
        RunOptions options{"", c.unprivileged, {tree, out, "--library", "pkg", "--files", c.glob}};
        if (c.strict) options.arguments.push_back("--strict");
        std::string said;
        EXPECT_EQ(RunProgram(BuildProgram(), dir.path(), &said, options), c.exit) << c.what << ": " << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << c.what << ": " << said;
        // nothing written when it fails (no scratch file left, no folder it
        // made); the whole library when it does not: the header, the table
        // and one blob
        std::vector<std::string> first = Listing(out);
        EXPECT_EQ(first.size(), c.exit == 0 ? 3u : 0u) << c.what;
        EXPECT_EQ(fs::exists(out), c.exit == 0) << c.what;
        EXPECT_EQ(fs::exists(out / "pkg.h"), c.exit == 0) << c.what;
        RemoveTooDeep(tree);
        // a second run over the same tree takes nothing of the first's
        if (c.exit != 0) continue;
        EXPECT_EQ(RunProgram(BuildProgram(), dir.path(), &said, options), 0) << c.what << ": " << said;
        EXPECT_EQ(Listing(out), first) << c.what;
    }
}

}  // namespace
}  // namespace test
