// nativegen-host: runs /app/NAME on SpiderMonkey, its packages mounted from compressed libraries.
//
//   nativegen-host typescript.js        # /app/typescript.js, CommonJS
//   nativegen-host date-fns-import.mjs  # /app/date-fns-import.mjs, an ES module
//
// Every file comes from the tree and every specifier goes through the
// resolver: what is here is the engine's glue only.
#include <cstdio>
#include <string>

#include <nativegen/resolve.h>
#include <nativegen/tree.h>

#include "builtins.h"
#include "commonjs.h"
#include "engine.h"
#include "esm.h"
#include "host_date_fns.h"
#include "host_prettier.h"
#include "host_scripts.h"
#include "host_typescript.h"

namespace {

// The libraries and where they are mounted.
struct mount {
    const char* at;
    const nativegen::library& library;
};
const mount mounts[] = {
    {"/node_modules/typescript", host_typescript::library()},
    {"/node_modules/date-fns", host_date_fns::library()},
    {"/node_modules/prettier", host_prettier::library()},
    {"/app", host_scripts::library()},
};

// Runs the script `entry` (a tree path) as the resolver's format for
// it says: false with the exception pending when it fails.
bool run(JSContext* cx, const nativegen::resolution& entry) {
    if (entry.format == nativegen::format::module) return host::run_module(cx, entry.path);
    if (!host::is_commonjs(entry))
        return host::throw_error(cx, "nativegen-host: " + entry.path + " is a " +
                                         nativegen::describe(entry.format) + " module, not a script");
    JS::RootedValue exports(cx);
    return host::require_file(cx, entry.path, false, &exports) && host::drain(cx);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: nativegen-host NAME.js    (runs /app/NAME.js)\n");
        return 2;
    }
    nativegen::tree files;
    for (const mount& m : mounts) {
        if (nativegen::fault f = files.mount(m.at, m.library); f != nativegen::fault::none) {
            std::fprintf(stderr, "nativegen-host: mount %s: %s\n", m.at, nativegen::describe(f));
            return 1;
        }
    }
    const nativegen::resolver resolver(files);
    // as node's main: found as require() finds it, run as an ES module
    // when that is its format (.mjs, or "type": "module")
    const nativegen::resolution entry =
        resolver.resolve(std::string("/app/") + argv[1], "/app", nativegen::mode::require);
    if (!entry.ok()) {
        std::fprintf(stderr, "nativegen-host: %s: %s\n", entry.code.c_str(), entry.message.c_str());
        return 1;
    }

    host::state state;
    state.files = &files;
    state.resolver = &resolver;
    state.argv0 = argv[0];
    state.main = entry.path;
    host::engine engine(state);
    JSContext* cx = engine.context();
    if (!engine.ok()) {
        std::fprintf(stderr, "nativegen-host: the JavaScript engine did not start\n");
        return 1;
    }
    host::install_modules(cx);
    bool ran = host::install_globals(cx, engine.global()) && run(cx, entry);
    std::fflush(stdout);
    if (state.exit_code >= 0) return state.exit_code;
    if (!ran) {
        host::report(cx);
        return 1;
    }
    return 0;
}
