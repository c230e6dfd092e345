// The whole job on trees only the Linux build can make here: stored
// attribute words, symbolic links, FIFOs and code page 936 names.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "tests/generator_fixture.h"
#include "tests/support/small_file_system.h"

using test::GeneratorTest;
using test::Pair;
using test::WellFormed;
namespace fs = test::fs;

TEST_F(GeneratorTest, ANormalAttributeWordSkipsAScript) {
    std::string expected = Script("kept.js", "k");
    fs::path skipped = tree_.Write("normal.js", "n");
    if (setxattr(skipped.c_str(), "user.DOSATTRIB", "0x80", 4, 0) != 0) GTEST_SKIP() << "no user xattrs here";
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Header(), expected);
}

TEST_F(GeneratorTest, ADirectoryEndingInATrailBackslashIsSearched) {
    // 乗 is 81 5C in code page 936: its trail byte is a backslash
    tree_.Write("x乗/a.js", "a");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Header(), "const char x\x81\x5c_a[] = {97};\r\n"
                        "node_native native_x\x81\x5c_a{ \"x\x81\x5c/a\", x\x81\x5c_a, sizeof(x\x81\x5c_a) };\r\n");
}

TEST_F(GeneratorTest, AFifoNamedLikeAScriptGetsEmptyBracesWithoutWaiting) {
    std::string expected = Script("a.js", "a");
    ASSERT_EQ(mkfifo((tree_.path() / "b.js").c_str(), 0644), 0);
    expected += Pair("b.js", "");
    expected += Script("c.js", "c");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Header(), expected);
}

namespace {

// What a header name stands for: the kind of file behind it, its length
// and the head of its bytes.
std::string Describe(const fs::path& file) {
    auto kind = fs::status(file).type();
    std::string bytes = kind == fs::file_type::regular ? test::ReadAll(file) : "";
    return std::to_string(static_cast<int>(kind)) + (fs::is_symlink(file) ? " link, " : ", ") +
           std::to_string(bytes.size()) + " bytes: " + bytes.substr(0, 40);
}

}  // namespace

TEST_F(GeneratorTest, AHeaderThatIsNoFileOrHasNoRoomStaysAsItWasAndTheRunEnds) {
    Script("a.js", std::string(100000, 'a'));  // a header of some 400 KB
    test::TempDir elsewhere;
    test::SmallFileSystem small(elsewhere.path() / "small", "64k");
    fs::path header = work_.path() / "native.h";
    struct Case {
        const char* what;
        std::function<bool()> make;  // false where it cannot be made here
    };
    const Case cases[] = {
        {"a link to a full device", [&] { return symlink("/dev/full", header.c_str()) == 0; }},
        {"a FIFO", [&] { return mkfifo(header.c_str(), 0644) == 0; }},
        {"a link to a FIFO",
         [&] { return mkfifo((elsewhere.path() / "fifo").c_str(), 0644) == 0 &&
                      symlink((elsewhere.path() / "fifo").c_str(), header.c_str()) == 0; }},
        {"a link to a header on a file system without room for the new one",
         [&] { return small.mounted && !elsewhere.Write("small/native.h", "earlier header").empty() &&
                      symlink((small.at / "native.h").c_str(), header.c_str()) == 0; }},
    };
    std::string notRun;
    for (const Case& c : cases) {
        fs::remove(header);
        if (!c.make()) {
            notRun += std::string(" (") + c.what + ")";
            continue;
        }
        const std::string before = Describe(header);
        // a run that waits on a FIFO is let go after a while (and fails)
        std::atomic<bool> ended{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 100 && !ended; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (!ended) close(open(header.c_str(), O_RDONLY | O_NONBLOCK));
        });
        int code = Run();
        ended = true;
        watchdog.join();
        EXPECT_EQ(code, 0) << c.what;
        EXPECT_EQ(errors_, "") << c.what;
        EXPECT_EQ(Describe(header), before) << c.what;
        EXPECT_EQ(WorkNames(), std::vector<std::string>{"native.h"}) << c.what;
    }
    if (!notRun.empty()) GTEST_SKIP() << "rows not run here:" << notRun;
}

