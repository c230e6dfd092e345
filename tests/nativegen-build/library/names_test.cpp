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
        {"a::b::c_d", true}, {"Getpid", true},   {"strchr2", true},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(library::ValidNamespace(c.ns, &why), c.valid) << c.ns;
        EXPECT_EQ(why.empty(), c.valid) << c.ns << ": " << why;
    }
}
