// A package's walk meeting what Linux trees hold: names that are not
// UTF-8, FIFOs, files and folders it may not read.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "tests/support/test_support.h"

namespace test {
namespace {

TEST(FrontEndPosixTest, APackageFailsOnWhatItCannotTakeAndPassesOverWhatIsNoFile) {
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;  // more in the tree, which holds "a.js"
        bool strict, unprivileged;
        int exit;
        const char* said;  // in what the run says
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
        {"a name not UTF-8 it does not take", [](const fs::path& t) { std::ofstream(t / "b\xff.txt") << "x"; },
         false, false, 0, ""},
        {"a FIFO", [](const fs::path& t) { mkfifo((t / "p.js").c_str(), 0666); },
         false, false, 0, "p.js: not a regular file: passed over"},
        {"a FIFO, strict", [](const fs::path& t) { mkfifo((t / "p.js").c_str(), 0666); },
         true, false, 1, "p.js: not a regular file"},
        {"a link to nothing", [](const fs::path& t) { fs::create_symlink("gone.js", t / "l.js"); },
         false, false, 0, "l.js: a link to nothing: passed over"},
    };
    for (const auto& c : cases) {
        if (c.unprivileged && !CanRunUnprivileged()) continue;
        TempDir dir;
        fs::permissions(dir.path(), fs::perms::all);
        fs::path tree = dir.MakeDir("tree"), out = dir.path() / "out";
        fs::permissions(tree, fs::perms::all);
        dir.Write("tree/a.js", "a");
        c.make(tree);
        RunOptions options{"", c.unprivileged, {tree, out, "--library", "pkg", "--files", "*.js"}};
        if (c.strict) options.arguments.push_back("--strict");
        std::string said;
        EXPECT_EQ(RunProgram(BuildProgram(), dir.path(), &said, options), c.exit) << c.what << ": " << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << c.what << ": " << said;
        // nothing written when it fails (no scratch file left either); the
        // whole library when it does not: the header, the table, the data and one blob
        std::size_t files = 0;
        for (std::error_code error; const auto& entry : fs::directory_iterator(out, error)) files += entry.exists();
        EXPECT_EQ(files, c.exit == 0 ? 4u : 0u) << c.what;
        EXPECT_EQ(fs::exists(out / "pkg.h"), c.exit == 0) << c.what;
    }
}

}  // namespace
}  // namespace test
