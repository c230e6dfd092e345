// ES modules over the tree: the engine's module records, every import through the resolver.
#pragma once

#include <string>

#include <jsapi.h>

namespace host {

// Sets the runtime's module resolve hook to the resolver's import mode.
void install_modules(JSContext* cx);

// Loads, links and evaluates the ES module at the tree path `path`, and
// runs the job queue until it is empty; false with an exception pending
// when any of it fails or the module's evaluation is rejected.
bool run_module(JSContext* cx, const std::string& path);

}  // namespace host
