// Module resolution over a tree, as node resolves require() and import.
//
//   nativegen::resolver r(tree);                       // node's conditions and builtins
//   nativegen::resolution m = r.resolve("date-fns/locale", "/app/main.js", nativegen::mode::require);
//   if (m.ok()) load(m.path, m.format); else throw_error(m.code, m.message);
//
// Relative and absolute specifiers, extensions and index files (CommonJS
// only), package.json "main", "exports" and "imports", self-reference by
// a package's own name, the node_modules walk upward, builtins, and the
// format of what was found from its extension and the nearest
// package.json's "type". A failure carries node's error code and a
// message naming the specifier and the file asking.
//
// A resolver reads its tree and holds nothing it changes: one may answer
// from any number of threads at once. Compiled C++17; link NativeGen::tree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nativegen/tree.h>

namespace nativegen {

// Which loader asks: CommonJS's require() or an ES module's import.
enum class mode { require, import };

// What a resolved module is.
enum class format { none, builtin, commonjs, module, json, wasm, addon };

// "builtin", "commonjs", "module", "json", "wasm", "addon" ("" for none).
const char* describe(format f) noexcept;

// The answer: the tree path of the file and its format, as node's
// resolve reports them. A builtin is its name as asked for require and
// "node:NAME" for import (format none when "node:" was asked, as for any
// other scheme's URL, "data:..." say, which is the answer as it is). A
// ".js" or extensionless file no package.json gives a "type" has format
// none: node leaves it to the source. A failure is node's error code
// ("MODULE_NOT_FOUND", "ERR_MODULE_NOT_FOUND", ...) and its message.
struct resolution {
    std::string path;
    ::nativegen::format format = ::nativegen::format::none;
    std::string code;
    std::string message;
    bool ok() const noexcept { return code.empty(); }
};

// What a host adds to node's ways.
struct resolve_options {
    // Conditions taken besides node's own for the mode ("require" or
    // "import", "node", "node-addons", "default"), such as "browser".
    std::vector<std::string> conditions;
    // The builtin modules' names; node's own when empty. "node:NAME" is
    // a builtin for each; a bare NAME is too, except those node only
    // knows with the prefix.
    std::vector<std::string> builtins;
};

// Node's own builtin module names (node 20), without the "node:" prefix.
const std::vector<std::string>& node_builtins();

class resolver {
public:
    // Reads `files`, which must outlive it.
    explicit resolver(const tree& files, resolve_options options = {});

    // `specifier` as `asking` (the tree path of the module that asks)
    // would have it resolved by `how`.
    resolution resolve(std::string_view specifier, std::string_view asking, mode how) const;

private:
    const tree* files_;
    resolve_options options_;
    std::vector<std::string> conditions_[2];  // the conditions for each mode, in the order given
};

}  // namespace nativegen
