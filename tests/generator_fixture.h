// The generator from the outside: the built program copied into a tree of
// scripts and run from another working directory, its header compared with
// what a small model of the walk and the two line formats says.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace test {

// ---- The model ------------------------------------------------------------------

inline std::string ReplaceAllOf(std::string text, const std::string& find, const std::string& by) {
    for (std::size_t at = 0; (at = text.find(find, at)) != std::string::npos; at += by.size())
        text.replace(at, find.size(), by);
    return text;
}

// The two lines of a script whose path below the program's directory is
// `relative` (backslashes) and whose content is `bytes`.
inline std::string Pair(const std::string& relative, const std::string& bytes) {
    std::string identifier = ReplaceAllOf(ReplaceAllOf(relative, "\\", "_"), ".js", "");
    std::string name = ReplaceAllOf(ReplaceAllOf(relative, "\\", "/"), ".js", "");
    std::string list;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        list += (i ? "," : "") + std::to_string(static_cast<unsigned char>(bytes[i]));
    return "const char " + identifier + "[] = {" + list + "};\r\n" + "node_native native_" + identifier + "{ \"" +
           name + "\", " + identifier + ", sizeof(" + identifier + ") };\r\n";
}

// ---- The run ---------------------------------------------------------------------

class GeneratorTest : public testing::Test {
protected:
    // Places the program in the tree under `name` (the build's own name
    // when empty) and runs it from the work directory.
    int Run(std::string name = "") {
        fs::path source = test::GeneratorProgram();
        if (name.empty()) name = source.filename().string();
        program_ = tree_.path() / name;
        fs::copy_file(source, program_, fs::copy_options::overwrite_existing);
        fs::permissions(program_, fs::perms::owner_all, fs::perm_options::add);
        return test::RunProgram(program_, work_.path(), &errors_);
    }

    std::string Header() const { return test::ReadAll(work_.path() / "native.h"); }
    std::string Script(const std::string& relative, const std::string& bytes) const {
        tree_.Write(ReplaceAllOf(relative, "\\", "/"), bytes);
        return Pair(relative, bytes);
    }

    test::TempDir tree_;
    test::TempDir work_;
    fs::path program_;
    std::string errors_;
};

}  // namespace test
