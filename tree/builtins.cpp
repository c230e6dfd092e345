// Node 20's builtin modules, and which of them a bare name reaches.
#include <algorithm>

#include "resolve_steps.h"

namespace nativegen {

namespace {

// the builtins node 20 knows only as "node:NAME"
constexpr std::string_view prefix_only[] = {"sea", "test", "test/reporters"};

}  // namespace

const std::vector<std::string>& node_builtins() {
    // node 20's module.builtinModules, then the prefix-only ones
    static const std::vector<std::string> names = {
        "_http_agent", "_http_client", "_http_common", "_http_incoming", "_http_outgoing", "_http_server",
        "_stream_duplex", "_stream_passthrough", "_stream_readable", "_stream_transform", "_stream_wrap",
        "_stream_writable", "_tls_common", "_tls_wrap", "assert", "assert/strict", "async_hooks", "buffer",
        "child_process", "cluster", "console", "constants", "crypto", "dgram", "diagnostics_channel", "dns",
        "dns/promises", "domain", "events", "fs", "fs/promises", "http", "http2", "https", "inspector",
        "inspector/promises", "module", "net", "os", "path", "path/posix", "path/win32", "perf_hooks", "process",
        "punycode", "querystring", "readline", "readline/promises", "repl", "stream", "stream/consumers",
        "stream/promises", "stream/web", "string_decoder", "sys", "timers", "timers/promises", "tls",
        "trace_events", "tty", "url", "util", "util/types", "v8", "vm", "wasi", "worker_threads", "zlib",
        "sea", "test", "test/reporters"};
    return names;
}

namespace detail {

bool is_builtin(const resolve_options& options, std::string_view name) {
    const std::vector<std::string>& names = options.builtins.empty() ? node_builtins() : options.builtins;
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool is_bare_builtin(const resolve_options& options, std::string_view name) {
    return is_builtin(options, name) &&
           std::find(std::begin(prefix_only), std::end(prefix_only), name) == std::end(prefix_only);
}

}  // namespace detail
}  // namespace nativegen
