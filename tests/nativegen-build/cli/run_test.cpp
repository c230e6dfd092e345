// The build front end from the outside: its header against the generator's
// own run standing in the same tree, its depfile, what it leaves alone, and
// its answers to bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/tools/files.h"
#include "tests/support/long_paths.h"
#include "tests/support/test_support.h"
#include "tools/nativegen-build/cli/depfile.h"
#include "tools/nativegen-build/cli/options.h"
#include "tools/nativegen-build/cli/run.h"
#include "tools/nativegen-build/library/compress.h"

namespace test {
namespace {

#if defined(__x86_64__)
constexpr bool kX86_64 = true;
#else
constexpr bool kX86_64 = false;
#endif


using platform::Utf8;

fs::path FromUtf8(const std::string& text) { return platform::FsPath(text); }

class FrontEndTest : public testing::Test {
protected:
    FrontEndTest() {
        for (const char* name : {"app.js", "lib/fs.js", "lib/deep/x.js", "UP.JS", "empty.js", "sp ace/a b.js",
                                 "h#sh.js", "d$llar.js", "\xe6\xa8\xa1\xe5\x9d\x97/caf\xc3\xa9.js", "notes.txt"})
            dir.Write(FromUtf8(std::string("tree/") + name), std::string(name) == "empty.js" ? "" : name);
        dir.MakeDir("out");
        dir.MakeDir("work");
    }

    // Runs the front end with `arguments` from the work directory.
    int Build(const std::vector<std::string>& arguments, std::string* errors = nullptr, bool unprivileged = false) {
        RunOptions options;
        options.unprivileged = unprivileged;
        for (const std::string& argument : arguments) options.arguments.push_back(FromUtf8(argument));
        return RunProgram(BuildProgram(), dir.path() / "work", errors, options);
    }

    // The header the generator writes standing in the tree.
    std::string Standing() {
        fs::path program = tree / GeneratorProgram().filename();
        fs::copy_file(GeneratorProgram(), program, fs::copy_options::overwrite_existing);
        fs::path standing = dir.MakeDir("standing");
        EXPECT_EQ(RunProgram(program, standing), 0);
        fs::remove(program);
        return ReadAll(standing / "native.h");
    }

