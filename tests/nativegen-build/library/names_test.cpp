// The names a library takes: which namespaces its header may open.
#include "tools/nativegen-build/library/names.h"

#include <gtest/gtest.h>

#include <string>

TEST(LibraryNamesTest, NamespacesThatCompileAreTakenAndNoOther) {
    const struct {
        const char* ns;
        bool valid;
    } cases[] = {
        {"app", true},    {"scripts::v2", true}, {"x::std", true}, {"Lib_9", true},  {"", false},
        {"a::", false},   {"::a", false},        {"a:::b", false}, {"2x", false},    {"a-b", false},
        {"_x", false},    {"a__b", false},       {"a::_B", false}, {"class", false}, {"a::and", false},
        {"errno", false}, {"NULL", false},       {"linux", false}, {"std", false},   {"posix::x", false},
        {"stat", false},  {"a::fork", false},    {"pipe", false},
        // the C library's and the system's names, from the generated list
        {"strchr", false}, {"getpid", false}, {"clone", false}, {"a::strchr", false}, {"EOF", false},
        // what that list lacks, refused for a reason of its own
        {"min", false}, {"max", false}, {"open", false}, {"wait", false}, {"posix", false},
        {"std::x", false}, {"a::std", true}, {"a::posix", true}, {"nativegen", false}, {"nativegen::x", false},
        {"a::nativegen", true},
        {"__x", false},   {"_X", false},         {"x_", true},     {"main", false},  {"int", false},
        // the table's own headers' names, and the standard's later ones
        {"ZSTD_isError", false}, {"a::ZSTD_DCtx", false}, {"ZSTDLIB_API", false}, {"NATIVEGEN_BLOB_SECTION", false},
        {"Zstd", true}, {"std2", false}, {"std17::x", false}, {"stdx", true}, {"a::std2", true},
        {"a::b::c_d", true}, {"Getpid", true},   {"strchr2", true},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(library::ValidNamespace(c.ns, &why), c.valid) << c.ns;
        EXPECT_EQ(why.empty(), c.valid) << c.ns << ": " << why;
    }
}

// The stems a library's files take: what CMake allows a target, no name
// of a folder, no standard header's name, no Windows device's.
TEST(LibraryNamesTest, LibraryNamesAreFileStemsOnEverySystem) {
    const struct {
        const char* name;
        bool valid;
    } cases[] = {
        {"app", true},      {"my-lib.v2+x", true}, {"Lib_9", true},  {"", false},      {".", false},
        {"..", false},      {"a/b", false},        {"a b", false},   {"a\\b", false},  {"stdio", false},
        {"CSTDIO", false},  {"string_view", false}, {"strings", true}, {"aux", false},  {"AUX.x", false},
        {"con", false},     {"Nul", false},        {"prn", false},   {"com1", false},  {"LPT9", false},
        {"com0", true},     {"com10", true},       {"auxiliary", true}, {"x.aux", true},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(library::ValidLibraryName(c.name, &why), c.valid) << c.name;
        EXPECT_EQ(why.empty(), c.valid) << c.name << ": " << why;
    }
}
