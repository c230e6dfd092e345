// A library's writes hold together whenever a run stops: the real front
// end is run with its Nth rename or write failing, or interrupted or
// killed there, for every N until a run goes through; after each, a
// consumer compiled against whatever stands in the output folder prints
// the old run's entries or the new one's, or fails to link; never a mix,
// never wrong bytes.
#include "tools/nativegen-build/library/writes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/tools/files.h"
#include "tests/support/test_support.h"

namespace test {
namespace {

using library::Entry;

constexpr const char* kConsumer = R"(#include <cstdio>
#include "app.h"
int main() {
    for (const app::entry& e : app::all()) std::printf("%s=%.*s;", e.name, static_cast<int>(e.size), e.data);
}
)";

// Runs `command` through the shell; true when it exits 0.
bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// A path quoted for the shell.
std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// What the library "app" standing in `folder` gives a program compiled
// and linked against it, run: its entries as "name=bytes;" in order; "no
// link" when its sources compile but do not link together; "broken: ..."
// otherwise. `work` is a folder of the caller's for the build.
std::string Linked(const fs::path& folder, const fs::path& work) {
    fs::create_directories(work);
    std::ofstream(work / "consumer.cpp") << kConsumer;
    std::string objects;
    const std::string include = " -I" + Quoted(folder) + " -I" + Quoted(NATIVEGEN_INCLUDE) + " ";
    if (!Shell("c++ -std=c++17 -c" + include + Quoted(work / "consumer.cpp") + " -o " + Quoted(work / "consumer.o")))
        return "broken: the header does not compile";
    for (const char* source : {"app.table.cpp", "app.data.c"}) {
        if (!fs::exists(folder / source)) continue;
        fs::path object = work / (std::string(source) + ".o");
        std::string compiler = std::string(source).ends_with(".c") ? "cc -c" : "c++ -std=c++17 -c";
        if (!Shell("cd " + Quoted(folder) + " && " + compiler + include + source + " -o " + Quoted(object)))
            return std::string("broken: ") + source + " does not compile";
        objects += " " + Quoted(object);
    }
    fs::path program = work / "consumer";
    if (!Shell("c++ " + Quoted(work / "consumer.o") + objects + " -o " + Quoted(program))) return "no link";
    std::string printed = (work / "printed").string();
    if (std::system((Quoted(program) + " > " + Quoted(printed)).c_str()) != 0) return "broken: the consumer failed";
    return ReadAll(printed);
}

// Everything in `folder`, names and bytes, as one text: the same text for
// the same library.
std::string Snapshot(const fs::path& folder) {
    std::string all;
    for (const std::string& name : Listing(folder)) all += name + '\0' + ReadAll(folder / name) + '\0';
    return all;
}

// Writes the scripts `content` (name -> bytes) as the tree `root`, afresh.
void PlantTree(const fs::path& root, const std::vector<std::pair<std::string, std::string>>& content) {
    fs::remove_all(root);
    fs::create_directories(root);
    for (const auto& [name, bytes] : content) std::ofstream(root / (name + ".js"), std::ios::binary) << bytes;
}

TEST(LibraryFilesTest, EveryStopLeavesOneRunsEntriesOrNoLink) {
    if (kWindowsBuild || !Shell("strace -V")) GTEST_SKIP() << "strace drives the faults: Linux, with strace";
    // a sanitizer's runtime makes system calls of its own, which the faults would hit
    if (kSanitized) GTEST_SKIP() << "the plain build's front end takes the faults";
    const std::vector<std::pair<std::string, std::string>> before = {{"a", "alpha"}, {"b", "beta"}},
                                                           after = {{"a", "alphabet"}, {"c", "gamma"}, {"b", "bet"}};
    const std::string old = "a=alpha;b=beta;", fresh = "a=alphabet;b=bet;c=gamma;";
    const struct {
        const char* fault;  // strace's injection, its count to come
        bool leavesNothing; // the run's new files are gone after it
    } faults[] = {
        {"inject=rename:error=EIO:when=", true},
        {"inject=write:error=ENOSPC:when=", true},
        {"inject=rename:signal=TERM:when=", true},
        {"inject=write:signal=TERM:when=", true},
        {"inject=rename:signal=KILL:when=", false},
        {"inject=unlink:error=EIO:when=", false},  // the failing removal may be of its own new file
    };
    TempDir dir;
    std::map<std::string, std::string> seen;  // a folder's Snapshot -> what it links to
    for (const char* format : {"incbin", "msvc"}) {
        for (const auto& row : faults) {
            for (int n = 1;; ++n) {
                ASSERT_LT(n, 300) << row.fault << ": the run never went through";
                const fs::path out = dir.path() / "out";
                fs::remove_all(out);
                PlantTree(dir.path() / "tree", before);
                RunOptions options;
                options.arguments = {dir.path() / "tree", out, "--library", "app", "--data", format};
                ASSERT_EQ(RunProgram(BuildProgram(), dir.path(), nullptr, options), 0);
                PlantTree(dir.path() / "tree", after);
                const fs::path log = dir.path() / "strace.log";
                options.arguments.insert(options.arguments.begin(),
                                         {"-f", "-o", log, "-e", std::string(row.fault) + std::to_string(n),
                                          BuildProgram()});
                int code = RunProgram("/usr/bin/strace", dir.path(), nullptr, options);
                // an error strace made, or a signal it sent (then the call itself went through)
                const std::string traced = ReadAll(log);
                const bool injected = traced.find("(INJECTED)") != std::string::npos ||
                                      traced.find("--- SIG") != std::string::npos ||
                                      traced.find("+++ killed by SIG") != std::string::npos;
                const std::string snapshot = Snapshot(out);
                if (!seen.contains(snapshot)) seen[snapshot] = Linked(out, dir.path() / "build");
                const std::string& linked = seen[snapshot];
                const std::string at = std::string(format) + ", " + row.fault + std::to_string(n);
                EXPECT_TRUE(linked == old || linked == fresh || linked == "no link") << at << ": " << linked;
                if (row.leavesNothing && injected) {
                    // nothing of the run is left but whole files: the old run's or its own
                    for (const std::string& name : Listing(out))
                        EXPECT_TRUE(name.starts_with("app.") && !name.ends_with(".new") && !name.ends_with(".partial"))
                            << at << ": " << name;
                }
                if (injected) continue;
                EXPECT_EQ(code, 0) << at;
                EXPECT_EQ(linked, fresh) << at;
                break;
            }
        }
    }
}

// Entries whose bytes come from files: read whole, in order; a file that
// cannot be read fails the step with its name, before anything is written.
TEST(LibraryFilesTest, EntriesFromFilesAreReadWholeOrTheStepFails) {
    TempDir dir;
    fs::path one = dir.Write("in/one.txt", "first"), two = dir.Write("in/two.txt", std::string(100000, 'z'));
    std::vector<Entry> entries = {{"one", one, {}}, {"held", {}, "bytes"}, {"two", two, {}}};
    frontend::Failure failure;
    fs::path whole = dir.MakeDir("whole");
    library::Request request{"app", "app", library::DataFormat::Incbin, whole, whole.generic_string()};
    ASSERT_TRUE(library::WriteLibrary(request, entries, &failure)) << failure.path << ": " << failure.why;
    if (!kWindowsBuild) {  // a consumer is compiled where the tests run: Linux
        EXPECT_EQ(Linked(whole, dir.path() / "build"), "one=first;held=bytes;two=" + std::string(100000, 'z') + ";");
    }

    std::vector<Entry> missing = {{"one", one, {}}, {"gone", dir.path() / "in" / "gone.txt", {}}};
    request.folder = dir.MakeDir("out");
    EXPECT_FALSE(library::WriteLibrary(request, missing, &failure));
    EXPECT_NE(failure.path.find("gone.txt"), std::string::npos) << failure.path;
    EXPECT_TRUE(fs::is_empty(dir.path() / "out"));

    // a package's file not as the walk saw it: rewritten (same length, a
    // new time) or cut while it was read
    platform::FileFacts seen;
    ASSERT_TRUE(platform::QueryFile(two, &seen));
    request.package = true;
    const struct {
        const char* what;
        std::uint64_t size;
        std::int64_t modified;
        bool written;
    } rows[] = {
        {"as walked", seen.size, seen.modified, true},
        {"rewritten in place", seen.size, seen.modified - 1, false},
        {"another length", seen.size + 1, seen.modified, false},
    };
    for (const auto& row : rows) {
        std::vector<Entry> walked = {{"two", two, {}, row.size, row.modified}};
        fs::path out = dir.MakeDir(std::string("pkg-") + row.what);
        request.folder = out;
        EXPECT_EQ(library::WriteLibrary(request, walked, &failure), row.written) << row.what;
        if (row.written) continue;
        EXPECT_EQ(failure.why, "changed while it was read") << row.what;
        EXPECT_TRUE(fs::is_empty(out)) << row.what;
    }
}

}  // namespace
}  // namespace test
