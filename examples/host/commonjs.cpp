// CommonJS over the tree: node's wrapper, module cache, JSON modules, require and require.resolve.
#include "commonjs.h"

#include <js/CompilationAndEvaluation.h>
#include <js/JSON.h>
#include <js/PropertyAndElement.h>
#include <js/SourceText.h>
#include <jsfriendapi.h>

#include "builtins.h"
#include "engine.h"

namespace host {

namespace {

// The function node wraps a module's source in; the source starts on
// the wrapper's own line, so line numbers are the file's.
constexpr std::string_view wrapper_head = "(function (exports, require, module, __filename, __dirname) { ";
constexpr std::string_view wrapper_tail = "\n});";

// The tree path of the module a require function (or its resolve)
// belongs to, kept in the function's first reserved slot.
std::string asking_of(JSContext* cx, const JS::CallArgs& args) {
    return utf8(cx, js::GetFunctionNativeReserved(&args.callee(), 0).toString());
}

// The specifier argument of require() and require.resolve(), resolved.
bool resolve_argument(JSContext* cx, const JS::CallArgs& args, nativegen::resolution& out) {
    if (!args.get(0).isString())
        return throw_error(cx, "The \"id\" argument must be of type string", "ERR_INVALID_ARG_TYPE");
    out = of(cx).resolver->resolve(utf8(cx, args[0].toString()), asking_of(cx, args), nativegen::mode::require);
    return out.ok() || throw_error(cx, out.message, out.code);
}

// require(specifier): the exports of what the resolver finds.
bool require_native(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    nativegen::resolution found;
    if (!resolve_argument(cx, args, found)) return false;
    if (is_commonjs(found)) return require_file(cx, found.path, false, args.rval());
    switch (found.format) {
    case nativegen::format::builtin: return builtin(cx, found.path, args.rval());
    case nativegen::format::json: return require_file(cx, found.path, true, args.rval());
    case nativegen::format::module:
        return throw_error(cx, "require() of ES Module " + found.path + " from " + asking_of(cx, args) +
                                   " not supported.", "ERR_REQUIRE_ESM");
    default:
        return throw_error(cx, std::string("nativegen-host: ") + nativegen::describe(found.format) +
                                   " modules are not loaded by this host: " + found.path);
    }
}

// require.resolve(specifier): the path the resolver finds (a builtin's name).
bool resolve_native(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    nativegen::resolution found;
    if (!resolve_argument(cx, args, found)) return false;
    JSString* path = string(cx, found.path);
    if (!path) return false;
    args.rval().setString(path);
    return true;
}

// A function calling `native` as the module at `path` asks.
JSObject* bound(JSContext* cx, JSNative native, const char* name, JS::HandleString path) {
    JSFunction* f = js::NewFunctionWithReserved(cx, native, 1, 0, name);
    if (!f) return nullptr;
    JSObject* object = JS_GetFunctionObject(f);
    js::SetFunctionNativeReserved(object, 0, JS::StringValue(path));
    return object;
}

// The module's require, with require.resolve.
JSObject* make_require(JSContext* cx, JS::HandleString path) {
    JS::RootedObject require(cx, bound(cx, require_native, "require", path));
    if (!require) return nullptr;
    JS::RootedValue resolve(cx, JS::ObjectOrNullValue(bound(cx, resolve_native, "resolve", path)));
    if (resolve.isNull() || !JS_SetProperty(cx, require, "resolve", resolve)) return nullptr;
    return require;
}

// Sets module[name] to the string `text`.
bool set_string(JSContext* cx, JS::HandleObject object, const char* name, std::string_view text) {
    JS::RootedValue value(cx, JS::StringValue(string(cx, text)));
    return value.toString() && JS_SetProperty(cx, object, name, value);
}

// Runs `source`, the CommonJS module `path`, as node does: wrapped and
// called with the module's exports, require, module, __filename and
// __dirname.
bool run_wrapped(JSContext* cx, const std::string& path, std::string source, JS::HandleObject module) {
    if (source.compare(0, 3, "\xEF\xBB\xBF") == 0) source.erase(0, 3);  // node drops a byte order mark
    if (source.compare(0, 2, "#!") == 0) source.replace(0, 2, "//");     // and a hashbang line
    std::string wrapped;
    wrapped.reserve(wrapper_head.size() + source.size() + wrapper_tail.size());
    wrapped.append(wrapper_head).append(source).append(wrapper_tail);

    JS::CompileOptions options(cx);
    options.setFileAndLine(path.c_str(), 1);
    JS::SourceText<mozilla::Utf8Unit> text;
    if (!text.init(cx, wrapped.data(), wrapped.size(), JS::SourceOwnership::Borrowed)) return false;
    JS::RootedValue function(cx);
    if (!JS::Evaluate(cx, options, text, &function)) return false;

    JS::RootedString filename(cx, string(cx, path));
    JS::RootedString dirname(cx, string(cx, nativegen::normalise(path + "/..")));
    if (!filename || !dirname) return false;
    JS::RootedObject require(cx, make_require(cx, filename));
    JS::RootedValue exports(cx);
    if (!require || !JS_GetProperty(cx, module, "exports", &exports)) return false;
    JS::RootedValueArray<5> call(cx);
    call[0].set(exports);
    call[1].setObject(*require);
    call[2].setObject(*module);
    call[3].setString(filename);
    call[4].setString(dirname);
    JS::RootedValue ignored(cx);
    return JS_CallFunctionValue(cx, nullptr, function, call, &ignored);
}

}  // namespace

bool is_commonjs(const nativegen::resolution& found) {
    return found.format == nativegen::format::commonjs || (found.ok() && found.format == nativegen::format::none);
}

bool require_file(JSContext* cx, const std::string& path, bool json, JS::MutableHandleValue exports) {
    auto& cache = of(cx).commonjs;
    if (auto cached = cache.find(path); cached != cache.end())
        return JS_GetProperty(cx, *cached->second, "exports", exports);

    std::string source;
    if (!read(cx, path, source)) return false;
    JS::RootedObject module(cx, JS_NewPlainObject(cx));
    JS::RootedValue empty(cx, JS::ObjectOrNullValue(JS_NewPlainObject(cx)));
    if (!module || empty.isNull() || !JS_SetProperty(cx, module, "exports", empty) ||
        !set_string(cx, module, "id", path) || !set_string(cx, module, "filename", path))
        return false;
    // in the cache before it runs: a cycle's require gets the exports so far
    cache.emplace(path, std::make_unique<JS::PersistentRootedObject>(cx, module));

    bool ran;
    if (json) {
        JS::RootedString text(cx, string(cx, source));
        JS::RootedValue parsed(cx);
        ran = text && JS_ParseJSON(cx, text, &parsed) && JS_SetProperty(cx, module, "exports", parsed);
    } else {
        ran = run_wrapped(cx, path, std::move(source), module);
    }
    if (!ran) {
        cache.erase(path);  // as node: a module that threw is run again by the next require
        return false;
    }
    JS::RootedValue loaded(cx, JS::TrueValue());
    return JS_SetProperty(cx, module, "loaded", loaded) && JS_GetProperty(cx, module, "exports", exports);
}

}  // namespace host
