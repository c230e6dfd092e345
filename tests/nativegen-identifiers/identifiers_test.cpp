#include "tools/common/identifiers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/support/header_model.h"
#include "tests/support/test_support.h"

namespace {

using identifiers::IsValid;
using identifiers::MakeValid;
using identifiers::Namer;

// The header text rewritten, or "error: why".
std::string Rewritten(const std::string& header) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::fwrite(header.data(), 1, header.size(), in);
    std::rewind(in);
    std::string why, text;
    if (identifiers::Rewrite(in, out, &why)) {
        std::rewind(out);
        char piece[4096];
        for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, out)) > 0;) text.append(piece, n);
    } else {
        text = "error: " + why;
    }
    std::fclose(in);
    std::fclose(out);
    return text;
}

// A line pair as the generator writes it for identifier `id` and module
// `name`, whatever they hold.
std::string Lines(const std::string& id, const std::string& name, const std::string& list) {
    return "const char " + id + "[] = {" + list + "};\r\n" + "node_native native_" + id + "{ \"" + name + "\", " + id +
           ", sizeof(" + id + ") };\r\n";
}

}  // namespace

TEST(IdentifiersTest, ValidityAndRepair) {
    const struct {
        std::string id;
        bool valid;
        std::string repaired;
    } cases[] = {
        {"lib_fs", true, "lib_fs"},
        {"x_9_", true, "x_9_"},
        {"jquery.min", false, "jquery_min"},
        {"ar-dz", false, "ar_dz"},
        {"@scope_pkg_index", false, "js_scope_pkg_index"},
        {"1st", false, "js_1st"},
        {"new", false, "new_"},
        {"class", false, "class_"},
        {"main", false, "main_"},
        {"node_native", false, "node_native_"},
        {"NDEBUG", false, "NDEBUG_"},
        {"i386", false, "i386_"},
        {"major", false, "major_"},
        {"caf\xc3\xa9", false, "caf_"},
        {"UP.JS", false, "UP_JS"},
        {"", false, "js"},
        // reserved shapes: a leading "_", any "__"
        {"_x9", false, "js_x9"},
        {"_Bool", false, "js_Bool"},
        {"${x}", false, "js_x_"},
        {"#hash", false, "js_hash"},
        {"a__b", false, "a_b"},
        {"a._b", false, "a_b"},
        // what the standard headers declare or define, with every compiler
        {"index", false, "index_"},
        {"clone", false, "clone_"},
        {"errno", false, "errno_"},
        {"NULL", false, "NULL_"},
        {"linux", false, "linux_"},
        {"unix", false, "unix_"},
        {"stdin", false, "stdin_"},
        {"FILE", false, "FILE_"},
        {"std", false, "std_"},
        {"round", false, "round_"},
        {"y0", false, "y0_"},
        {"max", true, "max"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsValid(c.id), c.valid) << c.id;
        EXPECT_EQ(MakeValid(c.id), c.repaired) << c.id;
        EXPECT_TRUE(IsValid(MakeValid(c.id))) << c.id;
    }
}

TEST(IdentifiersTest, ValidOnesStayAndClashesTakeTheNextFreeSuffix) {
    const struct {
        std::vector<std::string> ids;
        std::vector<std::string> names;
    } cases[] = {
        // a valid identifier keeps its name even when an invalid one before it repairs to it
        {{"a-b", "a_b"}, {"a_b_2", "a_b"}},
        // the same identifier twice (lib\x.js and lib_x.js): the later one moves
        {{"lib_x", "lib_x"}, {"lib_x", "lib_x_2"}},
        // a suffix that a kept identifier holds is passed over
        {{"x-y", "x_y", "x_y_2"}, {"x_y_3", "x_y", "x_y_2"}},
        // the descriptor of one is the array of another
        {{"a", "native_a"}, {"a", "native_a_2"}},
        {{"new", "new_"}, {"new_2", "new_"}},
        {{"index", "index_"}, {"index_2", "index_"}},
    };
    for (const auto& c : cases) {
        Namer namer;
        for (const auto& id : c.ids) namer.Note(id);
        std::vector<std::string> names;
        for (const auto& id : c.ids) names.push_back(namer.Assign(id));
        EXPECT_EQ(names, c.names) << c.ids[0];
    }
}

TEST(IdentifiersTest, AHeaderThatNeedsNoChangeComesOutTheSame) {
    std::string header = test::Pair("app.js", "hi") + test::Pair("lib\\fs.js", std::string(300000, 'x')) +
                         test::Pair("lib\\deep\\a.js", "") + test::Pair("all.js", "\x01\xff");
    EXPECT_EQ(Rewritten(header), header);
    EXPECT_EQ(Rewritten(""), "");
}

TEST(IdentifiersTest, OnlyIdentifiersChange) {
    std::string list(200000, '7');  // one long byte list, passed through in pieces
    std::string header = Lines("a[] = {b", "a[] = {b", "1") + Lines("jquery.min", "jquery.min", list) +
                         Lines("@s_p", "@s/p", "") + Lines("1st", "1st", "49");
    EXPECT_EQ(Rewritten(header), Lines("a_b", "a[] = {b", "1") + Lines("jquery_min", "jquery.min", list) +
                                     Lines("js_s_p", "@s/p", "") + Lines("js_1st", "1st", "49"));
}

