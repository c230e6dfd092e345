// file: URL pathnames as node's resolution makes and reads them.
#include <algorithm>

#include "resolve_steps.h"

namespace nativegen::detail {

namespace {

bool ascii_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_folded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// The URL standard's path percent-encode set, with '%' left as it is.
bool encoded_in_path(unsigned char c) {
    return c < 0x20 || c >= 0x7f || c == ' ' || c == '"' || c == '#' || c == '<' || c == '>' || c == '?' ||
           c == '`' || c == '{' || c == '}';
}

void append_encoded(std::string& out, unsigned char c) {
    static const char digits[] = "0123456789ABCDEF";
    out += '%';
    out += digits[c >> 4];
    out += digits[c & 15];
}

int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

bool single_dot(std::string_view s) { return s == "." || equal_folded(s, "%2e"); }
bool double_dot(std::string_view s) {
    return s == ".." || equal_folded(s, ".%2e") || equal_folded(s, "%2e.") || equal_folded(s, "%2e%2e");
}

}  // namespace

std::string url_join(std::string_view input, std::string_view base) {
    // what the URL parser drops first: C0 controls and spaces around,
    // tabs and newlines anywhere
    while (!input.empty() && static_cast<unsigned char>(input.front()) <= 0x20) input.remove_prefix(1);
    while (!input.empty() && static_cast<unsigned char>(input.back()) <= 0x20) input.remove_suffix(1);
    std::string text;
    text.reserve(input.size());
    for (char c : input)
        if (c != '\t' && c != '\n' && c != '\r') text += c == '\\' ? '/' : c;
    text.resize(std::min(text.find_first_of("?#"), text.size()));

    // the parts, each "/" and its text: "/" never inside one, so the last
    // starts at the last "/" (none when `out` is empty)
    std::string out;
    out.reserve(base.size() + text.size() + 8);
    std::string_view rest = text;
    if (rest.size() >= 2 && rest[0] == '/' && rest[1] == '/') {
        rest.remove_prefix(2);
        const std::size_t end = rest.find('/');
        const std::string_view host = rest.substr(0, end);
        if (!host.empty() && !equal_folded(host, "localhost"))
            fail("ERR_INVALID_FILE_URL_HOST", "File URL host must be \"localhost\" or empty: file://" +
                                                  std::string(host));
        rest = end == std::string_view::npos ? std::string_view("/") : rest.substr(end);
    }
    if (rest.empty() || rest[0] != '/') {
        // relative: against the base's folder, its parts as they are
        std::string_view folder = base.substr(0, base.rfind('/') + 1);
        folder.remove_prefix(folder.empty() ? 0 : 1);
        if (!folder.empty()) {
            out += '/';
            out.append(folder.data(), folder.size() - 1);
        }
    } else {
        rest.remove_prefix(1);
    }
    auto drop_last = [&] { if (!out.empty()) out.resize(out.rfind('/')); };
    for (std::size_t at = 0;;) {
        const std::size_t end = rest.find('/', at);
        const std::string_view part = rest.substr(at, end == std::string_view::npos ? end : end - at);
        const bool last = end == std::string_view::npos;
        if (double_dot(part)) {
            drop_last();
            if (last) out += '/';
        } else if (single_dot(part)) {
            if (last) out += '/';
        } else {
            out += '/';
            for (char c : part) {
                if (encoded_in_path(static_cast<unsigned char>(c)))
                    append_encoded(out, static_cast<unsigned char>(c));
                else
                    out += c;
            }
        }
        if (last) break;
        at = end + 1;
    }
    return out.empty() ? "/" : out;
}

std::string url_from_path(std::string_view path) {
    std::size_t plain = 0;  // the bytes before the first to encode, copied whole
    while (plain < path.size() && !encoded_in_path(static_cast<unsigned char>(path[plain])) && path[plain] != '%' &&
           path[plain] != '\\')
        ++plain;
    std::string out(path.substr(0, plain));
    if (plain == path.size()) return out;
    out.reserve(path.size() + 16);
    for (char c : path.substr(plain)) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (encoded_in_path(u) || c == '%' || c == '\\')
            append_encoded(out, u);
        else
            out += c;
    }
    return out;
}

std::string path_from_url(std::string_view pathname) {
    for (std::size_t i = 0; i + 2 < pathname.size(); ++i)
        if (pathname[i] == '%' && pathname[i + 1] == '2' && lower(pathname[i + 2]) == 'f')
            fail("ERR_INVALID_FILE_URL_PATH", "File URL path must not include encoded / characters: " +
                                                  std::string(pathname));
    // the bytes before the first '%', copied whole
    const std::size_t plain = std::min(pathname.find('%'), pathname.size());
    std::string out(pathname.substr(0, plain));
    for (std::size_t i = plain; i < pathname.size(); ++i) {
        if (pathname[i] == '%' && i + 2 < pathname.size() && hex(pathname[i + 1]) >= 0 &&
            hex(pathname[i + 2]) >= 0) {
            out += static_cast<char>(hex(pathname[i + 1]) * 16 + hex(pathname[i + 2]));
            i += 2;
        } else {
            out += pathname[i];
        }
    }
    return out;
}

void refuse_encoded_separator(const resolve_scope& s, std::string_view url) {
    for (std::size_t i = 0; i + 2 < url.size(); ++i)
        if (url[i] == '%' && ((url[i + 1] == '2' && lower(url[i + 2]) == 'f') ||
                              (url[i + 1] == '5' && lower(url[i + 2]) == 'c')))
            fail("ERR_INVALID_MODULE_SPECIFIER", "Invalid module \"" + std::string(url) +
                                                     "\" must not include encoded \"/\" or \"\\\" characters imported from " +
                                                     std::string(s.asking));
}

std::string url_scheme(std::string_view text) {
    if (text.empty() || !ascii_alpha(text[0])) return {};
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':') {
            std::string scheme(text.substr(0, i));
            for (char& d : scheme) d = lower(d);
            return scheme;
        }
        if (!ascii_alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return {};
    }
    return {};
}

std::string_view url_extension(std::string_view pathname) {
    for (std::size_t i = pathname.size(); i-- > 1;) {
        if (pathname[i] == '/') return {};
        if (pathname[i] == '.') return pathname[i - 1] == '/' ? std::string_view() : pathname.substr(i);
    }
    return {};
}

}  // namespace nativegen::detail
