// The builtins as node has them, kept to what the scripts use: console, process, and fs reading the tree.
#include "builtins.h"

#include <cstdio>
#include <string>
#include <vector>

#include <js/Array.h>
#include <js/Conversions.h>
#include <js/experimental/TypedData.h>
#include <js/PropertyAndElement.h>
#include <jsfriendapi.h>

#include "engine.h"

#ifndef HOST_PLATFORM
#error "HOST_PLATFORM names the system as node's process.platform does"
#endif

namespace host {

namespace {

// console.log and console.error: the arguments as strings, a space
// between, a newline after; written at once, as node writes to a pipe.
bool print(JSContext* cx, const JS::CallArgs& args, std::FILE* to) {
    std::string line;
    for (unsigned i = 0; i < args.length(); ++i) {
        JS::RootedString text(cx, JS::ToString(cx, args[i]));
        if (!text) return false;
        if (i) line += ' ';
        line += utf8(cx, text);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), to);
    std::fflush(to);
    args.rval().setUndefined();
    return true;
}
bool log(JSContext* cx, unsigned argc, JS::Value* vp) { return print(cx, JS::CallArgsFromVp(argc, vp), stdout); }
bool error(JSContext* cx, unsigned argc, JS::Value* vp) { return print(cx, JS::CallArgsFromVp(argc, vp), stderr); }

// process.exit(code): stops the script and the job queue; the host
// exits with `code` (0 when none).
bool exit(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    int32_t code = 0;
    if (!args.get(0).isUndefined() && !JS::ToInt32(cx, args[0], &code)) return false;
    of(cx).exit_code = code & 0xff;
    js::StopDrainingJobQueue(cx);
    return false;  // uncatchable: nothing pending
}

// process.cwd(): the root, where the tree's mounts are.
bool cwd(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    args.rval().setString(string(cx, "/"));
    return args.rval().toString() != nullptr;
}

// The path argument of an fs call: a string, relative ones from the
// working directory "/"; false with an Error thrown otherwise.
bool path_argument(JSContext* cx, const JS::CallArgs& args, std::string& path) {
    if (!args.get(0).isString())
        return throw_error(cx, "The \"path\" argument must be of type string", "ERR_INVALID_ARG_TYPE");
    path = utf8(cx, args[0].toString());
    if (path.empty() || path[0] != '/') path.insert(0, "/");
    return true;
}

// Throws node's error for `fault` of the call `syscall` on `path`.
bool fs_error(JSContext* cx, nativegen::fault fault, const char* syscall, const std::string& path) {
    const char* code = "EIO";
    const char* text = "i/o error";
    switch (fault) {
    case nativegen::fault::no_entry: code = "ENOENT", text = "no such file or directory"; break;
    case nativegen::fault::not_folder: code = "ENOTDIR", text = "not a directory"; break;
    case nativegen::fault::is_folder: code = "EISDIR", text = "illegal operation on a directory"; break;
    default: break;
    }
    return throw_error(cx, std::string(code) + ": " + text + ", " + syscall + " '" + path + "'", code);
}

// fs.readFileSync(path[, encoding | {encoding}]): a string for "utf8",
// otherwise the bytes as a Uint8Array.
bool read_file(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    std::string path;
    if (!path_argument(cx, args, path)) return false;
    JS::RootedValue encoding(cx, args.get(1));
    if (encoding.isObject()) {
        JS::RootedObject options(cx, &encoding.toObject());
        if (!JS_GetProperty(cx, options, "encoding", &encoding)) return false;
    }
    const std::string name = encoding.isString() ? utf8(cx, encoding.toString()) : std::string();
    if (!name.empty() && name != "utf8" && name != "utf-8")
        return throw_error(cx, "readFileSync: this host decodes only utf8, not " + name, "ERR_INVALID_ARG_VALUE");
    nativegen::contents bytes;
    if (nativegen::fault f = of(cx).files->read(path, bytes); f != nativegen::fault::none)
        return fs_error(cx, f, "open", path);
    if (!name.empty()) {
        JSString* text = string(cx, bytes.bytes());
        if (!text) return false;
        args.rval().setString(text);
        return true;
    }
    JSObject* array = JS_NewUint8Array(cx, bytes.size());
    if (!array) return false;
    JS::AutoCheckCannotGC nogc;
    bool shared;
    std::copy(bytes.data(), bytes.data() + bytes.size(), JS_GetUint8ArrayData(array, &shared, nogc));
    args.rval().setObject(*array);
    return true;
}

// fs.existsSync(path): whether the tree has it (false for a non-string).
bool exists(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    std::string path;
    args.rval().setBoolean(args.get(0).isString() && path_argument(cx, args, path) &&
                           of(cx).files->kind(path) != nativegen::kind::none);
    return true;
}

// A Stats object: its kind in its one reserved slot.
const JSClass stats_class = {"Stats", JSCLASS_HAS_RESERVED_SLOTS(1), nullptr, nullptr, nullptr, nullptr};

// stats.isFile() and stats.isDirectory().
bool stats_is(JSContext* cx, const JS::CallArgs& args, nativegen::kind kind) {
    if (!args.thisv().isObject() || JS::GetClass(&args.thisv().toObject()) != &stats_class)
        return throw_error(cx, "Stats method called on something else", "ERR_INVALID_THIS");
    args.rval().setBoolean(JS::GetReservedSlot(&args.thisv().toObject(), 0).toInt32() == int(kind));
    return true;
}
bool is_file(JSContext* cx, unsigned argc, JS::Value* vp) {
    return stats_is(cx, JS::CallArgsFromVp(argc, vp), nativegen::kind::file);
}
bool is_folder(JSContext* cx, unsigned argc, JS::Value* vp) {
    return stats_is(cx, JS::CallArgsFromVp(argc, vp), nativegen::kind::folder);
}
const JSFunctionSpec stats_methods[] = {JS_FN("isFile", is_file, 0, 0), JS_FN("isDirectory", is_folder, 0, 0),
                                        JS_FS_END};

// fs.statSync(path[, {throwIfNoEntry}]): a Stats, or ENOENT (undefined
// when throwIfNoEntry is false).
bool stat(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    std::string path;
    if (!path_argument(cx, args, path)) return false;
    const nativegen::kind kind = of(cx).files->kind(path);
    if (kind == nativegen::kind::none) {
        JS::RootedValue throws(cx, JS::TrueValue());
        if (args.get(1).isObject()) {
            JS::RootedObject options(cx, &args[1].toObject());
            if (!JS_GetProperty(cx, options, "throwIfNoEntry", &throws)) return false;
        }
        if (!throws.isFalse()) return fs_error(cx, nativegen::fault::no_entry, "stat", path);
        args.rval().setUndefined();
        return true;
    }
    JS::RootedObject stats(cx, JS_NewObject(cx, &stats_class));
    if (!stats || !JS_DefineFunctions(cx, stats, stats_methods)) return false;
    JS::SetReservedSlot(stats, 0, JS::Int32Value(int(kind)));
    args.rval().setObject(*stats);
    return true;
}

// fs.readdirSync(path): the names in the folder, in the tree's order.
bool read_folder(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    std::string path;
    if (!path_argument(cx, args, path)) return false;
    std::vector<std::string> names;
    if (nativegen::fault f = of(cx).files->list(path, names); f != nativegen::fault::none)
        return fs_error(cx, f, "scandir", path);
    JS::RootedValueVector values(cx);
    for (std::string& name : names) {
        if (!name.empty() && name.back() == '/') name.pop_back();  // a folder's mark
        JSString* text = string(cx, name);
        if (!text || !values.append(JS::StringValue(text))) return false;
    }
    JSObject* array = JS::NewArrayObject(cx, values);
    if (!array) return false;
    args.rval().setObject(*array);
    return true;
}

const JSFunctionSpec fs_functions[] = {
    JS_FN("readFileSync", read_file, 2, 0), JS_FN("existsSync", exists, 1, 0),
    JS_FN("statSync", stat, 2, 0),          JS_FN("readdirSync", read_folder, 1, 0),
    JS_FS_END};
const JSFunctionSpec console_functions[] = {JS_FN("log", log, 0, 0), JS_FN("info", log, 0, 0),
                                            JS_FN("error", error, 0, 0), JS_FN("warn", error, 0, 0),
                                            JS_FS_END};
const JSFunctionSpec process_functions[] = {JS_FN("exit", exit, 1, 0), JS_FN("cwd", cwd, 0, 0), JS_FS_END};

// process.argv: the host, then the script, as node has its own and the script.
JSObject* argv(JSContext* cx) {
    JS::RootedValueVector values(cx);
    for (const std::string* arg : {&of(cx).argv0, &of(cx).main}) {
        JSString* text = string(cx, *arg);
        if (!text || !values.append(JS::StringValue(text))) return nullptr;
    }
    return JS::NewArrayObject(cx, values);
}

}  // namespace