    TempDir dir;
    fs::path tree = dir.path() / "tree";
    std::string header = Utf8(dir.path() / "out" / "native.h");
    std::string depfile = Utf8(dir.path() / "out" / "native.h.d");
};

TEST_F(FrontEndTest, HeaderIsTheGeneratorsOwnForEverySpellingOfTheRoot) {
    std::string expected = Standing();
    ASSERT_NE(expected.find("caf"), std::string::npos);
    for (const std::string& root : {Utf8(tree), Utf8(tree) + "/", std::string("../tree"), Utf8(tree / "lib" / "..")}) {
        fs::remove(FromUtf8(header));
        std::string errors;
        EXPECT_EQ(Build({root, header}, &errors), 0) << root << ": " << errors;
        EXPECT_EQ(ReadAll(FromUtf8(header)), expected) << root;
    }
}

// The generator's header's scripts as "name=bytes;", in its order.
std::string HeaderEntries(const std::string& text) {
    std::string expected;
    std::istringstream header(text);
    for (std::string line, bytes; std::getline(header, line);) {
        if (line.rfind("const char ", 0) == 0) {
            bytes.clear();
            std::istringstream list(line.substr(line.find('{') + 1, line.rfind('}') - line.find('{') - 1));
            for (std::string number; std::getline(list, number, ',');) bytes += static_cast<char>(std::stoi(number));
        } else if (line.rfind("node_native ", 0) == 0) {
            std::size_t at = line.find('"') + 1;
            expected += line.substr(at, line.find("\", ", at) - at) + "=" + bytes + ";";
        }
    }
    return expected;
}

// The entries of the library `name` in `folder` as "name=bytes;", in the
// table's order: each read from the blob beside it at the table's place;
// "no blob" when the folder holds none the table names.
std::string TableEntries(const fs::path& folder, const std::string& name) {
    const std::string table = ReadAll(folder / (name + ".table.cpp"));
    std::string blobName;
    for (const std::string& file : Names(folder))
        if (file.size() > 8 && file.ends_with(".bin")) blobName = file;
    if (blobName.empty() || table.find(blobName) == std::string::npos) return "no blob";
    const std::string blob = ReadAll(folder / blobName);
    std::string entries;
    std::regex row("\\{\"((?:[^\"\\\\]|\\\\.)*)\", nativegen_blob_\\w+ \\+ (\\d+), (\\d+)\\}");
    for (std::sregex_iterator it(table.begin(), table.end(), row), end; it != end; ++it) {
        std::string entry = DecodeLiteral((*it)[1]);
        entries += entry + "=" + blob.substr(std::stoul((*it)[2]), std::stoul((*it)[3])) + ";";
    }
    return entries;
}

// Library mode, the program as built (the Windows one under Wine too): the
// table's entries are the generator's header's scripts, in its order, and
// the blob its data source names holds their bytes at the table's places.
TEST_F(FrontEndTest, ALibraryHoldsTheGeneratorsScriptsInItsOrder) {
    const std::string expected = HeaderEntries(Standing());
    ASSERT_NE(expected.find("lib/deep/x=lib/deep/x.js;"), std::string::npos) << expected;
    const fs::path out = dir.path() / "out" / "lib";
    std::string errors;
    // an earlier version's data source goes (the table defines its symbol
    // now); a file of that name that someone else wrote stays
    dir.Write("out/lib/app.data.cpp", "// Generated by nativegen-build for the library app: the scripts' bytes");
    dir.Write("out/lib/app.data.c", "/* mine */");
    ASSERT_EQ(Build({Utf8(tree), Utf8(out), "--library", "app"}, &errors), 0) << errors;
    EXPECT_EQ(TableEntries(out, "app"), expected);
    EXPECT_EQ(Listing(out).size(), 4u);
    EXPECT_NE(ReadAll(out / "app.data.c"), "") << "kept: someone else's";
}

// The absolute `path` as this test's own file calls reach it at any
// length: on Windows behind "\\?\".
fs::path Reachable(const fs::path& path) {
    return kWindowsBuild ? fs::path(L"\\\\?\\" + path.lexically_normal().make_preferred().wstring()) : path;
}

// Every output folder a build may name is written into, in each mode:
// names in any script (one code page 936 cannot hold), and outputs whose
// paths reach and pass the 260 bytes old Windows programs stopped at. The
// header is the generator's own; a library's entries are those of the
// same run into a plain folder.
TEST_F(FrontEndTest, OutputsGoToAnyFolderTheSystemCanName) {
    const std::string standing = Standing();
    const fs::path plain = dir.path() / "out" / "plain";
    ASSERT_EQ(Build({Utf8(tree), Utf8(plain / "s"), "--library", "app"}), 0);
    ASSERT_EQ(Build({Utf8(tree), Utf8(plain / "p"), "--library", "app", "--files", "**"}), 0);
    const std::string scripts = TableEntries(plain / "s", "app"), package = TableEntries(plain / "p", "app");
    ASSERT_EQ(scripts, HeaderEntries(standing));
    ASSERT_NE(package.find("lib/deep/x.js=lib/deep/x.js;"), std::string::npos) << package;
    // a folder below "deep" whose output file's path is `bytes` long
    auto ofLength = [&](const std::string& mode, std::size_t bytes, const std::string& file) {
        std::string path = Utf8(dir.path() / "deep" / mode);
        while (path.size() + 1 + file.size() < bytes)
            path += "/" + std::string(std::min<std::size_t>(100, bytes - path.size() - file.size() - 2), 'd');
        return path;
    };
    struct Row {
        const char* what;
        std::string folder;  // UTF-8, below the test's folder unless absolute
    };
    std::vector<Row> rows = {
        {"a Latin name", "bj\xc3\xb6rn/build"},
        {"a Chinese name", "\xe6\xa8\xa1\xe5\x9d\x97"},
        {"an emoji", "\xf0\x9f\x98\x80 out"},
        {"a name code page 936 cannot hold", "ni\xc3\xb1o"},
    };
    for (std::size_t bytes : {248, 259, 260, 300, 400}) rows.push_back({"a long path", std::to_string(bytes)});
    for (const Row& row : rows) {
        for (const std::string mode : {"header", "scripts", "package"}) {
            const bool header = mode == "header";
            std::string folder = Utf8(dir.path() / FromUtf8(row.folder)) + "/" + mode;
            if (std::string(row.what) == "a long path")
                folder = ofLength(mode + row.folder, std::stoul(row.folder), header ? "native.h" : "app.table.cpp");
            const std::string output = header ? folder + "/native.h" : folder;
            std::vector<std::string> arguments = {Utf8(tree), output};
            if (!header) arguments.insert(arguments.end(), {"--library", "app"});
            if (mode == "package") arguments.insert(arguments.end(), {"--files", "**"});
            std::string errors;
            const std::string at = std::string(row.what) + " (" + std::to_string(folder.size()) + " bytes), " + mode;
            EXPECT_EQ(Build(arguments, &errors), 0) << at << ": " << errors;
            const fs::path written = Reachable(FromUtf8(folder));
            if (header) {
                EXPECT_EQ(ReadAll(written / "native.h"), standing) << at;
                continue;
            }
            EXPECT_EQ(TableEntries(written, "app"), mode == "package" ? package : scripts) << at;
            EXPECT_EQ(Names(written).size(), 3u) << at << ": the sources and one blob";
        }
    }
    RemoveTree(Reachable(dir.path() / "deep"));
}

TEST_F(FrontEndTest, DepfileNamesEveryScriptAndFolderTheWalkRead) {
    ASSERT_EQ(Build({Utf8(tree), header, "--depfile", depfile, "--depfile-target", "made here"}), 0);
    std::string text = ReadAll(FromUtf8(depfile));
    std::string root;  // as the depfile writes it: "/" between names, a drive's ":" escaped
    for (char c : Utf8(tree.generic_u8string())) root += c == ':' ? std::string("\\:") : std::string(1, c);
    EXPECT_EQ(text.rfind("made\\ here:", 0), 0u) << text;
    struct Row {
        std::string listed;
        bool present;
    };
    for (const Row& row : {Row{root + "/app.js", true}, Row{root + "/lib/deep", true}, Row{root + "/lib/deep/x.js", true},
                           Row{root + "/UP.JS", true}, Row{root + "/sp\\ ace/a\\ b.js", true},
                           Row{root + "/h\\#sh.js", true}, Row{root + "/d$$llar.js", true},
                           Row{root + "/notes.txt", false}})
        EXPECT_EQ(text.find(" " + row.listed + " ") != std::string::npos ||
                      text.find(" " + row.listed + "\n") != std::string::npos,
                  row.present)
            << row.listed << " in\n" << text;
    // each prerequisite has an empty rule: deleted, it makes Make run again, not stop
    for (const std::string& rule : {root + "/app.js", root + "/lib/deep", root + "/sp\\ ace/a\\ b.js"})
        EXPECT_NE(text.find("\n" + rule + ":\n"), std::string::npos) << rule << " has no rule in\n" << text;
}

// Warnings and the note on a name no depfile holds are said when the
// header or library changes, not on every run.
TEST_F(FrontEndTest, NotesAndWarningsAreSaidWhenTheOutputsChange) {
    dir.Write("tree/a;b.js", "a name no depfile holds");
    dir.Write("tree/x.js.js", "the module name of lib/x.js again");
    dir.Write("tree/x.js", "x");
    const std::string library = Utf8(dir.path() / "lib");
    const struct {
        const char* what;
        std::string changed;  // a script written first, when not empty
        bool library;
        bool said;
    } rows[] = {
        {"the first header", "", false, true},
        {"the same header again", "", false, false},
        {"the same bytes written again", "app.js", false, false},
        {"a script changed", "lib/fs.js", false, true},
        {"the first library", "", true, true},
        {"the same library again", "", true, false},
        {"a script of the library changed", "app.js", true, true},
    };
    for (const auto& row : rows) {
        if (!row.changed.empty()) dir.Write("tree/" + row.changed, row.said ? std::string(row.what) : row.changed);
        std::vector<std::string> arguments = {Utf8(tree), row.library ? library : header, "--depfile", depfile};
        if (row.library) arguments.insert(arguments.end(), {"--library", "scripts"});
        std::string said;
        ASSERT_EQ(Build(arguments, &said), 0) << row.what << ": " << said;
        EXPECT_EQ(said.find("note: ") != std::string::npos, row.said) << row.what << ": " << said;
        EXPECT_EQ(said.find("warning: ") != std::string::npos, row.said) << row.what << ": " << said;
    }
    // in the name's place a stand-in that never exists, under an empty rule
    std::string text = ReadAll(FromUtf8(depfile));
    EXPECT_EQ(text.find("a;b"), std::string::npos) << text;
    EXPECT_NE(text.find("/native.h.d.always\n"), std::string::npos) << text;
    EXPECT_NE(text.find("native.h.d.always:\n"), std::string::npos) << text;
}

// Scripts the header cannot carry whole: each a warning naming the file
// and the reason (the run passes), and with --strict an error (the run
// fails and writes nothing).
TEST_F(FrontEndTest, ScriptsNotCarriedWholeAreNamedWithTheReason) {
    const std::size_t root = Utf8(dir.path() / "w").size();
    ASSERT_LT(root, 200u);
    struct Row {
        std::string file;
        std::string said;
        bool unprivileged = false;  // unreadable for a root only as another user
    };
    const Row rows[] = {
        {std::string(260 - root, 'l') + ".js",
         "its path reaches the 260-byte limit in code page 936: embedded with empty braces"},
        {"big.js", "it is 2 GiB or more: embedded with empty braces"},
        {"locked.js", "it cannot be read: embedded with empty braces", CanRunUnprivileged()},
    };
    std::string notRun;
    for (const Row& row : rows) {
        fs::remove_all(dir.path() / "w");
        fs::path file = dir.Write(fs::path("w") / row.file, "x");
        if (row.file == "big.js") fs::resize_file(file, std::uintmax_t{1} << 31);  // sparse
        if (row.file == "locked.js") fs::permissions(file, fs::perms::none);
        if (row.file == "locked.js" && !row.unprivileged && !ReadAll(file).empty()) {
            notRun += " " + row.file;
            continue;
        }
        fs::path out = dir.MakeDir("w-out");
        if (row.unprivileged) {
            fs::permissions(dir.path(), fs::perms(0755));
            fs::permissions(out, fs::perms::all);
        }
        const std::string made = Utf8(out / "native.h");
        std::string errors;
        EXPECT_EQ(Build({Utf8(dir.path() / "w"), made}, &errors, row.unprivileged), 0) << row.file;
        EXPECT_NE(errors.find(row.file + ": " + row.said), std::string::npos) << errors;
        EXPECT_NE(errors.find("warning: "), std::string::npos) << errors;
        fs::remove(out / "native.h");
        EXPECT_EQ(Build({Utf8(dir.path() / "w"), made, "--strict"}, &errors, row.unprivileged), 1) << row.file;
        EXPECT_NE(errors.find("not written, for the problems above (1)"), std::string::npos) << errors;
        EXPECT_EQ(Listing(out), std::vector<std::string>{}) << row.file;
    }
    if (!notRun.empty()) GTEST_SKIP() << "rows not run here (no other user to be):" << notRun;
}

// A header or depfile whose content would not change keeps its time; the
// stamp, which records that a run went through, takes the time of every
// run that does, and of no other.
TEST_F(FrontEndTest, OutputsThatWouldNotChangeKeepTheirTime) {
    const std::string stamp = Utf8(dir.path() / "out" / "native.h.stamp");
    ASSERT_EQ(Build({Utf8(tree), header, "--depfile", depfile, "--stamp", stamp}), 0);
    std::vector<fs::file_time_type> old;  // each as the file system keeps it
    for (const std::string& file : {header, depfile, stamp}) {
        fs::last_write_time(FromUtf8(file), fs::last_write_time(FromUtf8(file)) - std::chrono::hours(24 * 365));
        old.push_back(fs::last_write_time(FromUtf8(file)));
    }
    ASSERT_EQ(Build({Utf8(dir.path() / "missing"), header, "--stamp", stamp}), 1);
    EXPECT_EQ(fs::last_write_time(FromUtf8(stamp)), old[2]);
    ASSERT_EQ(Build({Utf8(tree), header, "--depfile", depfile, "--stamp", stamp}), 0);
    EXPECT_EQ(fs::last_write_time(FromUtf8(header)), old[0]);
    EXPECT_EQ(fs::last_write_time(FromUtf8(depfile)), old[1]);
    EXPECT_GT(fs::last_write_time(FromUtf8(stamp)), old[2]);
    dir.Write("tree/app.js", "changed");
    ASSERT_EQ(Build({Utf8(tree), header, "--depfile", depfile}), 0);
    EXPECT_NE(fs::last_write_time(FromUtf8(header)), old[0]);
    EXPECT_EQ(ReadAll(FromUtf8(header)), Standing());
}

TEST_F(FrontEndTest, BadInputNamesThePathAndChangesNothing) {
    ASSERT_EQ(Build({Utf8(tree), header}), 0);
    const std::string before = ReadAll(FromUtf8(header));
    dir.Write("clash/x.js", "x");
    dir.Write("clash/x.js.js", "y");
    dir.Write("a-file", "not a directory");
    dir.Write(FromUtf8("ni\xc3\xb1o/a.js"), "a");  // a name code page 936 cannot hold
    fs::path closed = dir.MakeDir("closed");
    fs::permissions(closed, fs::perms::none);
    bool listable = [&] {
        std::error_code error;
        fs::directory_iterator it(closed, error);
        return !error;
    }();
    // a root of 256 bytes: no room for a script's name below 260
    std::size_t room = 256 - Utf8(dir.path()).size() - 2;
    const std::string outer(room / 2, 'd');
    fs::path deep = dir.MakeDir(outer + "/" + std::string(room - room / 2, 'e'));
    const std::string lib = Utf8(dir.path() / "out" / "lib");
    struct Row {
        std::vector<std::string> arguments;
        int code;
        std::string said;  // on standard error; "" for nothing at all
        bool runs = true;  // false where this system cannot make the case
        bool unprivileged = false;
    };
    const std::vector<Row> rows = {
        {{Utf8(dir.path() / "missing"), header}, 1, "missing: no such directory"},
        {{Utf8(dir.path() / "a-file"), header}, 1, "a-file: not a directory"},
        {{Utf8(deep), header}, 1, "leaves no room under the 260-byte limit"},
        {{Utf8(dir.path() / FromUtf8("ni\xc3\xb1o")), header}, 1, "code page 936 or Windows cannot hold this path"},
        {{"/", header}, 1, "the file system's root cannot be walked"},
        // (a root lists every folder: run as another user where one can be had)
        {{Utf8(closed), header}, 1, "closed: cannot be listed", !listable || CanRunUnprivileged(), listable},
        {{Utf8(tree), Utf8(dir.path() / "a-file" / "sub" / "native.h")}, 1, "the output directory cannot be made"},
        {{Utf8(tree), lib, "--library", "string"}, 1, "string: not a library name: string.h would hide"},
        {{Utf8(tree), lib, "--library", "a b"}, 1, "a b: not a library name: letters, digits"},
        {{Utf8(tree), lib, "--library", "ok", "--namespace", "class"}, 1, "class: not a namespace for the library"},
        {{Utf8(tree), lib, "--library", "linux"}, 1, "linux: not a namespace for the library (its name"},
        {{Utf8(tree), header, "--frobnicate"}, 2, "unknown option --frobnicate"},
        {{Utf8(tree)}, 2, "expected a script root and an output"},
        {{Utf8(tree), header, "--depfile"}, 2, "--depfile needs a value"},
        {{Utf8(tree), lib, "--library", "x", "--data", "hex"}, 2, "--data takes incbin or msvc"},
        {{Utf8(tree), header, "--namespace", "n"}, 2, "--namespace, --data and --target go with --library"},
        {{"--help"}, 0, ""},
        {{"--version"}, 0, ""},
        {{Utf8(dir.path() / "clash"), header, "--strict"}, 1, "x.js.js: its module name \"x\""},
        {{Utf8(dir.path() / "clash"), header, "--depfile", Utf8(dir.path() / "out")}, 1, "out: cannot be written"},
        {{Utf8(dir.path() / "clash"), header, "--safe-identifiers", "--depfile", Utf8(dir.path() / "out")}, 1,
         "out: cannot be written"},
        // a package: a glob that takes nothing, the file system's root
        {{Utf8(tree), lib, "--library", "pk", "--files", "*.js", "--files", "nomatch", "--files", "lib/"}, 1,
         "no file below it is taken by the FILES glob \"nomatch\", \"lib/\""},
        {{Utf8(tree), lib, "--library", "pk", "--files", "./app.js"}, 1, "FILES glob \"./app.js\""},
        {{"/", lib, "--library", "pk", "--files", "*.js"}, 1, "the file system's root cannot be walked"},
        {{"//", lib, "--library", "pk", "--files", "*.js"}, 1, "the file system's root cannot be walked"},
        {{Utf8(dir.path() / "tree" / ".." / ".." / ".." / ".." / ".." / ".." / ".." / ".." / ".."), lib, "--library",
          "pk", "--files", "*.js"},
         1, "the file system's root cannot be walked"},
        {{"--check-names", "--library", "a b"}, 1, "a b: not a library name"},
        {{"--check-names", "--library", "pk", "--files", "*.js"}, 2, "--check-names takes --library NAME"},
        {{"--check-names", "--library", "pk", "--stamp", "s"}, 2, "--check-names takes --library NAME"},
        // what CMake asks of an installed front end when it configures
        {{"--check-names", "--library", "pk", "--compress=0"}, 2, "--compress takes a level from 1 to"},
        {{"--check-names", "--library", "pk", "--target", "wasm"}, 2, "--target takes elf-x86_64, "},
        {{"--check-names", "--library", "pk", "--namespace", "getpid"}, 1, "getpid: not a namespace"},
        // a stamp that could not be made, refused before anything is written
        {{Utf8(tree), header, "--stamp", Utf8(dir.path() / "a-file" / "s")}, 1, "s: cannot be the stamp"},
        {{Utf8(tree), lib, "--library", "a", "--stamp", Utf8(dir.path() / "out")}, 1, "out: cannot be the stamp"},
        // a depfile or stamp that is an output of the run (or the other), however spelled
        {{Utf8(tree), header, "--depfile", header}, 1, "cannot be the depfile: it is the output of this run"},
        {{Utf8(tree), header, "--depfile", Utf8(dir.path() / "out" / "x.d"), "--stamp",
          Utf8(dir.path() / "out" / "." / "x.d")},
         1, "cannot be the stamp: it is the depfile of this run"},
        {{Utf8(tree), lib, "--library", "t", "--depfile", lib + "/t.table.cpp"}, 1,
         "cannot be the depfile: it is a file of the library of this run"},
        {{Utf8(tree), lib, "--library", "t", "--stamp", lib + "/"}, 1, "cannot be the stamp: it is the output of"},
        // options that would be silently lost
        {{Utf8(tree), lib, "--library", "a", "--library", "b"}, 2, "--library is given twice"},
        {{Utf8(tree), lib, "--library", "a", "--data", "msvc", "--data", "incbin"}, 2, "--data is given twice"},
        {{Utf8(tree), header, "--depfile", "a.d", "--depfile", "b.d"}, 2, "--depfile is given twice"},
        {{Utf8(tree), lib, "--library", "a", "--safe-identifiers"}, 2, "--safe-identifiers goes with a header"},
        {{Utf8(tree), header, "--depfile-target", "x"}, 2, "--depfile-target goes with --depfile"},
        {{Utf8(tree), header, "--skip-folder", "x"}, 2, "--skip-folder go with --files"},
        // a failure after the output folder was made leaves no folder
        {{Utf8(dir.path() / "clash"), Utf8(dir.path() / "out" / "new" / "lib"), "--library", "ok", "--strict"}, 1,
         "x.js.js: its module name \"x\""},
    };
    std::string notRun;
    for (const Row& row : rows) {
        if (!row.runs) {
            notRun += " " + row.said;
            continue;
        }
        std::string errors;
        if (row.unprivileged) fs::permissions(dir.path(), fs::perms(0755));
        EXPECT_EQ(Build(row.arguments, &errors, row.unprivileged), row.code) << row.said;
        if (row.said.empty())
            EXPECT_EQ(errors, "") << row.arguments[0];
        else
            EXPECT_NE(errors.find(row.said), std::string::npos) << errors;
        EXPECT_EQ(ReadAll(FromUtf8(header)), before) << row.said;
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a-file", "clash", "closed", outer, "ni\xc3\xb1o", "out",
                                                         "tree", "work"}))
            << row.said;
        // no pending header, no scratch file, no library begun
        EXPECT_EQ(Listing(dir.path() / "out"), std::vector<std::string>{"native.h"}) << row.said;
    }
    fs::permissions(closed, fs::perms::all);
    // a header that cannot be created over stays as it was
    ASSERT_TRUE(MarkFile(FromUtf8(header), 'r'));
    std::string errors;
    EXPECT_EQ(Build({Utf8(dir.path() / "clash"), header}, &errors), 1);
    EXPECT_NE(errors.find("native.h: cannot be written"), std::string::npos) << errors;
    EXPECT_EQ(ReadAll(FromUtf8(header)), before);
    if (!notRun.empty()) GTEST_SKIP() << "rows not run here:" << notRun;
}

