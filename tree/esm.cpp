// The ES module resolution algorithm: URLs, bare packages, legacy "main", and a file's format.
#include "resolve_steps.h"

namespace nativegen::detail {

namespace {

bool is_file(const resolve_scope& s, std::string_view url) {
    return s.files.kind(path_from_url(url)) == kind::file;
}

// LEGACY_MAIN_RESOLVE of the package whose package.json's URL is `json_url`.
std::string legacy_main(const resolve_scope& s, std::string_view json_url, const package& p) {
    if (p.main.text) {
        const std::string main = "./" + std::string(p.main.text, p.main.size);
        for (const char* tail : {"", ".js", ".json", ".node", "/index.js", "/index.json", "/index.node"}) {
            std::string guess = url_join(main + tail, json_url);
            if (is_file(s, guess)) return guess;
        }
    }
    for (const char* index : {"./index.js", "./index.json", "./index.node"}) {
        std::string guess = url_join(index, json_url);
        if (is_file(s, guess)) return guess;
    }
    fail("ERR_MODULE_NOT_FOUND", "Cannot find package '" + path_from_url(url_join(".", json_url)) +
                                     "' imported from " + std::string(s.asking));
}

// A specifier node takes as a URL relative to the asking module's.
bool relative_or_absolute(std::string_view asked) {
    if (asked.empty()) return false;
    if (asked[0] == '/') return true;
    if (asked[0] != '.') return false;
    return asked.size() == 1 || asked[1] == '/' || (asked[1] == '.' && (asked.size() == 2 || asked[2] == '/'));
}

// FINALIZE_RESOLUTION: the file a file: URL names, which must be one.
std::string finalize(const resolve_scope& s, std::string_view url) {
    refuse_encoded_separator(s, url);
    const std::string path = path_from_url(url);
    // node looks at the last byte alone of a path that ends in "/": the root, a folder
    const kind k = path.back() == '/' ? kind::folder : s.files.kind(path);
    if (k == kind::folder)
        fail("ERR_UNSUPPORTED_DIR_IMPORT", "Directory import '" + path +
                                               "' is not supported resolving ES modules imported from " +
                                               std::string(s.asking));
    if (k != kind::file)
        fail("ERR_MODULE_NOT_FOUND", "Cannot find module '" + path + "' imported from " + std::string(s.asking));
    return normalise(path);
}

}  // namespace

std::string package_resolve(const resolve_scope& s, std::string_view specifier, std::string_view base) {
    if (is_bare_builtin(s.options, specifier)) return "node:" + std::string(specifier);
    std::size_t slash = specifier.find('/');
    bool valid = true;
    const bool scoped = !specifier.empty() && specifier[0] == '@';
    if (scoped) {
        if (slash == std::string_view::npos)
            valid = false;
        else
            slash = specifier.find('/', slash + 1);
    }
    const std::string_view name = specifier.substr(0, slash);
    if ((!name.empty() && name[0] == '.') || name.find_first_of("%\\") != std::string_view::npos) valid = false;
    if (!valid)
        fail("ERR_INVALID_MODULE_SPECIFIER",
             "Invalid module \"" + std::string(specifier) + "\" is not a valid package name imported from " +
                 std::string(s.asking));
    const std::string subpath = "." + std::string(slash == std::string_view::npos ? "" : specifier.substr(slash));

    // the package's own name, from inside it
    const std::string base_path = path_from_url(base);
    const std::string self = package_scope(s, base_path);
    if (!self.empty()) {
        const package& p = *read_package(s, self);
        if (present(p, p.exports) && p.package_name.text &&
            std::string_view(p.package_name.text, p.package_name.size) == name)
            return package_exports_resolve(s, self, p, subpath);
    }

    std::string json_url = url_join("./node_modules/" + std::string(name) + "/package.json", base);
    std::string json_path = path_from_url(json_url);
    for (;;) {
        const std::string folder = json_path.substr(0, json_path.size() - 13);
        if (s.files.kind(folder) == kind::folder) {
            const package* p = read_package(s, folder);
            if (p && present(*p, p->exports)) return package_exports_resolve(s, folder, *p, subpath);
            if (subpath == ".") {
                const package none{{nullptr, 0}, true, type_none, {nullptr, 0}, {nullptr, 0}, -1, -1, nullptr};
                return legacy_main(s, json_url, p ? *p : none);
            }
            return url_join(subpath, json_url);
        }
        const std::string last = json_path;
        json_url = url_join((scoped ? "../../../../node_modules/" : "../../../node_modules/") + std::string(name) +
                                "/package.json",
                            json_url);
        json_path = path_from_url(json_url);
        if (json_path.size() == last.size()) break;
    }
    fail("ERR_MODULE_NOT_FOUND", "Cannot find package '" + std::string(name) + "' imported from " +
                                     std::string(s.asking));
}

format format_of(const resolve_scope& s, std::string_view url) {
    const std::string_view ext = url_extension(url);
    if (ext == ".mjs") return format::module;
    if (ext == ".cjs") return format::commonjs;
    if (ext == ".json") return format::json;
    if (ext == ".wasm") return format::wasm;
    if (ext == ".node") return format::addon;
    if (!ext.empty() && ext != ".js") return format::none;
    const std::string path = path_from_url(url);
    const std::string folder = package_scope(s, path);
    const package_type type = folder.empty() ? type_none : read_package(s, folder)->type;
    if (type == type_commonjs) return format::commonjs;
    if (type != type_module) return format::none;
    if (ext.empty()) {
        // an extensionless file in a module scope is WebAssembly by its first bytes
        contents bytes;
        if (s.files.read(path, bytes) == fault::none && bytes.bytes().substr(0, 4) == std::string_view("\0asm", 4))
            return format::wasm;
    }
    return format::module;
}

resolution resolve_module(const resolve_scope& s) {
    const std::string_view asked = s.specifier;
    const std::string base = url_from_path(s.asking);
    std::string url;
    if (relative_or_absolute(asked)) {
        url = url_join(asked, base);
    } else if (const std::string scheme = url_scheme(asked); !scheme.empty()) {
        // another scheme's URL (node:, data:, https:) is the answer as it is
        if (scheme != "file") return {std::string(asked), format::none, {}, {}};
        url = url_join(asked.substr(5), "/");
    } else if (!asked.empty() && asked[0] == '#') {
        url = package_imports_resolve(s, asked, base);
    } else {
        url = package_resolve(s, asked, base);
    }
    if (url[0] != '/') return {url, url_scheme(url) == "node" ? format::builtin : format::none, {}, {}};
    resolution r;
    r.path = finalize(s, url);
    r.format = format_of(s, url);
    return r;
}

}  // namespace nativegen::detail
