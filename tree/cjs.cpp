// The CommonJS resolution algorithm: require()'s files, folders, node_modules walk and packages.
#include "paths.h"
#include "resolve_steps.h"
#include "separators.h"

namespace nativegen::detail {

namespace {

// Whether the relative request, normalised as node's path.normalize
// does, starts with "..".
bool climbs(std::string_view request) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0; at <= request.size();) {
        std::size_t end = at;
        while (end < request.size() && !is_separator(request[end])) ++end;
        const std::string_view part = request.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else
                parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    return !parts.empty() && parts.front().substr(0, 2) == "..";
}

// path.resolve(folder, request) over tree paths.
std::string join(std::string_view folder, std::string_view request) {
    if (!request.empty() && is_separator(request[0])) return normalise(request);
    std::string whole;
    whole.reserve(folder.size() + 1 + request.size());
    whole.append(folder).append(1, '/').append(request);
    return normalise(whole);
}

bool is_file(const resolve_scope& s, const std::string& path) { return s.files.kind(path) == kind::file; }

// LOAD_AS_FILE's extensions: X.js, X.json, X.node.
std::string try_extensions(const resolve_scope& s, const std::string& base) {
    for (const char* ext : {".js", ".json", ".node"})
        if (is_file(s, base + ext)) return base + ext;
    return {};
}

// LOAD_AS_DIRECTORY: "main" (as a file, with extensions, as a folder's
// index), then the folder's own index.
std::string try_package(const resolve_scope& s, const std::string& folder) {
    const package* p = read_package(s, folder);
    if (!p || !p->main.text || p->main.size == 0) return try_extensions(s, join(folder, "index"));
    const std::string main = join(folder, std::string_view(p->main.text, p->main.size));
    std::string found = is_file(s, main) ? main : try_extensions(s, main);
    if (found.empty()) found = try_extensions(s, join(main, "index"));
    if (found.empty()) found = try_extensions(s, join(folder, "index"));
    if (found.empty())
        fail("MODULE_NOT_FOUND", "Cannot find module '" + main +
                                     "'. Please verify that the package.json has a valid \"main\" entry");
    return found;
}

// The nearest package.json above `path` as require reads one: never at or
// above a node_modules folder.
std::string package_folder(const resolve_scope& s, std::string_view path) {
    std::string_view folder = path;
    while (!folder.empty()) {
        std::size_t at = folder.size();
        while (at > 0 && !is_separator(folder[at - 1])) --at;
        folder = folder.substr(0, at > 0 ? at - 1 : 0);
        if (folder.size() >= 13 && folder.compare(folder.size() - 13, 13, "/node_modules") == 0) return {};
        const std::string_view here = folder.empty() ? std::string_view("/") : folder;
        if (read_package(s, here)) return std::string(here);
    }
    return {};
}

[[noreturn]] void not_found(const resolve_scope& s, std::string_view what) {
    fail("MODULE_NOT_FOUND", "Cannot find module '" + std::string(what) + "'\nRequire stack:\n- " +
                                 std::string(s.asking));
}

// An ES resolution's answer as require takes it: a file that is there.
std::string finalize(const resolve_scope& s, const std::string& url) {
    refuse_encoded_separator(s, url);
    if (url[0] != '/') fail("ERR_INVALID_URL_SCHEME", "The URL must be of scheme file: " + url);
    const std::string path = normalise(path_from_url(url));
    if (!is_file(s, path)) not_found(s, path);
    return path;
}

// Runs an ES step, its "not found" turned into require's.
template <class Step>
std::string es_step(const resolve_scope& s, std::string_view request, Step step) {
    std::string url;
    try {
        url = step();
    } catch (const resolve_failure& f) {
        if (f.code == "ERR_MODULE_NOT_FOUND") not_found(s, request);
        throw;
    }
    return finalize(s, url);
}

// The package name and the rest of a request, as node's EXPORTS_PATTERN
// splits them; false when it is no package request.
bool split_package(std::string_view request, std::string_view& name, std::string_view& expansion) {
    auto plain = [](char c) { return c != '/' && c != '\\' && c != '%'; };
    auto rest_from = [&](std::size_t at) {
        if (at >= request.size() || !plain(request[at]) || request[at] == '.') return false;
        std::size_t end = at + 1;
        while (end < request.size() && plain(request[end])) ++end;
        if (end < request.size() && request[end] != '/') return false;
        if (request.find_first_of("\n\r", end) != std::string_view::npos) return false;
        name = request.substr(0, end);
        expansion = request.substr(end);
        return true;
    };
    if (!request.empty() && request[0] == '@') {
        std::size_t end = 1;
        while (end < request.size() && plain(request[end])) ++end;
        if (end > 1 && end < request.size() && request[end] == '/' && rest_from(end + 1)) return true;
    }
    return rest_from(0);
}

// Module._findPath over the folders `paths`.
std::string find_path(const resolve_scope& s, std::string_view request, const std::vector<std::string>& paths,
                      bool absolute, bool inside) {
    const std::size_t n = request.size();
    const bool trailing = n > 0 && (request[n - 1] == '/' ||
                                    (request[n - 1] == '.' && (n == 1 || request[n - 2] == '/' ||
                                                               (request[n - 2] == '.' && (n == 2 || request[n - 3] == '/')))));
    for (const std::string& folder : paths) {
        if (inside && !folder.empty() && s.files.kind(folder) != kind::folder) continue;
        std::string_view name, expansion;
        if (!absolute && split_package(request, name, expansion)) {
            const std::string root = join(folder, name);
            const package* p = read_package(s, root);
            if (p && present(*p, p->exports))
                return es_step(s, request, [&] {
                    return package_exports_resolve(s, root, *p, "." + std::string(expansion));
                });
        }
        const std::string base = absolute ? normalise(request) : join(folder, request);
        const kind k = s.files.kind(base);
        std::string found;
        if (!trailing) {
            if (k == kind::file) return base;
            found = try_extensions(s, base);
        }
        if (found.empty() && k == kind::folder) found = try_package(s, base);
        if (!found.empty()) return found;
    }
    return {};
}

// The node_modules folders require looks in from `folder`, nearest first,
// none inside a folder itself named node_modules.
std::vector<std::string> node_modules_paths(const std::string& folder) {
    std::vector<std::string> out;
    std::string at = folder;
    for (;;) {
        const std::size_t cut = at.rfind('/');
        const std::string_view last = std::string_view(at).substr(cut + 1);
        if (last != "node_modules" && at != "/") out.push_back(at + "/node_modules");
        if (at == "/" || cut == std::string::npos) break;
        at.resize(cut == 0 ? 1 : cut);
    }
    out.emplace_back("/node_modules");
    return out;
}

}  // namespace