TEST_F(FrontEndTest, AFolderNameEndingInABackslashIsWrittenNotMistaken) {
    if (kWindowsBuild) GTEST_SKIP() << "a backslash is a separator on Windows";
    // "out" holds another library of the same name: the run writes the
    // folder it was given, whose table names its own blob, and never
    // touches "out"
    dir.Write("other/a.js", "the other library's bytes");
    dir.Write("mine/a.js", "this library's own bytes");
    ASSERT_EQ(Build({Utf8(dir.path() / "other"), Utf8(dir.path() / "out"), "--library", "x"}), 0);
    const std::vector<std::string> before = Listing(dir.path() / "out");
    for (const std::string& output : {Utf8(dir.path() / "out\\"), std::string("../out\\")}) {
        std::string errors;
        EXPECT_EQ(Build({Utf8(dir.path() / "mine"), output, "--library", "x"}, &errors), 0) << output << errors;
        const std::string table = ReadAll(dir.path() / "out\\" / "x.table.cpp");
        // the assembler's string: the backslash escaped, the blob in "out\"
        EXPECT_NE(table.find("/out\\\\\\\\/x."), std::string::npos) << table;
        EXPECT_EQ(Listing(dir.path() / "out\\").size(), 3u) << output;
        EXPECT_EQ(Listing(dir.path() / "out"), before) << output;
    }
}

