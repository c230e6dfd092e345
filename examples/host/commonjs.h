// CommonJS over the tree: require() as node has it, every specifier through the resolver.
#pragma once

#include <string>

#include <jsapi.h>

#include <nativegen/resolve.h>

namespace host {

// Whether require() runs `found` as CommonJS: so it says, or it has no
// format (a file whose package scope gives no "type": the resolver leaves
// that to the loader, and node 20's CommonJS loader runs it as such).
bool is_commonjs(const nativegen::resolution& found);

// Runs the CommonJS module at the tree path `path`, or parses it when
// `json` (once: later calls give the cached module's exports), and puts
// its module.exports in `exports`; false with an exception pending when
// it throws or cannot be read, compiled or parsed.
bool require_file(JSContext* cx, const std::string& path, bool json, JS::MutableHandleValue exports);

}  // namespace host
