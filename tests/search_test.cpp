#include "runtime/services/search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "runtime/services/text.h"
#include "tests/support/test_support.h"

namespace {

// Every name the search yields, in order.
std::vector<std::string> FindAll(const test::TempDir& dir, const std::string& wildcard, std::int32_t mask,
                                 bool maskOmitted = false) {
    std::string pattern = test::ProgramPath(dir.path()) + "\\" + wildcard;
    FindHandle slot = 0;
    std::vector<std::string> names;
    for (TextValue name = FindEntry(pattern.c_str(), mask, maskOmitted, &slot); name;
         name = FindEntry(nullptr, mask, maskOmitted, &slot)) {
        names.push_back(name);
        ReleaseBlock(name);
    }
    CloseFind(slot);
    return names;
}

std::set<std::string> AsSet(const std::vector<std::string>& names) { return {names.begin(), names.end()}; }

}  // namespace

TEST(SearchTest, PatternsMatchWithoutCaseOverTheWholeName) {
    test::TempDir dir;
    for (const char* name : {"a.js", "B.JS", "c.jsx", "d.js.txt", ".js", "e.Js", "noext"}) dir.Write(name, "x");
    EXPECT_EQ(AsSet(FindAll(dir, "*.js", 0x27)), (std::set<std::string>{"a.js", "B.JS", ".js", "e.Js"}));
    EXPECT_EQ(AsSet(FindAll(dir, "?.js", 0x27)), (std::set<std::string>{"a.js", "B.JS", "e.Js"}));
    EXPECT_EQ(AsSet(FindAll(dir, "*.*", 0x27)),
              (std::set<std::string>{"a.js", "B.JS", "c.jsx", "d.js.txt", ".js", "e.Js", "noext"}));
    EXPECT_EQ(AsSet(FindAll(dir, "a.js", 0x27)), (std::set<std::string>{"a.js"}));
    EXPECT_TRUE(FindAll(dir, "*.cpp", 0x27).empty());
}

TEST(SearchTest, DirectoryMaskYieldsDirectoriesDotsIncluded) {
    test::TempDir dir;
    dir.Write("file.js", "x");
    dir.MakeDir("sub");
    dir.MakeDir("other.js");
    EXPECT_EQ(AsSet(FindAll(dir, "*.*", 0x10)), (std::set<std::string>{".", "..", "sub", "other.js"}));
    // an omitted mask takes whatever is not a directory
    EXPECT_EQ(AsSet(FindAll(dir, "*.*", 0, true)), (std::set<std::string>{"file.js"}));
    // an ordinary directory has none of the bits of mask 39
    EXPECT_EQ(AsSet(FindAll(dir, "*.js", 39)), (std::set<std::string>{"file.js"}));
}

TEST(SearchTest, NothingToFindGivesNull) {
    test::TempDir dir;
    dir.MakeDir("only-a-dir");
    FindHandle slot = 0;
    std::string pattern = test::ProgramPath(dir.path()) + "\\*.*";
    EXPECT_EQ(FindEntry(pattern.c_str(), 0x27, false, &slot), nullptr);  // entries there, none meets the mask
    CloseFind(slot);

    std::string missing = test::ProgramPath(dir.path() / "missing") + "\\*.js";
    slot = 0;
    EXPECT_EQ(FindEntry(missing.c_str(), 0x27, false, &slot), nullptr);
    EXPECT_EQ(slot, kNoSearch);
    // continuing a search that never opened touches nothing
    EXPECT_EQ(FindEntry(nullptr, 0x27, false, &slot), nullptr);
    FindHandle none = 0;
    EXPECT_EQ(FindEntry("", 0x27, false, &none), nullptr);
    CloseFind(kNoSearch);
    CloseFind(0);
}

TEST(SearchTest, AFinishedSearchStaysInItsSlot) {
    test::TempDir dir;
    dir.Write("one.js", "1");
    std::string pattern = test::ProgramPath(dir.path()) + "\\*.js";
    FindHandle slot = 0;
    TextValue first = FindEntry(pattern.c_str(), 0x27, false, &slot);
    ASSERT_NE(first, nullptr);
    ReleaseBlock(first);
    EXPECT_EQ(FindEntry(nullptr, 0x27, false, &slot), nullptr);
    EXPECT_NE(slot, 0u);
    EXPECT_NE(slot, kNoSearch);
    EXPECT_EQ(FindEntry(nullptr, 0x27, false, &slot), nullptr);
    // a new search in the same slot closes the old one and starts afresh
    TextValue again = FindEntry(pattern.c_str(), 0x27, false, &slot);
    ASSERT_NE(again, nullptr);
    EXPECT_STREQ(again, "one.js");
    ReleaseBlock(again);
    CloseFind(slot);
}

TEST(SearchTest, PumpMessagesReturnsWithNothingWaiting) { EXPECT_EQ(PumpMessages(), 0); }
