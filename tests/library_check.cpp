// Built against four script libraries in one program: two trees that share
// module names, and a tree of names that collide with the C library, its
// macros and the header's own type, twice (through .incbin and through C
// literals). Each library must hold exactly what the generator's header
// for its tree holds: the same entries in the same order, names, sizes
// and bytes, and find() must give the first entry of a name.
//
//   library_check LABEL=HEADER ...   (HEADER: the generator's native.h for that tree)
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <nativegen/node_native.h>

#include "nativegen_hostile_names.h"
#include "nativegen_hostile_names_c.h"
#include "nativegen_tree_one.h"
#include "nativegen_tree_two.h"

namespace {

// Looked up during dynamic initialisation: the table must be ready before
// any of it runs.
const nativegen_hostile_names::entry* const early = nativegen_hostile_names::find("index");

struct Script {
    std::string name;
    std::string bytes;
};

// The scripts of a header the generator wrote, in order; false when it
// cannot be read or is not such a header.
bool ReadHeader(const std::string& path, std::vector<Script>* scripts) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return false;
    std::size_t at = 0;
    while (at < text.size()) {
        // const char ID[] = {LIST};\r\n
        std::size_t open = text.find("[] = {", at), close = text.find("};\r\n", open);
        if (text.compare(at, 11, "const char ") != 0 || open == std::string::npos || close == std::string::npos)
            return false;
        std::string id = text.substr(at + 11, open - at - 11);
        Script script;
        for (std::size_t i = open + 6; i < close;) {
            std::size_t comma = std::min(text.find(',', i), close);
            script.bytes += static_cast<char>(std::atoi(text.substr(i, comma - i).c_str()));
            i = comma + 1;
        }
        // node_native native_ID{ "NAME", ID, sizeof(ID) };\r\n
        std::string head = "node_native native_" + id + "{ \"", tail = "\", " + id + ", sizeof(" + id + ") };\r\n";
        std::size_t line = close + 4, end = text.find(tail, line);
        if (text.compare(line, head.size(), head) != 0 || end == std::string::npos) return false;
        script.name = text.substr(line + head.size(), end - line - head.size());
        scripts->push_back(std::move(script));
        at = end + tail.size();
    }
    return true;
}

// Compares one library (its all(), count() and find()) with the scripts
// of its header; answers the number of failures.
template <typename Entries, typename Find>
int Compare(const std::string& label, const std::vector<Script>& scripts, const Entries& all, std::size_t count,
            Find find) {
    int failures = 0;
    auto fail = [&](const std::string& what) {
        std::printf("FAILED %s: %s\n", label.c_str(), what.c_str());
        ++failures;
    };
    if (all.size() != scripts.size() || count != scripts.size())
        fail(std::to_string(all.size()) + " entries, count() " + std::to_string(count) + ", header " +
             std::to_string(scripts.size()));
    for (std::size_t i = 0; i < scripts.size() && i < all.size(); ++i) {
        const auto& e = all[i];
        const Script& s = scripts[i];
        bool same = s.name == e.name && s.bytes.size() == e.size && std::string(e.data, e.size) == s.bytes;
        std::printf("%-6s %-8s %-16s %zu bytes\n", same ? "ok" : "FAILED", label.c_str(), e.name, e.size);
        if (!same) ++failures;
        // the first of its name in the tree's order
        std::size_t first = 0;
        while (scripts[first].name != s.name) ++first;
        if (find(s.name) != &all[first]) fail("find(\"" + s.name + "\") is not entry " + std::to_string(first));
    }
    if (find("no/such/module") != nullptr) fail("find of a missing module");
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    int failures = 0, libraries = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string label = arg.substr(0, arg.find('=')), header = arg.substr(label.size() + 1);
        std::vector<Script> scripts;
        if (!ReadHeader(header, &scripts)) {
            std::printf("FAILED %s: cannot read the header %s\n", label.c_str(), header.c_str());
            return 1;
        }
        ++libraries;
        if (label == "one")
            failures += Compare(label, scripts, nativegen_tree_one::all(), nativegen_tree_one::count(),
                                [](const std::string& n) { return nativegen_tree_one::find(n); });
        else if (label == "two")
            failures += Compare(label, scripts, trees::two::all(), trees::two::count(),
                                [](const std::string& n) { return trees::two::find(n.c_str()); });
        else if (label == "names")
            failures += Compare(label, scripts, nativegen_hostile_names::all(), nativegen_hostile_names::count(),
                                [](const std::string& n) { return nativegen_hostile_names::find(n); });
        else if (label == "names-c")
            failures += Compare(label, scripts, c_literals::all(), c_literals::count(),
                                [](const std::string& n) { return c_literals::find(n); });
        else
            --libraries, ++failures, std::printf("FAILED unknown library %s\n", label.c_str());
    }
    if (early == nullptr || early != nativegen_hostile_names::find("index")) {
        std::printf("FAILED find() during static initialisation\n");
        ++failures;
    }
    if (nativegen_tree_one::find(static_cast<const char*>(nullptr)) != nullptr) ++failures;
    std::printf("%d libraries, %d failed\n", libraries, failures);
    return failures == 0 && libraries == 4 ? 0 : 1;
}
