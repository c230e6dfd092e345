#include "tools/nativegen-build/package/walk.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PackageFilesTest, GlobsMatchPathsBelowTheRoot) {
    const struct {
        const char* glob;
        const char* path;
        bool matches;
    } cases[] = {
        {"*.json", "package.json", true},           // no "/": the file's own name at any depth
        {"*.json", "lib/locale/de.json", true},
        {"*.JSON", "data/Stra\xc3\x9f" "e.Json", true},  // ASCII case ignored
        {"*.js", "lib/index.jsx", false},
        {"*.d.ts", "lib/lib.es5.d.ts", true},
        {"lib/*.js", "lib/index.js", true},
        {"lib/*.js", "lib/sub/index.js", false},    // "*" never crosses a "/"
        {"lib/**/*.js", "lib/index.js", true},      // "**" is any number of folders, none too
        {"lib/**/*.js", "lib/a/b/c.js", true},
        {"**/*.js", "a.js", true},
        {"lib/**", "lib/a/b", true},
        {"lib/**", "libx/a", false},
        {"?.js", "\xf0\x9f\x98\x80.js", true},      // "?" is one character, not one byte
        {"?.js", "ab.js", false},
        {"LICENSE", "LICENSE", true},
        {"LICENSE", "LICENSE.md", false},
        {"a*b*c", "aXbYbc", true},                  // a later "*" takes what an earlier could not
        {"a*b*c", "aXbYb", false},
        {"docs/*", "docs", false},
    };
    for (const auto& c : cases) EXPECT_EQ(package::GlobMatches(c.glob, c.path), c.matches) << c.glob << " " << c.path;
}

// Names a package holds: UTF-8 as the standard has it, and nothing that
// only looks like it (a surrogate alone or paired as CESU-8 writes it, an
// overlong form, a code point past U+10FFFF, a cut sequence).
TEST(PackageFilesTest, NamesAreValidUtf8AndNothingElse) {
    const struct {
        const char* what;
        std::string bytes;
        bool valid;
    } cases[] = {
        {"empty", "", true},
        {"ASCII", "lib/a.js", true},
        {"two bytes, the first", "\xc2\x80", true},
        {"three bytes, the first", "\xe0\xa0\x80", true},
        {"below the surrogates", "\xed\x9f\xbf", true},            // U+D7FF
        {"above the surrogates", "\xee\x80\x80", true},            // U+E000
        {"four bytes, the first", "\xf0\x90\x80\x80", true},      // U+10000
        {"the last code point", "\xf4\x8f\xbf\xbf", true},        // U+10FFFF
        {"the first surrogate", "\xed\xa0\x80", false},            // U+D800
        {"the last high surrogate", "\xed\xaf\xbf", false},        // U+DBFF
        {"the first low surrogate", "\xed\xb0\x80", false},        // U+DC00
        {"the last surrogate", "\xed\xbf\xbf", false},             // U+DFFF
        {"a CESU-8 pair", "\xed\xa0\xbd\xed\xb8\x80", false},    // U+1F600 as two surrogates
        {"a surrogate among ASCII", "a\xed\xb2\x80" "b.js", false},
        {"overlong NUL", std::string("\xc0\x80"), false},
        {"overlong '/'", "\xc1\xaf", false},
        {"overlong three bytes", "\xe0\x9f\xbf", false},           // U+07FF in three
        {"overlong four bytes", "\xf0\x8f\xbf\xbf", false},       // U+FFFF in four
        {"past U+10FFFF", "\xf4\x90\x80\x80", false},             // U+110000
        {"a lead past F4", "\xf5\x80\x80\x80", false},
        {"a lone continuation", "\x80", false},
        {"a cut sequence", "\xe2\x82", false},
        {"a cut sequence at the end", "a\xf0\x9f\x98", false},
        {"a lead then ASCII", "\xc3(", false},
    };
    for (const auto& c : cases) EXPECT_EQ(package::ValidUtf8(c.bytes), c.valid) << c.what;
}

}  // namespace