// Makes `file` a sparse file of `size` bytes whose first and last bytes
// are `first` and `last`; false where sparse files cannot be made.
bool SparseScript(const fs::path& file, std::uintmax_t size, char first, char last) {
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    std::FILE* out = std::fopen(file.string().c_str(), "wb");
    bool made = out && std::fputc(first, out) != EOF && std::fclose(out) == 0;
    fs::resize_file(file, size, error);
    out = made && !error ? std::fopen(file.string().c_str(), "r+b") : nullptr;
    made = out && std::fseek(out, static_cast<long>(size - 1), SEEK_SET) == 0 && std::fputc(last, out) != EOF;
    return (out ? std::fclose(out) == 0 : false) && made;
}

// --compress=LEVEL: each level from 1 to the highest taken and honoured
// (the written blob differs between levels 1 and 19), 0 and one past the
// highest refused, and --compress alone the front end's default level.
TEST_F(FrontEndTest, CompressLevelsAreTakenUpToTheHighestAndHonoured) {
    std::string text;
    for (unsigned i = 0, seed = 1; i < 40000; ++i, seed = seed * 1103515245 + 12345)
        text += std::string("alpha beta gamma delta epsilon zeta eta theta ").substr(seed >> 27, 6 + (seed >> 13) % 9);
    dir.Write("text/words.js", text);
    const int max = library::MaxCompressLevel();
    struct Row {
        std::string option;
        int code;
        std::string said;  // on standard error when refused
    };
    const std::vector<Row> rows = {
        {"--compress=0", 2, "--compress takes a level from 1 to " + std::to_string(max) + ", not \"0\""},
        {"--compress=" + std::to_string(max + 1), 2, "not \"" + std::to_string(max + 1) + "\""},
        {"--compress=" + std::to_string(max), 0, ""},
        {"--compress=1", 0, ""},
        {"--compress=19", 0, ""},
        {"--compress=" + std::to_string(library::kDefaultCompressLevel), 0, ""},
        {"--compress", 0, ""},
    };
    std::map<std::string, std::string> blobs;  // by option: the blob the run wrote
    for (const Row& row : rows) {
        fs::path out = dir.path() / "out" / "lib";
        fs::remove_all(out);
        std::string errors;
        EXPECT_EQ(Build({Utf8(dir.path() / "text"), Utf8(out), "--library", "lib", row.option}, &errors), row.code)
            << row.option << ": " << errors;
        if (row.code != 0) {
            EXPECT_NE(errors.find(row.said), std::string::npos) << row.option << ": " << errors;
            EXPECT_FALSE(fs::exists(out)) << row.option;
            continue;
        }
        for (const std::string& name : Listing(out))
            if (name.ends_with(".bin")) blobs[row.option] = ReadAll(out / name);
        ASSERT_TRUE(blobs.count(row.option)) << row.option << ": no blob";
        EXPECT_LT(blobs[row.option].size(), text.size() / 2) << row.option << ": not compressed";
    }
    // (compared as a whole: a blob's bytes are not worth printing)
    EXPECT_TRUE(blobs["--compress=1"] != blobs["--compress=19"]) << "levels 1 and 19 wrote one blob";
    EXPECT_TRUE(blobs["--compress"] == blobs["--compress=" + std::to_string(library::kDefaultCompressLevel)])
        << "--compress alone is not the default level";
}

