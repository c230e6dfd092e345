// The resolver: node's conditions for each mode, and which algorithm answers.
#include "paths.h"
#include "resolve_steps.h"

namespace nativegen {

const char* describe(format f) noexcept {
    switch (f) {
    case format::builtin: return "builtin";
    case format::commonjs: return "commonjs";
    case format::module: return "module";
    case format::json: return "json";
    case format::wasm: return "wasm";
    case format::addon: return "addon";
    case format::none: break;
    }
    return "";
}

namespace detail {

void fail(std::string code, std::string message) { throw resolve_failure{std::move(code), std::move(message)}; }

}  // namespace detail

resolver::resolver(const tree& files, resolve_options options) : files_(&files), options_(std::move(options)) {
    const char* own[2] = {"require", "import"};
    for (int m = 0; m < 2; ++m) {
        conditions_[m] = {own[m], "node", "node-addons"};
        conditions_[m].insert(conditions_[m].end(), options_.conditions.begin(), options_.conditions.end());
        conditions_[m].emplace_back("default");
    }
}

resolution resolver::resolve(std::string_view specifier, std::string_view asking, mode how) const {
    // a view of `asking` when it is normal already, as it mostly is
    const detail::normal_path normal(asking);
    const std::string_view from = normal.view();
    if (from.empty())
        return {{}, format::none, "ERR_INVALID_ARG_VALUE",
                "resolve: the asking module '" + std::string(asking) + "' is not an absolute tree path"};
    const bool esm = how == mode::import;
    const detail::resolve_scope s{*files_, options_, conditions_[esm ? 1 : 0], specifier, from};
    try {
        return esm ? detail::resolve_module(s) : detail::resolve_require(s);
    } catch (const detail::resolve_failure& f) {
        // node's message, naming the specifier and the asking module where it does not
        const std::string asked(specifier);
        auto has = [&](std::string_view s) { return f.message.find(s) != std::string::npos; };
        const bool names_it = has("'" + asked + "'") || has("\"" + asked + "\"");
        std::string message = f.message;
        if (!names_it)
            message += " (resolving '" + asked + "'" + (has(from) ? "" : " from " + std::string(from)) + ")";
        else if (!has(from))
            message += " (from " + std::string(from) + ")";
        return {{}, format::none, f.code, message};
    }
}

}  // namespace nativegen
