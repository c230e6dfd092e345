// CommonJS over the tree: require() as node has it, every specifier through the resolver.
#pragma once

#include <string>

#include <jsapi.h>

namespace host {

// Runs the CommonJS module at the tree path `path`, or parses it when
// `json` (once: later calls give the cached module's exports), and puts
// its module.exports in `exports`; false with an exception pending when
// it throws or cannot be read, compiled or parsed.
bool require_file(JSContext* cx, const std::string& path, bool json, JS::MutableHandleValue exports);

}  // namespace host