TEST(IdentifiersTest, WhatIsNoHeaderIsRefused) {
    const struct {
        std::string text;
        std::string why;
    } cases[] = {
        {"#pragma once\r\n", "line pair 1: not an array line"},
        {"const char a[] = {1};\r\n", "line pair 1: no descriptor line for \"a\""},
        {"const char a[] = {1};\r\nnode_native native_b{ \"a\", b, sizeof(b) };\r\n",
         "line pair 1: no descriptor line for \"a\""},
        {test::Pair("a.js", "1") + "const char b[] = {1,2", "line pair 2: the array line does not end"},
        {"const char a[] = {1};\n", "line pair 1: the array line does not end in \"};\" and CR LF"},
    };
    for (const auto& c : cases) EXPECT_EQ(Rewritten(c.text), "error: " + c.why) << c.text;
}

TEST(IdentifiersTest, RandomHeadersComeOutValidAndUnique) {
    std::mt19937 random(2026);
    const std::string alphabet = "ab_1-.@\x81\x5c";
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> ids(1 + random() % 12);
        std::string header;
        for (auto& id : ids) {
            std::size_t length = random() % 5;
            for (std::size_t i = 0; i < length; ++i) id += alphabet[random() % alphabet.size()];
            if (random() % 4 == 0) id = "native_" + id;
            header += Lines(id, "m/" + id, "1");
        }
        std::string out = Rewritten(header);
        ASSERT_EQ(out.rfind("error", 0), std::string::npos) << out;
        // every name defined, arrays and descriptors alike, is valid and defined once
        std::set<std::string> defined;
        std::size_t at = 0;
        for (const auto& id : ids) {
            std::size_t start = out.find("const char ", at) + 11;
            std::size_t end = out.find("[] = {", start);
            std::string name = out.substr(start, end - start);
            EXPECT_TRUE(IsValid(name)) << name;
            EXPECT_TRUE(defined.insert(name).second) << name << " twice";
            EXPECT_TRUE(defined.insert("native_" + name).second) << "native_" << name << " twice";
            std::string descriptor = "node_native native_" + name + "{ \"m/" + id + "\", " + name + ", sizeof(";
            EXPECT_NE(out.find(descriptor, end), std::string::npos) << descriptor;
            if (IsValid(id) && std::count(ids.begin(), ids.end(), id) == 1) {
                bool clash = false;
                for (const auto& other : ids) clash = clash || other == "native_" + id || "native_" + other == id;
                if (!clash) {
                    EXPECT_EQ(name, id) << "a valid, unique identifier is kept";
                }
            }
            at = out.find("\r\n", out.find("\r\n", end) + 2) + 2;
        }
    }
}

namespace {

// Every file below `root`, as "relative path: bytes", sorted.
std::vector<std::string> FilesBelow(const test::fs::path& root) {
    std::vector<std::string> files;
    for (const auto& entry : test::fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::u8string name = entry.path().lexically_relative(root).generic_u8string();
        files.push_back(std::string(name.begin(), name.end()) + ": " + test::ReadAll(entry.path()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST(IdentifiersProgramTest, TheInputStaysAndNothingElseIsLeft) {
    const std::string changes = test::Pair("a-b.js", "1"), rewritten = Lines("a_b", "a-b", "49");
    const std::string stays = test::Pair("ok.js", "2");
    const test::fs::path folder(u8"模");
    const struct {
        const char* what;
        std::vector<test::fs::path> arguments;
        test::fs::path input;
        std::string header;
        int code;
        std::vector<std::string> after;
    } cases[] = {
        {"an input named like the pending file", {"h.pending", "h"}, "h.pending", changes, 0,
         {"h.pending: " + changes, "h: " + rewritten}},
        {"one file as input and output", {"--link", "x", "x"}, "x", stays, 0, {"x: " + stays}},
        {"a folder named outside ASCII", {folder / "in.h", folder / "out.h"}, folder / "in.h", changes, 0,
         {"模/in.h: " + changes, "模/out.h: " + rewritten}},
        {"an input that is no header", {"in.h", "out.h"}, "in.h", "#pragma once\r\n", 1, {"in.h: #pragma once\r\n"}},
        {"the usage asked for", {"--help"}, "in.h", stays, 0, {"in.h: " + stays}},
        {"the version asked for", {"--version"}, "in.h", stays, 0, {"in.h: " + stays}},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        dir.Write(c.input, c.header);
        std::string errors;
        EXPECT_EQ(test::RunProgram(test::IdentifiersProgram(), dir.path(), &errors, {"", false, c.arguments}), c.code)
            << c.what << ": " << errors;
        std::vector<std::string> after = c.after;
        std::sort(after.begin(), after.end());
        EXPECT_EQ(FilesBelow(dir.path()), after) << c.what;
    }
}
