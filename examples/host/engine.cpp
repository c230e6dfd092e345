// The engine's setup and the small pieces every part of the host's glue shares.
#include "engine.h"

#include <cstdio>

#include <js/ErrorReport.h>
#include <js/Exception.h>
#include <js/Initialization.h>
#include <js/Promise.h>
#include <js/PropertyAndElement.h>
#include <js/Stack.h>
#include <jsfriendapi.h>

namespace host {

namespace {

const JSClass global_class = {"global", JSCLASS_GLOBAL_FLAGS, &JS::DefaultGlobalClassOps, nullptr, nullptr, nullptr};

// The engine's heap may grow this far: a type-check holds a whole
// program's types.
constexpr std::uint32_t heap_bytes = 2u * 1024 * 1024 * 1024 - 1;
// Below the main thread's usual 8 MiB, so that deep recursion throws.
constexpr std::size_t stack_bytes = 6 * 1024 * 1024;

// The string property `name` of `exception` when it is an object that has one.
std::string property_of(JSContext* cx, JS::HandleValue exception, const char* name) {
    if (!exception.isObject()) return {};
    JS::RootedObject error(cx, &exception.toObject());
    JS::RootedValue value(cx);
    if (!JS_GetProperty(cx, error, name, &value) || !value.isString()) return {};
    return utf8(cx, value.toString());
}

// Keeps the promises rejected with no handler, until one takes them.
void track(JSContext* cx, bool, JS::HandleObject promise, JS::PromiseRejectionHandlingState handling, void*) {
    auto& rejected = of(cx).rejected;
    if (handling == JS::PromiseRejectionHandlingState::Unhandled)
        rejected.push_back(std::make_unique<JS::PersistentRootedObject>(cx, promise));
    else
        std::erase_if(rejected, [&](const auto& kept) { return *kept == promise; });
}

}  // namespace

state& of(JSContext* cx) { return *static_cast<state*>(JS_GetContextPrivate(cx)); }

std::string utf8(JSContext* cx, JSString* s) {
    if (!s) return {};
    JS::RootedString rooted(cx, s);
    JS::UniqueChars chars = JS_EncodeStringToUTF8(cx, rooted);
    return chars ? std::string(chars.get()) : std::string();
}

JSString* string(JSContext* cx, std::string_view text) {
    return JS_NewStringCopyUTF8N(cx, JS::UTF8Chars(text.data(), text.size()));
}

bool throw_error(JSContext* cx, std::string_view message, std::string_view code) {
    JS_ReportErrorUTF8(cx, "%s", std::string(message).c_str());
    JS::RootedValue error(cx);
    if (code.empty() || !JS_GetPendingException(cx, &error) || !error.isObject()) return false;
    JS::RootedObject object(cx, &error.toObject());
    JS::RootedValue value(cx, JS::StringValue(string(cx, code)));
    JS_SetProperty(cx, object, "code", value);  // the error stays pending either way
    return false;
}

bool read(JSContext* cx, const std::string& path, std::string& out) {
    nativegen::contents bytes;
    if (nativegen::fault f = of(cx).files->read(path, bytes); f != nativegen::fault::none)
        return throw_error(cx, "cannot read " + path + ": " + nativegen::describe(f));
    out.assign(bytes.data(), bytes.size());
    return true;
}

bool drain(JSContext* cx) {
    js::RunJobs(cx);
    auto& rejected = of(cx).rejected;
    if (rejected.empty() || of(cx).exit_code >= 0) return true;
    JS::RootedValue reason(cx, JS::GetPromiseResult(*rejected.front()));
    rejected.clear();
    JS_SetPendingException(cx, reason);
    return false;
}

void report(JSContext* cx) {
    JS::ExceptionStack exception(cx);
    if (!JS::StealPendingExceptionStack(cx, &exception)) return;
    JS::ErrorReportBuilder builder(cx);
    if (!builder.init(cx, exception, JS::ErrorReportBuilder::WithSideEffects)) {
        std::fprintf(stderr, "nativegen-host: an exception that cannot be described\n");
        return;
    }
    std::fputs("nativegen-host: ", stderr);
    JS::PrintError(stderr, builder, false);
    const std::string code = property_of(cx, exception.exception(), "code");
    if (!code.empty()) std::fprintf(stderr, "  code: '%s'\n", code.c_str());
    const std::string stack = property_of(cx, exception.exception(), "stack");
    if (!stack.empty()) std::fputs(stack.c_str(), stderr);
    std::fflush(stderr);
}

engine::engine(state& host) {
    if (!JS_Init()) return;
    cx_ = JS_NewContext(heap_bytes);
    if (!cx_) return;
    JS_SetContextPrivate(cx_, &host);
    JS_SetNativeStackQuota(cx_, stack_bytes);
    if (!js::UseInternalJobQueues(cx_) || !JS::InitSelfHostedCode(cx_)) return;
    JS::SetPromiseRejectionTrackerCallback(cx_, track);
    JS::RealmOptions options;
    global_ = std::make_unique<JS::PersistentRootedObject>(
        cx_, JS_NewGlobalObject(cx_, &global_class, nullptr, JS::FireOnNewGlobalHook, options));
    if (!*global_) return;
    realm_ = std::make_unique<JSAutoRealm>(cx_, *global_);
    if (!JS::InitRealmStandardClasses(cx_)) realm_.reset();
}

engine::~engine() {
    if (cx_) {
        // the roots the host holds go before their context
        state& host = of(cx_);
        host.commonjs.clear();
        host.modules.clear();
        host.builtins.clear();
        host.rejected.clear();
        realm_.reset();
        global_.reset();
        JS_DestroyContext(cx_);
    }
    JS_ShutDown();
}

}  // namespace host