bool install_globals(JSContext* cx, JS::HandleObject global) {
    JS::RootedObject console(cx, JS_NewPlainObject(cx));
    JS::RootedObject process(cx, JS_NewPlainObject(cx));
    JS::RootedObject args(cx, argv(cx));
    JS::RootedObject env(cx, JS_NewPlainObject(cx));
    JS::RootedString platform(cx, string(cx, HOST_PLATFORM));
    return console && process && args && env && platform &&
           JS_DefineFunctions(cx, console, console_functions) &&
           JS_DefineFunctions(cx, process, process_functions) &&
           JS_DefineProperty(cx, process, "argv", args, JSPROP_ENUMERATE) &&
           JS_DefineProperty(cx, process, "env", env, JSPROP_ENUMERATE) &&
           JS_DefineProperty(cx, process, "platform", platform, JSPROP_ENUMERATE) &&
           JS_DefineProperty(cx, global, "console", console, 0) && JS_DefineProperty(cx, global, "process", process, 0);
}

bool builtin(JSContext* cx, std::string_view name, JS::MutableHandleValue exports) {
    const std::string_view bare = name.substr(0, 5) == "node:" ? name.substr(5) : name;
    auto& made = of(cx).builtins;
    if (auto cached = made.find(std::string(bare)); cached != made.end()) {
        exports.setObject(**cached->second);
        return true;
    }
    if (bare != "fs")
        return throw_error(cx, "nativegen-host: the builtin module " + std::string(name) + " is not provided",
                           "ERR_UNKNOWN_BUILTIN_MODULE");
    JS::RootedObject fs(cx, JS_NewPlainObject(cx));
    if (!fs || !JS_DefineFunctions(cx, fs, fs_functions)) return false;
    made.emplace(std::string(bare), std::make_unique<JS::PersistentRootedObject>(cx, fs));
    exports.setObject(*fs);
    return true;
}

}  // namespace host
