// Four script libraries in one program: two trees that share module names,
// and a tree of names that collide with the C library, its macros and the
// header's own type, twice (through .incbin and through C literals). Each
// must hold exactly what the generator's header for its tree holds: the
// same entries in the same order, names, sizes and bytes; find() gives the
// first entry of a name.
//
//   check LABEL=HEADER ...   (HEADER: the generator's native.h for that library's tree)
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nativegen/node_native.h>

#include "nativegen_hostile_names.h"
#include "nativegen_hostile_names_c.h"
#include "nativegen_tree_one.h"
#include "nativegen_tree_two.h"

namespace {

// Looked up during dynamic initialisation: the table is ready before any of it.
const nativegen_hostile_names::entry* const early = nativegen_hostile_names::find("index");

// The (module name, bytes) pairs of a generated header, in order; empty
// when it cannot be read.
std::vector<std::pair<std::string, std::string>> ReadHeader(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::pair<std::string, std::string>> scripts;
    // const char ID[] = {LIST};\r\n  node_native native_ID{ "NAME", ID, sizeof(ID) };\r\n
    for (std::size_t at = 0; text.compare(at, 11, "const char ") == 0;) {
        std::size_t open = text.find("[] = {", at), close = text.find("};\r\n", open);
        std::string id = text.substr(at + 11, open - at - 11), bytes;
        for (std::size_t i = open + 6; i < close; i = std::min(text.find(',', i), close) + 1)
            bytes += static_cast<char>(std::atoi(text.c_str() + i));
        std::string head = "node_native native_" + id + "{ \"", tail = "\", " + id + ", sizeof(" + id + ") };\r\n";
        std::size_t name = close + 4 + head.size(), end = text.find(tail, name);
        scripts.emplace_back(text.substr(name, end - name), bytes);
        at = end + tail.size();
    }
    return scripts;
}

// One library (its all(), count() and find()) against its header's
// scripts; the number of failures.
template <typename Entries, typename Find>
int Compare(const std::string& label, const std::string& header, const Entries& all, std::size_t count, Find find) {
    auto scripts = ReadHeader(header);
    int failures = all.size() != scripts.size() || count != scripts.size() || scripts.empty();
    for (std::size_t i = 0; i < scripts.size() && i < all.size(); ++i) {
        const auto& [name, bytes] = scripts[i];
        bool same = name == all[i].name && std::string(all[i].data, all[i].size) == bytes;
        std::size_t first = 0;  // the first of its name in the tree's order
        while (scripts[first].first != name) ++first;
        same = same && find(name) == &all[first];
        std::printf("%-6s %-8s %s (%zu bytes)\n", same ? "ok" : "FAILED", label.c_str(), name.c_str(), bytes.size());
        failures += !same;
    }
    return failures + (find("no/such/module") != nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    int failures = argc != 5;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i], label = arg.substr(0, arg.find('=')), header = arg.substr(label.size() + 1);
        if (label == "one")
            failures += Compare(label, header, nativegen_tree_one::all(), nativegen_tree_one::count(),
                                [](const std::string& n) { return nativegen_tree_one::find(n); });
        else if (label == "two")
            failures += Compare(label, header, trees::two::all(), trees::two::count(),
                                [](const std::string& n) { return trees::two::find(n.c_str()); });
        else if (label == "names")
            failures += Compare(label, header, nativegen_hostile_names::all(), nativegen_hostile_names::count(),
                                [](const std::string& n) { return nativegen_hostile_names::find(n); });
        else
            failures += Compare(label, header, c_literals::all(), c_literals::count(),
                                [](const std::string& n) { return c_literals::find(n); });
    }
    failures += early == nullptr || early != nativegen_hostile_names::find("index");
    failures += nativegen_tree_one::find(static_cast<const char*>(nullptr)) != nullptr;
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
