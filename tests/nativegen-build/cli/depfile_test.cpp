// The depfile's text: each name as Ninja and Make read it back.
#include "tools/nativegen-build/cli/depfile.h"

#include <gtest/gtest.h>

#include <string>

// How each byte a path may hold stands in a depfile: escaped so Ninja and
// Make read the name back, or (when they cannot) left out for a stand-in
// that never exists, under an empty rule. A row per byte: what the depfile holds for
// "/t/<name>", or "" when the name is left out.
TEST(FrontEndDepfileTest, EachNameIsEscapedOrLeftOutForAStandIn) {
    const struct {
        const char* name;
        const char* written;
    } rows[] = {
        {"plain.js", "/t/plain.js"},     {"a b.js", "/t/a\\ b.js"},  {"h#sh.js", "/t/h\\#sh.js"},
        {"d$llar.js", "/t/d$$llar.js"},  {"c:olon", "/t/c\\:olon"},   {"colon:", ""},
        {"a;b.js", ""},                  {"a&b.js", ""},               {"Tom's.js", ""},
        {"a^b.js", ""},                  {"a`b.js", ""},               {"caf\xc3\xa9.js", "/t/caf\xc3\xa9.js"},
        {"(x)[y]{z}@+,~!.js", "/t/(x)[y]{z}@+,~!.js"}, {"eq=1.js", ""},  {"x%y.js", ""},
    };
    for (const auto& row : rows) {
        std::string unnamed;
        std::string text = frontend::DepfileText("made", {std::string("/t/") + row.name}, "/d/x.d", &unnamed);
        bool named = *row.written != 0;
        // a named prerequisite and its empty rule; or the stand-in and its own
        std::string listed = named ? row.written : "/d/x.d.always";
        EXPECT_NE(text.find(" " + listed + "\n"), std::string::npos) << row.name << " in\n" << text;
        EXPECT_NE(text.find("\n" + listed + ":\n"), std::string::npos) << row.name << " in\n" << text;
        EXPECT_EQ(text.find("x.d.always") == std::string::npos, named) << row.name << " in\n" << text;
        EXPECT_EQ(unnamed.empty(), named) << row.name;
        EXPECT_EQ(text.rfind("made:", 0), 0u) << text;
    }
}