resolution resolve_require(const resolve_scope& s) {
    const std::string_view request = s.specifier;
    if (request.size() > 5 && request.substr(0, 5) == "node:" && is_builtin(s.options, request.substr(5)))
        return {std::string(request), format::builtin, {}, {}};
    if (request.substr(0, 5) != "node:" && is_bare_builtin(s.options, request))
        return {std::string(request), format::builtin, {}, {}};

    const std::string folder(parent(s.asking));
    auto answer = [&](std::string path) {
        resolution r;
        try {
            r.format = format_of(s, url_from_path(path));
        } catch (const resolve_failure&) {
            r.format = format::none;  // require reads no "type" to find a file
        }
        r.path = std::move(path);
        return r;
    };

    // the asking module's package: its "imports", and its own name
    const std::string scope = package_folder(s, s.asking);
    if (!request.empty() && request[0] == '#') {
        const package* p = scope.empty() ? nullptr : read_package(s, scope);
        if (p && present(*p, p->imports))
            return answer(es_step(s, request, [&] {
                return package_imports_resolve(s, request, url_from_path(s.asking));
            }));
    }

    if (!scope.empty()) {
        const package& p = *read_package(s, scope);
        if (present(p, p.exports) && p.package_name.text) {
            const std::string_view name(p.package_name.text, p.package_name.size);
            if (request == name || (request.size() > name.size() && request.substr(0, name.size()) == name &&
                                    request[name.size()] == '/')) {
                const std::string subpath = "." + std::string(request.substr(name.size()));
                return answer(es_step(s, request, [&] { return package_exports_resolve(s, scope, p, subpath); }));
            }
        }
    }

    const bool absolute = !request.empty() && is_separator(request[0]);
    const bool relative = !request.empty() && request[0] == '.' &&
                          (request.size() == 1 || request[1] == '.' || is_separator(request[1]));
    std::vector<std::string> paths;
    bool inside = true;
    if (absolute) {
        paths.emplace_back();
    } else if (relative) {
        paths.push_back(folder);
        // a request that climbs out of its folder is looked for even when that folder is not there
        inside = !climbs(request);
    } else {
        paths = node_modules_paths(folder);
    }
    std::string found = find_path(s, request, paths, absolute, inside);
    if (found.empty()) not_found(s, request);
    return answer(std::move(found));
}

}  // namespace nativegen::detail
