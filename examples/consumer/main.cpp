// An example program that embeds the scripts: it includes the generated
// "native.h" and lists each module with its size and first line.
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// The header leaves this type to its consumer: name, data, size.
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

int main() {
    std::printf("%zu embedded modules\n", Modules().size());
    for (const node_native* m : Modules()) {
        std::string first(m->data, m->size);
        first = first.substr(0, first.find('\n'));
        std::printf("  %-10s %5zu bytes  %s\n", m->name, m->size, first.c_str());
    }
    return 0;
}
