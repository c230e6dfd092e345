// Tree paths in normal form: normalise, the check that needs no copy, and a folder's parent and what lies below it.
#include "paths.h"

#include <cstring>
#include <vector>

#include <nativegen/tree.h>

#include "separators.h"

namespace nativegen {

std::string normalise(std::string_view path) {
    if (path.empty() || !detail::is_separator(path[0]) || path.find('\0') != std::string_view::npos) return {};
    std::string out;
    out.reserve(path.size());
    // ends of each part kept in `out`, for ".." to drop the last
    std::vector<std::size_t> starts;
    std::size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && detail::is_separator(path[i])) ++i;
        std::size_t end = i;
        while (end < path.size() && !detail::is_separator(path[end])) ++end;
        const std::string_view part = path.substr(i, end - i);
        i = end;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            // at the root ".." stays there
            if (!starts.empty()) {
                out.resize(starts.back());
                starts.pop_back();
            }
            continue;
        }
        starts.push_back(out.size());
        out += '/';
        out += part;
    }
    if (out.empty()) out = "/";
    return out;
}

}  // namespace nativegen

namespace nativegen::detail {

bool is_normal(std::string_view path) noexcept {
    const std::size_t n = path.size();
    if (n == 0 || path[0] != '/') return false;
    if (n == 1) return true;
    if (path[n - 1] == '/' || std::memchr(path.data(), '\0', n) || has_other_separator(path)) return false;
    // after each '/' (none is last): not another, nor a part "." or ".."
    const char* const end = path.data() + n;
    for (const char* p = path.data(); p; p = static_cast<const char*>(std::memchr(p + 1, '/', end - p - 1))) {
        if (p[1] == '/') return false;
        if (p[1] == '.') {
            if (p + 2 == end || p[2] == '/') return false;
            if (p[2] == '.' && (p + 3 == end || p[3] == '/')) return false;
        }
    }
    return true;
}

std::string_view parent(std::string_view path) noexcept {
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string_view::npos ? path.substr(0, 1) : path.substr(0, slash);
}

std::string_view below(std::string_view folder, std::string_view path, bool& ok) noexcept {
    ok = false;
    if (folder.size() == 1) {  // the root holds every path
        ok = true;
        return path.substr(1);
    }
    if (path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0) return {};
    if (path.size() == folder.size()) {
        ok = true;
        return {};
    }
    if (path[folder.size()] != '/') return {};
    ok = true;
    return path.substr(folder.size() + 1);
}

normal_path::normal_path(std::string_view path) {
    if (is_normal(path)) {
        view_ = path;
    } else {
        held_ = normalise(path);
        view_ = held_;
    }
}

}  // namespace nativegen::detail
