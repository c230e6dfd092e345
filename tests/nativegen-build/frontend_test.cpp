// The build front end from the outside: its header against the generator's
// own run standing in the same tree, its depfile, what it leaves alone, and
// its answers to bad input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace test {
namespace {

#if defined(__x86_64__)
constexpr bool kX86_64 = true;
#else
constexpr bool kX86_64 = false;
#endif

// The sanitizer build leaves the runs over gigabytes to the plain one.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

std::string Utf8(const fs::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path FromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

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
    int Build(const std::vector<std::string>& arguments, std::string* errors = nullptr) {
        RunOptions options;
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
}

TEST_F(FrontEndTest, OutputsThatWouldNotChangeKeepTheirTime) {
    ASSERT_EQ(Build({Utf8(tree), header, "--depfile", depfile}), 0);
    std::vector<fs::file_time_type> old;  // each as the file system keeps it
    for (const std::string& file : {header, depfile}) {
        fs::last_write_time(FromUtf8(file), fs::last_write_time(FromUtf8(file)) - std::chrono::hours(24 * 365));
        old.push_back(fs::last_write_time(FromUtf8(file)));
    }
    ASSERT_EQ(Build({Utf8(tree), header, "--depfile", depfile}), 0);
    EXPECT_EQ(fs::last_write_time(FromUtf8(header)), old[0]);
    EXPECT_EQ(fs::last_write_time(FromUtf8(depfile)), old[1]);
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
    // a root of 256 bytes: no room for a script's name below 260
    std::size_t room = 256 - Utf8(dir.path()).size() - 2;
    const std::string outer(room / 2, 'd');
    fs::path deep = dir.MakeDir(outer + "/" + std::string(room - room / 2, 'e'));
    struct Row {
        std::vector<std::string> arguments;
        int code;
        std::string said;
    };
    const std::vector<Row> rows = {
        {{Utf8(dir.path() / "missing"), header}, 1, "missing: no such directory"},
        {{Utf8(dir.path() / "a-file"), header}, 1, "a-file: not a directory"},
        {{Utf8(deep), header}, 1, "leaves no room under the 260-byte limit"},
        {{Utf8(tree), header, "--frobnicate"}, 2, "unknown option --frobnicate"},
        {{Utf8(tree)}, 2, "expected a script root and an output"},
        {{Utf8(tree), header, "--depfile"}, 2, "--depfile needs a value"},
        {{Utf8(tree), Utf8(dir.path() / "out"), "--library", "x", "--data", "hex"}, 2, "--data takes incbin or msvc"},
        {{Utf8(tree), header, "--namespace", "n"}, 2, "--namespace, --data and --target go with --library"},
        {{Utf8(dir.path() / "clash"), header, "--strict"}, 1, "x.js.js: its module name \"x\""},
        {{Utf8(dir.path() / "clash"), header, "--depfile", Utf8(dir.path() / "out")}, 1, "out: cannot be written"},
    };
    for (const Row& row : rows) {
        std::string errors;
        EXPECT_EQ(Build(row.arguments, &errors), row.code) << row.said;
        EXPECT_NE(errors.find(row.said), std::string::npos) << errors;
        EXPECT_EQ(ReadAll(FromUtf8(header)), before) << row.said;
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a-file", "clash", outer, "out", "tree", "work"}))
            << row.said;
    }
    // a header that cannot be created over stays as it was
    ASSERT_TRUE(MarkFile(FromUtf8(header), 'r'));
    std::string errors;
    EXPECT_EQ(Build({Utf8(dir.path() / "clash"), header}, &errors), 1);
    EXPECT_NE(errors.find("native.h: cannot be written"), std::string::npos) << errors;
    EXPECT_EQ(ReadAll(FromUtf8(header)), before);
}

TEST_F(FrontEndTest, ABlobPathKeepsAFolderNameEndingInABackslash) {
    if (kWindowsBuild) GTEST_SKIP() << "a backslash is a separator on Windows";
    // "out" holds another library of the same name: the data must not take its blob
    dir.Write("other/a.js", "the other library's bytes");
    dir.Write("mine/a.js", "this library's own bytes");
    struct Row {
        const char* what;
        std::string output;  // as given, from the work directory
    };
    const std::vector<Row> rows = {{"absolute", Utf8(dir.path() / "out\\")}, {"relative", "../out\\"}};
    for (const Row& row : rows) {
        ASSERT_EQ(Build({Utf8(dir.path() / "other"), Utf8(dir.path() / "out"), "--library", "x"}), 0);
        ASSERT_EQ(Build({Utf8(dir.path() / "mine"), row.output, "--library", "x"}), 0) << row.what;
        fs::path object = dir.path() / "x.o";
        std::string compile = "c++ -c -o '" + object.string() + "' '" + (dir.path() / "out\\" / "x.data.cpp").string() + "'";
        ASSERT_EQ(std::system(compile.c_str()), 0) << row.what << ": " << compile;
        std::string bytes = ReadAll(object);
        EXPECT_NE(bytes.find("this library's own bytes"), std::string::npos) << row.what;
        EXPECT_EQ(bytes.find("the other library's bytes"), std::string::npos) << row.what;
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
        std::error_code error;
        EXPECT_TRUE(fs::is_empty(dir.path() / "out", error)) << row.target;
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
    std::string build = "c++ -std=c++17 -I'" + out.string() + "' -o '" + program.string() + "' '" +
                        (dir.path() / "main.cpp").string() + "' '" + (out / "big.table.cpp").string() + "' '" +
                        (out / "big.data.cpp").string() + "'";
    ASSERT_EQ(std::system(build.c_str()), 0) << build;
    fs::remove(out / "big.bin");  // room for the program's run
    ASSERT_EQ(std::system(("'" + program.string() + "' > '" + printed.string() + "'").c_str()), 0);
    EXPECT_EQ(ReadAll(printed), "a ab 1153433600\nb cd 1153433600\n");
}

}  // namespace
}  // namespace test