namespace {

// What a run may not change about a file but its bytes.
struct FileState {
    std::string bytes;
    ino_t inode;
    nlink_t links;
    mode_t mode;
    uid_t owner;
    bool operator==(const FileState&) const = default;
};

FileState StateOf(const fs::path& file) {
    struct stat st {};
    stat(file.c_str(), &st);
    return {test::ReadAll(file), st.st_ino, st.st_nlink, st.st_mode, st.st_uid};
}

constexpr uid_t kNobody = 65534;

}  // namespace

TEST_F(GeneratorTest, HeadersWrittenInPlaceStayWholeThroughFailedRuns) {
    std::string expected = Script("a.js", "first");
    expected += Script("lib\\b.js", std::string(300000, 'b'));  // more than one piece of the header
    long total = HeapRequestsOfARun();
    ASSERT_GT(total, 10);
    test::TempDir elsewhere;
    fs::path header = work_.path() / "native.h";
    struct Case {
        const char* what;
        bool needsRoot;
        bool unprivileged;
        std::function<fs::path()> make;  // answers the file that holds the header
    };
    const Case cases[] = {
        {"a symbolic link", false, false,
         [&] {
             fs::path target = elsewhere.Write("target.h", "earlier header");
             fs::create_symlink(target, header);
             return target;
         }},
        {"a file with a second link", false, false,
         [&] {
             work_.Write("native.h", "earlier header");
             fs::create_hard_link(header, elsewhere.path() / "second.h");
             return header;
         }},
        {"a file of another owner", true, false,
         [&] {
             work_.Write("native.h", "earlier header");
             EXPECT_EQ(chown(header.c_str(), kNobody, kNobody), 0);
             return header;
         }},
        {"a writable file in a directory closed to the user", true, true,
         [&] {
             work_.Write("native.h", "earlier header");
             EXPECT_EQ(chown(header.c_str(), kNobody, kNobody), 0);
             fs::permissions(work_.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                               fs::perms::others_read | fs::perms::others_exec);
             return header;
         }},
    };
    for (const Case& c : cases) {
        if (c.needsRoot && !test::CanRunUnprivileged()) continue;
        fs::permissions(work_.path(), fs::perms::all);
        fs::remove(header);
        for (const auto& name : elsewhere.Names()) fs::remove(elsewhere.path() / name);
        fs::path target = c.make();
        const FileState before = StateOf(target);
        for (long n = 1; n <= total; n += std::max(1L, total / 10)) {
            ASSERT_EQ(RunFaulty(n, c.unprivileged), 0) << c.what << ", " << n;
            EXPECT_NE(errors_.find("[error]"), std::string::npos) << c.what << ", " << n << ": " << errors_;
            EXPECT_TRUE(StateOf(target) == before) << c.what << ": changed by the run failing at " << n;
            EXPECT_EQ(WorkNames(), std::vector<std::string>{"native.h"}) << c.what << ", " << n;
        }
        ASSERT_EQ(RunFaulty(0, c.unprivileged), 0) << c.what;
        FileState after = StateOf(target);
        EXPECT_EQ(after.bytes, expected) << c.what;
        after.bytes = before.bytes;
        EXPECT_TRUE(after == before) << c.what << ": the file is no longer the same file";
        EXPECT_EQ(fs::is_symlink(header), fs::is_symlink(target) || target != header) << c.what;
        EXPECT_EQ(WorkNames(), std::vector<std::string>{"native.h"}) << c.what;
    }
}

TEST_F(GeneratorTest, ProtectionIsReadFromTheBitsForEveryUser) {
    Script("a.js", "a");
    fs::path header = work_.path() / "native.h";
    for (bool unprivileged : {false, true}) {
        if (unprivileged && !test::CanRunUnprivileged()) continue;
        fs::permissions(work_.path(), fs::perms::all);
        for (const char* how : {"mode", "attribute"}) {
            if (fs::exists(header)) fs::permissions(header, fs::perms::owner_write, fs::perm_options::add);
            fs::remove(header);
            work_.Write("native.h", "earlier header");
            if (unprivileged) {
                ASSERT_EQ(chown(header.c_str(), kNobody, kNobody), 0);
            }
            if (std::string(how) == "mode") fs::permissions(header, fs::perms(0444));
            else if (setxattr(header.c_str(), "user.DOSATTRIB", "0x21", 4, 0) != 0) continue;
            EXPECT_EQ(Run("", {"", unprivileged}), 0);
            EXPECT_EQ(Header(), "earlier header") << how << (unprivileged ? ", unprivileged" : ", as root");
            EXPECT_EQ(WorkNames(), std::vector<std::string>{"native.h"}) << how;
        }
    }
}

