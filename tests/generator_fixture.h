// The generator from the outside: the built program copied into a tree of
// scripts and run from another working directory, its header compared with
// what a small model of the walk and the two line formats says.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/header_model.h"
#include "tests/support/test_support.h"

namespace test {

// ---- The model ------------------------------------------------------------------

// Does the header hold nothing but well-formed line pairs? Names may hold
// anything but a double quote; identifiers anything but what ends them.
inline bool WellFormed(const std::string& header, std::string* why) {
    std::size_t at = 0;
    auto line = [&](std::string* out) {
        std::size_t end = header.find("\r\n", at);
        if (end == std::string::npos) return false;
        *out = header.substr(at, end - at);
        at = end + 2;
        return true;
    };
    while (at < header.size()) {
        std::string array, descriptor;
        if (!line(&array) || !line(&descriptor)) return *why = "a line without CR LF", false;
        const std::string open = "const char ", mid = "[] = {", close = "};";
        std::size_t idEnd = array.find(mid);
        if (array.rfind(open, 0) != 0 || idEnd == std::string::npos || array.size() < idEnd + mid.size() + 2 ||
            array.substr(array.size() - 2) != close)
            return *why = "array line: " + array, false;
        std::string id = array.substr(open.size(), idEnd - open.size());
        std::string list = array.substr(idEnd + mid.size(), array.size() - idEnd - mid.size() - close.size());
        if (list.find_first_not_of("0123456789,") != std::string::npos) return *why = "byte list: " + list, false;
        std::string head = "node_native native_" + id + "{ \"";
        std::string tail = "\", " + id + ", sizeof(" + id + ") };";
        if (descriptor.rfind(head, 0) != 0 || descriptor.size() < head.size() + tail.size() ||
            descriptor.substr(descriptor.size() - tail.size()) != tail)
            return *why = "descriptor line: " + descriptor, false;
        std::string name = descriptor.substr(head.size(), descriptor.size() - head.size() - tail.size());
        if (name.find('"') != std::string::npos) return *why = "module name: " + name, false;
    }
    return true;
}

// ---- The run ---------------------------------------------------------------------

class GeneratorTest : public testing::Test {
protected:
    // Places the program in the tree under `name` (the build's own name
    // when empty) and runs it from the work directory.
    int Run(fs::path name = {}, const RunOptions& options = {}, const fs::path& source = GeneratorProgram()) {
        if (name.empty()) name = source.filename();
        program_ = tree_.path() / name;
        fs::copy_file(source, program_, fs::copy_options::overwrite_existing);
        fs::permissions(program_, fs::perms::all, fs::perm_options::add);
        return RunProgram(program_, work_.path(), &errors_, options);
    }

    // The same with the generator whose heap fails at the nth request.
    int RunFaulty(long n, bool unprivileged = false) {
        return Run("", {n ? std::to_string(n) : "", unprivileged}, FaultyGeneratorProgram());
    }

    // How many heap requests a whole run of the faulty generator makes.
    long HeapRequestsOfARun() {
        long total = 0;
        if (RunFaulty(0) != 0 || std::sscanf(errors_.c_str(), "exit hook ran after %ld heap requests", &total) != 1)
            ADD_FAILURE() << errors_;
        return total;
    }

    // The names in the work directory.
    std::vector<std::string> WorkNames() const { return work_.Names(); }

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
