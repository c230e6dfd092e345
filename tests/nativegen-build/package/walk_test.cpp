#include "tools/nativegen-build/package/walk.h"

#include <gtest/gtest.h>

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

}  // namespace
