// nativegen-resolve [--esm] [--conditions C,...] [--mount PATH=FOLDER]... SPECIFIER FROM:
// resolves SPECIFIER as the module FROM would have it resolved, by require()
// or, with --esm, by import, over folders on disk mounted in one tree ("/"
// is the system's root unless a mount says otherwise). Prints "PATH FORMAT"
// and exits 0, or prints "CODE: MESSAGE" to stderr and exits 1; bad usage
// exits 2.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <nativegen/resolve.h>

#include "platform/tools/files.h"

namespace {

constexpr const char* usage =
    "usage: nativegen-resolve [--esm] [--conditions C,...] [--mount PATH=FOLDER]... SPECIFIER FROM\n";

int bad_usage(const std::string& why) {
    std::fprintf(stderr, "nativegen-resolve: %s\n%s", why.c_str(), usage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (const auto& a : platform::ToolArguments(argc, argv)) args.push_back(platform::Utf8(a));
    bool esm = false;
    nativegen::resolve_options options;
    std::vector<std::pair<std::string, std::string>> mounts;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--esm") {
            esm = true;
        } else if (a == "--conditions" || a == "--mount") {
            if (i + 1 == args.size()) return bad_usage(a + " needs a value");
            const std::string& v = args[++i];
            if (a == "--conditions") {
                for (std::size_t at = 0; at <= v.size();) {
                    const std::size_t end = v.find(',', at);
                    const std::string c = v.substr(at, end == std::string::npos ? end : end - at);
                    if (c.empty()) return bad_usage("--conditions " + v + ": an empty condition");
                    options.conditions.push_back(c);
                    if (end == std::string::npos) break;
                    at = end + 1;
                }
            } else {
                const std::size_t eq = v.find('=');
                if (eq == std::string::npos || eq == 0 || eq + 1 == v.size())
                    return bad_usage("--mount " + v + ": not PATH=FOLDER");
                mounts.emplace_back(v.substr(0, eq), v.substr(eq + 1));
            }
        } else if (a.size() > 2 && a[0] == '-' && a[1] == '-') {
            return bad_usage("unknown option " + a);
        } else {
            rest.push_back(a);
        }
    }
    if (rest.size() != 2) return bad_usage("expected SPECIFIER and FROM, got " + std::to_string(rest.size()) + " arguments");

    nativegen::tree files;
    if (mounts.empty()) mounts.emplace_back("/", "/");
    for (const auto& [at, folder] : mounts) {
        if (nativegen::fault f = files.mount(at, folder); f != nativegen::fault::none)
            return bad_usage("--mount " + at + "=" + folder + ": " + nativegen::describe(f));
    }
    const nativegen::resolver r(files, options);
    const nativegen::resolution m = r.resolve(rest[0], rest[1], esm ? nativegen::mode::import : nativegen::mode::require);
    if (!m.ok()) {
        std::fprintf(stderr, "%s: %s\n", m.code.c_str(), m.message.c_str());
        return 1;
    }
    const char* format = nativegen::describe(m.format);
    std::printf("%s %s\n", m.path.c_str(), *format ? format : "none");
    return 0;
}
