// An example program that embeds the scripts: it reaches them through the
// header of the library that holds them, and lists each module with its
// size and first line.
#include <cstdio>
#include <string>

#include "app_scripts.h"

int main() {
    std::printf("%zu embedded modules\n", app_scripts::count());
    for (const app_scripts::entry& m : app_scripts::all()) {
        std::string first(m.data, m.size);
        first = first.substr(0, first.find('\n'));
        std::printf("  %-10s %5zu bytes  %s\n", m.name, m.size, first.c_str());
    }
    const app_scripts::entry* app = app_scripts::find("app");
    return app && app->size > 0 ? 0 : 1;
}
