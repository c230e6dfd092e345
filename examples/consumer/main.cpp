// An example program that embeds the scripts: it includes the generated
// "native.h" after the registry that its lines fill, and lists each module
// with its size and first line.
#include <cstdio>
#include <string>

#include <nativegen/node_native.h>

#include "native.h"

int main() {
    std::printf("%zu embedded modules\n", node_native::count());
    for (const node_native& m : node_native::all()) {
        std::string first(m.data, m.size);
        first = first.substr(0, first.find('\n'));
        std::printf("  %-10s %5zu bytes  %s\n", m.name, m.size, first.c_str());
    }
    const node_native* app = node_native::find("app");
    return app && app->size > 0 ? 0 : 1;
}
