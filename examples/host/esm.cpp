// ES modules over the tree: compile, the resolve hook, link, evaluate, and the evaluation's promise.
#include "esm.h"

#include <js/CompilationAndEvaluation.h>
#include <js/Modules.h>
#include <js/Promise.h>
#include <js/SourceText.h>

#include "engine.h"

namespace host {

namespace {

// The module record of the ES module at `path`, compiled once; its
// private value is its path, which its imports are resolved from.
JSObject* module_at(JSContext* cx, const std::string& path) {
    auto& cache = of(cx).modules;
    if (auto cached = cache.find(path); cached != cache.end()) return *cached->second;
    std::string source;
    if (!read(cx, path, source)) return nullptr;
    JS::CompileOptions options(cx);
    options.setFileAndLine(path.c_str(), 1);
    JS::SourceText<mozilla::Utf8Unit> text;
    if (!text.init(cx, source.data(), source.size(), JS::SourceOwnership::Borrowed)) return nullptr;
    JS::RootedObject module(cx, JS::CompileModule(cx, options, text));
    JSString* name = module ? string(cx, path) : nullptr;
    if (!name) return nullptr;
    JS::SetModulePrivate(module, JS::StringValue(name));
    cache.emplace(path, std::make_unique<JS::PersistentRootedObject>(cx, module));
    return module;
}

// HostResolveImportedModule: the request's specifier as the importing
// module (its private value, a path) has it resolved by import.
JSObject* resolve_hook(JSContext* cx, JS::HandleValue referencing, JS::HandleObject request) {
    const std::string specifier = utf8(cx, JS::GetModuleRequestSpecifier(cx, request));
    const std::string asking = referencing.isString() ? utf8(cx, referencing.toString()) : std::string("/");
    const nativegen::resolution found = of(cx).resolver->resolve(specifier, asking, nativegen::mode::import);
    if (!found.ok()) {
        throw_error(cx, found.message, found.code);
        return nullptr;
    }
    if (found.format != nativegen::format::module) {
        throw_error(cx, std::string("nativegen-host: ") + asking + " imports " + found.path + ", a " +
                            nativegen::describe(found.format) + " module; this host imports only ES modules");
        return nullptr;
    }
    return module_at(cx, found.path);
}

}  // namespace

void install_modules(JSContext* cx) { JS::SetModuleResolveHook(JS_GetRuntime(cx), resolve_hook); }

bool run_module(JSContext* cx, const std::string& path) {
    JS::RootedObject module(cx, module_at(cx, path));
    if (!module || !JS::ModuleInstantiate(cx, module)) return false;
    JS::RootedValue evaluation(cx);
    if (!JS::ModuleEvaluate(cx, module, &evaluation)) return false;
    if (!drain(cx)) return false;
    if (of(cx).exit_code >= 0 || !evaluation.isObject()) return true;
    // with top-level await the evaluation is a promise, settled once the queue is empty
    JS::RootedObject promise(cx, &evaluation.toObject());
    if (JS::GetPromiseState(promise) != JS::PromiseState::Rejected) return true;
    JS::RootedValue reason(cx, JS::GetPromiseResult(promise));
    JS_SetPendingException(cx, reason);
    return false;
}

}  // namespace host
