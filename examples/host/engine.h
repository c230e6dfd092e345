// The host's state and the engine's setup: one context, one global, the job queue, errors and strings.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <jsapi.h>

#include <nativegen/resolve.h>
#include <nativegen/tree.h>

namespace host {

// Everything the natives reach through the context (JS_GetContextPrivate).
// Owns the roots of the module caches; they go before the context does.
struct state {
    const nativegen::tree* files = nullptr;
    const nativegen::resolver* resolver = nullptr;
    std::map<std::string, std::unique_ptr<JS::PersistentRootedObject>> commonjs;  // path -> module object
    std::map<std::string, std::unique_ptr<JS::PersistentRootedObject>> modules;   // path -> module record
    std::map<std::string, std::unique_ptr<JS::PersistentRootedObject>> builtins;  // name -> exports
    std::vector<std::unique_ptr<JS::PersistentRootedObject>> rejected;            // promises no handler took
    std::string argv0;        // process.argv[0]
    std::string main;         // process.argv[1], the script run
    int exit_code = -1;       // set by process.exit(), which stops the script
};

// The state of `cx`'s host.
state& of(JSContext* cx);

// `s` as UTF-8 (empty when `s` is null or the engine could not encode it).
std::string utf8(JSContext* cx, JSString* s);

// A new engine string holding the UTF-8 `text`; null on failure (pending).
JSString* string(JSContext* cx, std::string_view text);

// Throws a new Error whose message is `message`, with `code` as its code
// property when not empty; always false, for a native to return.
bool throw_error(JSContext* cx, std::string_view message, std::string_view code = {});

// Reads the file `path` of the tree, with a thrown error naming the
// path and the tree's fault when it cannot (false then).
bool read(JSContext* cx, const std::string& path, std::string& out);

// Runs the engine's job queue until it is empty (or process.exit()).
// False, with its reason pending, when a promise is left rejected with
// no handler: node stops the same way.
bool drain(JSContext* cx);

// Writes the pending exception of `cx` (message, file, line, stack) to
// standard error after "nativegen-host: ", and clears it. With none
// pending (an uncatchable stop) writes nothing.
void report(JSContext* cx);

// The engine, started for the program's life: JS_Init, a context with
// the internal job queue, a global with the standard classes entered.
class engine {
public:
    explicit engine(state& host);
    ~engine();
    engine(const engine&) = delete;
    engine& operator=(const engine&) = delete;
    JSContext* context() const noexcept { return cx_; }
    JS::HandleObject global() const noexcept { return *global_; }
    bool ok() const noexcept { return realm_ != nullptr; }

private:
    JSContext* cx_ = nullptr;
    std::unique_ptr<JS::PersistentRootedObject> global_;
    std::unique_ptr<JSAutoRealm> realm_;
};

}  // namespace host
