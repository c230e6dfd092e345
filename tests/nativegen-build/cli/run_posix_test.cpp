// The front end on a full disk: the error names the file that did not fit,
// and nothing of the run is left in the output folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/small_file_system.h"
#include "tests/support/test_support.h"

namespace test {
namespace {

TEST(FrontEndFullDiskTest, TheErrorNamesTheFileThatDidNotFit) {
    TempDir dir;
    dir.Write("tree/big.js", std::string(300 * 1024, 'b'));  // a header of some 1.2 MB, a blob of 300 KB
    SmallFileSystem small(dir.path() / "out", "256k");
    if (!small.mounted) GTEST_SKIP() << "no small file system to fill here (needs root)";
    const std::string out = small.at.string();
    const struct {
        std::vector<std::string> arguments;
        std::string named;  // the file the error names
    } rows[] = {
        {{"tree", out + "/native.h", "--depfile", out + "/native.h.d"}, out + "/native.h: cannot be written"},
        {{"tree", out + "/native.h", "--safe-identifiers"}, out + "/native.h: cannot be written"},
        {{"tree", out + "/lib", "--library", "app", "--depfile", out + "/app.d"},
         out + "/lib/app." /* the blob, as it is written */},
    };
    for (const auto& row : rows) {
        RunOptions options;
        for (const std::string& argument : row.arguments) options.arguments.push_back(argument);
        std::string errors;
        EXPECT_EQ(RunProgram(BuildProgram(), dir.path(), &errors, options), 1) << row.named;
        EXPECT_NE(errors.find(row.named), std::string::npos) << errors;
        EXPECT_EQ(errors.find(".d: "), std::string::npos) << errors;
        std::vector<std::string> left;
        for (const auto& entry : fs::recursive_directory_iterator(small.at))
            if (!entry.is_directory() && entry.path().filename() != "app.d" && entry.path().filename() != "native.h.d")
                left.push_back(entry.path().string());
        EXPECT_EQ(left, std::vector<std::string>{}) << row.named;
    }
}

}  // namespace
}  // namespace test
