// The builtins the scripts use: console and process on the global, and fs over the tree.
#pragma once

#include <string_view>

#include <jsapi.h>

namespace host {

// Defines console (log, error) and process (argv, env, exit, cwd,
// platform) on `global`.
bool install_globals(JSContext* cx, JS::HandleObject global);

// The exports of the builtin `name` ("fs" or "node:fs"), made once; an
// Error naming it for any other builtin.
bool builtin(JSContext* cx, std::string_view name, JS::MutableHandleValue exports);

}  // namespace host