TEST_F(FrontEndTest, BlobsPastTheTargetsLimitAreRefusedBeforeAnythingIsWritten) {
    if (kWindowsBuild || kSanitized) GTEST_SKIP() << "the plain Linux build covers the refusal";
    // one byte past 1.5 GiB: over the limit of every target but x86-64 ELF
    // (whose larger blobs the next test links)
    const std::uintmax_t half = std::uintmax_t{768} << 20;
    if (!SparseScript(dir.path() / "big/a.js", half, 'a', 'b') || !SparseScript(dir.path() / "big/b.js", half, 'c', 'd'))
        GTEST_SKIP() << "no sparse files here";
    dir.Write("big/c.js", "e");
    struct Row {
        std::string target;
        int code;
        std::string said;
    };
    const std::string refused = "the scripts come to 1610612737 bytes, past the 1610612736 bytes";
    const std::vector<Row> rows = {
        {"coff", 1, refused + " a library's data can hold for coff"},
        {"elf-aarch64", 1, refused + " a library's data can hold for elf-aarch64"},
        {"any", 1, refused + " a library's data can hold for any"},
    };
    for (const Row& row : rows) {
        fs::remove_all(dir.path() / "out");
        std::string errors;
        EXPECT_EQ(Build({Utf8(dir.path() / "big"), Utf8(dir.path() / "out"), "--library", "big", "--target", row.target},
                        &errors),
                  row.code)
            << row.target << ": " << errors;
        EXPECT_NE(errors.find(row.said), std::string::npos) << row.target << ": " << errors;
        // not even the folder the run made
        EXPECT_FALSE(fs::exists(dir.path() / "out")) << row.target;
    }
}