TEST_F(GeneratorTest, AReplacedHeaderKeepsItsPermissionBitsAndGroup) {
    std::string expected = Script("a.js", "a");
    fs::path header = work_.path() / "native.h";
    constexpr gid_t kUsers = 100;
    const struct {
        const char* what;
        bool needsRoot;
        bool unprivileged;
        uid_t owner;
        gid_t group;
    } cases[] = {
        {"the user's own group", false, false, geteuid(), getegid()},
        {"a group a new file can be given", true, false, geteuid(), kUsers},
        {"a group the user is no member of: written in place", true, true, kNobody, kUsers},
    };
    std::string notRun;
    for (const auto& c : cases) {
        if (c.needsRoot && !test::CanRunUnprivileged()) {
            notRun += std::string(" (") + c.what + ")";
            continue;
        }
        fs::permissions(work_.path(), fs::perms::all);
        fs::remove(header);
        work_.Write("native.h", "earlier header");
        ASSERT_EQ(chown(header.c_str(), c.owner, c.group), 0) << c.what;
        fs::permissions(header, fs::perms(0660));
        EXPECT_EQ(Run("", {"", c.unprivileged}), 0) << c.what;
        EXPECT_EQ(Header(), expected) << c.what;
        struct stat st {};
        ASSERT_EQ(stat(header.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0660u) << c.what;
        EXPECT_EQ(st.st_gid, c.group) << c.what;
        EXPECT_EQ(WorkNames(), std::vector<std::string>{"native.h"}) << c.what;
    }
    if (!notRun.empty()) GTEST_SKIP() << "rows not run here (they need root):" << notRun;
}

TEST_F(GeneratorTest, AReadOnlyWorkingDirectoryKeepsItsHeader) {
    if (!test::CanRunUnprivileged()) GTEST_SKIP() << "needs root to run as another user";
    Script("a.js", "a");
    work_.Write("native.h", "earlier header");
    fs::permissions(work_.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    EXPECT_EQ(Run("", {"", true}), 0);
    EXPECT_EQ(errors_, "");
    EXPECT_EQ(Header(), "earlier header");
    EXPECT_EQ(WorkNames(), std::vector<std::string>{"native.h"});
}

TEST_F(GeneratorTest, UnreadableScriptsAndUnlistableDirectories) {
    if (!test::CanRunUnprivileged()) GTEST_SKIP() << "needs root to run as another user";
    std::string expected = Script("a.js", "a");
    fs::path locked = tree_.Write("locked.js", "secret");
    fs::permissions(locked, fs::perms::none);
    expected += Pair("locked.js", "");  // found, but cannot be opened: empty braces
    tree_.Write("closed/hidden.js", "never seen");
    fs::permissions(tree_.path() / "closed", fs::perms::none);
    expected += Script("open\\seen.js", "seen");
    fs::permissions(work_.path(), fs::perms::all);
    EXPECT_EQ(Run("", {"", true}), 0);
    EXPECT_EQ(Header(), expected);
}

TEST_F(GeneratorTest, SocketsAndDevicesNamedLikeScriptsGetEmptyBraces) {
    std::string expected = Script("a.js", "a");
    ASSERT_EQ(symlink("/dev/zero", (tree_.path() / "b.js").c_str()), 0);
    expected += Pair("b.js", "");
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (tree_.path() / "c.js").c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    expected += Pair("c.js", "");
    EXPECT_EQ(Run(), 0);
    close(fd);
    EXPECT_EQ(Header(), expected);
}

TEST_F(GeneratorTest, HostileNamesKeepTheFormat) {
    std::string expected = Script("a b.js", "space");
    for (const char* name : {"quote\".js", "back\\slash.js", "tab\t.js", "bell\a.js", "line\nfeed.js", "a<b.js",
                             "c:d.js", "e|f.js", "g*h.js", "bad?.js"})
        tree_.Write(name, "left out");
    // invalid UTF-8 lists as "bad?.js", and never opens the file of that name
    tree_.Write("bad\xff.js", "invalid UTF-8: a name that cannot be opened by what it reads as");
    expected += Pair("bad?.js", "");
    expected += Script("it's.js", "apostrophe");
    EXPECT_EQ(Run(), 0);
    std::string header = Header(), why;
    EXPECT_TRUE(WellFormed(header, &why)) << why;
    EXPECT_EQ(header, expected);
}

TEST_F(GeneratorTest, DirectoriesMovedDuringTheWalkEndItNormally) {
    for (int d = 0; d < 150; ++d)
        for (int f = 0; f < 4; ++f) tree_.Write("d" + std::to_string(d) + "/s" + std::to_string(f) + ".js", "x");
    // a helper renames and removes directories while the program walks
    std::atomic<bool> stop{false};
    std::thread mover([&] {
        for (int round = 0; !stop; ++round) {
            fs::path dir = tree_.path() / ("d" + std::to_string(round % 150));
            std::error_code ignored;
            fs::rename(dir, dir.string() + "-moved", ignored);
            fs::rename(dir.string() + "-moved", dir, ignored);
            if (round % 7 == 0) fs::remove_all(tree_.path() / ("d" + std::to_string((round * 13) % 150)), ignored);
        }
    });
    int code = Run();
    stop = true;
    mover.join();
    EXPECT_EQ(code, 0);
    std::string why;
    EXPECT_TRUE(WellFormed(Header(), &why)) << why;
}

TEST_F(GeneratorTest, InterruptedRunsLeaveNothingBehind) {
    // a script whose header takes long enough to be caught half written
    std::error_code error;
    fs::resize_file(tree_.Write("big.js", ""), std::uintmax_t{256} << 20, error);
    if (error) GTEST_SKIP() << "no sparse files here";
    fs::path generator = tree_.path() / test::GeneratorProgram().filename();
    fs::copy_file(test::GeneratorProgram(), generator);
    const std::string header = (work_.path() / "native.h").string();
    struct Row {
        const char* what;
        std::vector<std::string> command;
        int signal;
    };
    const std::string builder = test::BuildProgram().string(), root = tree_.path().string();
    const std::vector<Row> rows = {
        {"generator, SIGINT", {generator.string()}, SIGINT},
        {"generator, SIGTERM", {generator.string()}, SIGTERM},
        {"generator, SIGHUP", {generator.string()}, SIGHUP},
        {"front end, SIGINT", {builder, root, header}, SIGINT},
        {"front end, SIGTERM", {builder, root, header}, SIGTERM},
        {"front end, SIGHUP", {builder, root, header}, SIGHUP},
        // a library's scratch blob (NAME.<process>.partial) goes as a pending header does
        {"front end, library, SIGTERM", {builder, root, work_.path().string(), "--library", "big"}, SIGTERM},
        {"front end, package, SIGINT",
         {builder, root, work_.path().string(), "--library", "big", "--files", "*.js"}, SIGINT},
    };
    for (const Row& row : rows) {
        work_.Write("native.h", "earlier");
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (chdir(work_.path().c_str()) != 0) _exit(127);
            std::vector<char*> argv;
            for (const std::string& a : row.command) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        // caught once its pending header stands beside the earlier one and grows
        for (int wait = 0; wait < 1000 && WorkNames().size() < 2; ++wait) usleep(10000);
        EXPECT_EQ(WorkNames().size(), 2u) << row.what << ": no pending header seen";
        usleep(100000);
        kill(child, row.signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == row.signal) << row.what << ": status " << status;
        EXPECT_EQ(WorkNames(), std::vector<std::string>{"native.h"}) << row.what;
        EXPECT_EQ(test::ReadAll(work_.path() / "native.h"), "earlier") << row.what;
    }
}
