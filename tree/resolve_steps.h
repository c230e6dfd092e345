// The steps node's resolution is made of, shared by the files that take them.
//
// A resolved module travels as a URL string: a file: URL as its
// percent-encoded pathname ("/a/b%20c.js", always "/" first), any other
// as its whole text ("node:fs"). A failure is thrown as node throws it
// and caught once, in resolver::resolve.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nativegen/resolve.h>

namespace nativegen::detail {

// A failure: node's error code and message.
struct resolve_failure {
    std::string code, message;
};
[[noreturn]] void fail(std::string code, std::string message);

// What one resolution asks with: the tree, the host's options, the mode's
// conditions, and the
// specifier and the asking file's tree path.
struct resolve_scope {
    const tree& files;
    const resolve_options& options;
    const std::vector<std::string>& conditions;
    std::string_view specifier;
    std::string_view asking;
};

// --- file: URLs (url.cpp) ---

// The pathname `input` names against the file: URL pathname `base`, as
// the URL standard resolves a relative reference: "\" as "/", query and
// fragment dropped, "." and ".." segments (also as %2e) applied, the bytes
// a path may not hold percent-encoded. A host other than "localhost"
// fails with ERR_INVALID_FILE_URL_HOST.
std::string url_join(std::string_view input, std::string_view base);
// The pathname of the file: URL node makes of the absolute path `path`.
std::string url_from_path(std::string_view path);
// The path a file: URL pathname names, percent-decoded; an encoded "/"
// fails with ERR_INVALID_FILE_URL_PATH.
std::string path_from_url(std::string_view pathname);
// Fails with ERR_INVALID_MODULE_SPECIFIER when the resolved `url` holds
// %2F or %5C, in either case: an encoded "/" or "\" names no module.
void refuse_encoded_separator(const resolve_scope& s, std::string_view url);
// The scheme `text` starts with ("node" of "node:fs"), lower-cased; empty
// when it does not start with one.
std::string url_scheme(std::string_view text);
// What node takes as a URL's extension: from the last "." of the last
// segment when the segment does not start there ("" otherwise).
std::string_view url_extension(std::string_view pathname);

// --- package.json, "exports" and "imports" (exports.cpp) ---

// The package.json in `folder` (a tree path) as node reads one: null when
// there is none; one that is not valid JSON fails with
// ERR_INVALID_PACKAGE_CONFIG.
const package* read_package(const resolve_scope& s, std::string_view folder);
// The folder of the nearest package.json above the file `path` by the ES
// rule (stopping at a folder whose path ends "node_modules"), "" when none.
std::string package_scope(const resolve_scope& s, std::string_view path);
// Whether a package's "exports" or "imports" is there and not null.
bool present(const package& p, int field);
// PACKAGE_EXPORTS_RESOLVE of `subpath` ("." or "./x") in the package `p`
// whose folder is `folder` (a tree path).
std::string package_exports_resolve(const resolve_scope& s, std::string_view folder, const package& p,
                                    std::string_view subpath);
// PACKAGE_IMPORTS_RESOLVE of the "#" specifier `name` from the file URL
// pathname `base`.
std::string package_imports_resolve(const resolve_scope& s, std::string_view name, std::string_view base);

// --- the ES algorithm (esm.cpp) ---

// PACKAGE_RESOLVE of a bare `specifier` from the file URL pathname `base`.
std::string package_resolve(const resolve_scope& s, std::string_view specifier, std::string_view base);
// The whole ES resolution of the scope's specifier.
resolution resolve_module(const resolve_scope& s);
// The format of the file whose URL pathname is `pathname`, by its extension
// and its package scope's "type" (none where node leaves it to the source).
format format_of(const resolve_scope& s, std::string_view pathname);

// --- the CommonJS algorithm (cjs.cpp) ---

resolution resolve_require(const resolve_scope& s);

// --- builtins (builtins.cpp) ---

// Whether `name` (without "node:") is among the builtins; and whether it
// is one a bare name reaches (not one node knows only with the prefix).
bool is_builtin(const resolve_options& options, std::string_view name);
bool is_bare_builtin(const resolve_options& options, std::string_view name);

}  // namespace nativegen::detail