TEST_F(FrontEndTest, ABlobPast2GiBLinksAndReadsBackOnX86_64) {
    if (kWindowsBuild || kSanitized || !kX86_64) GTEST_SKIP() << "the plain x86-64 Linux build links it";
    std::error_code error;
    // the blob, its object and the program, each 2.2 GiB
    if (fs::space(dir.path(), error).available < (std::uintmax_t{8} << 30))
        GTEST_SKIP() << "the disk lacks the 8 GiB this needs: skipped";
    const std::uintmax_t half = std::uintmax_t{1100} << 20;
    if (!SparseScript(dir.path() / "big/a.js", half, 'a', 'b') || !SparseScript(dir.path() / "big/b.js", half, 'c', 'd'))
        GTEST_SKIP() << "no sparse files here";
    fs::path out = dir.path() / "out";
    std::string errors;
    ASSERT_EQ(Build({Utf8(dir.path() / "big"), Utf8(out), "--library", "big", "--target", "elf-x86_64"}, &errors), 0)
        << errors;
    dir.Write("main.cpp", "#include <cstdio>\n#include \"big.h\"\n"
                          "int main() {\n"
                          "    for (const big::entry& e : big::all())\n"
                          "        std::printf(\"%s %c%c %zu\\n\", e.name, e.data[0], e.data[e.size - 1], e.size);\n"
                          "}\n");
    fs::path program = dir.path() / "big-program", printed = dir.path() / "printed";
    std::string build = "c++ -std=c++17 -I'" + out.string() + "' -I'" NATIVEGEN_INCLUDE "' -o '" + program.string() + "' '" +
                        (dir.path() / "main.cpp").string() + "' '" + (out / "big.table.cpp").string() + "'";
    ASSERT_EQ(std::system(build.c_str()), 0) << build;
    fs::remove(out / "big.bin");  // room for the program's run
    ASSERT_EQ(std::system(("'" + program.string() + "' > '" + printed.string() + "'").c_str()), 0);
    EXPECT_EQ(ReadAll(printed), "a ab 1153433600\nb cd 1153433600\n");
}

}  // namespace
}  // namespace test
