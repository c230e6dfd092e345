// Compiled against the header the generator wrote over the fixture tree:
// every embedded array must equal its file's bytes, and every script must
// be there. The fixture root is the one argument.
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

struct node_native {
    const char* name;
    const char* data;
    std::size_t size;
    node_native(const char* n, const char* d, std::size_t s);
};

static std::vector<const node_native*>& Modules() {
    static std::vector<const node_native*> all;
    return all;
}

node_native::node_native(const char* n, const char* d, std::size_t s) : name(n), data(d), size(s) {
    Modules().push_back(this);
}

#include "native.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::filesystem::path root = argv[1];
    int failures = 0;
    std::set<std::string> embedded;
    for (const node_native* m : Modules()) {
        embedded.insert(m->name);
        std::ifstream in(root / (std::string(m->name) + ".js"), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        bool same = in.good() || in.eof();
        same = same && bytes.size() == m->size && std::string(m->data, m->size) == bytes;
        std::printf("%-6s %-24s %zu bytes\n", same ? "ok" : "FAILED", m->name, m->size);
        if (!same) ++failures;
    }
    for (auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.path().extension() != ".js") continue;
        std::string name = entry.path().lexically_relative(root).replace_extension().generic_string();
        if (!embedded.count(name)) {
            std::printf("FAILED %s missing\n", name.c_str());
            ++failures;
        }
    }
    std::printf("%zu passed, %d failed\n", Modules().size() - static_cast<std::size_t>(failures), failures);
    return failures == 0 && !Modules().empty() ? 0 : 1;
}
