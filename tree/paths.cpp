// Tree paths in normal form: normalise, the check that needs no copy, and a folder's parent and what lies below it.
#include "paths.h"

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
    if (path.empty() || path[0] != '/') return false;
    if (path.size() == 1) return true;
    if (has_other_separator(path)) return false;
    // each part: after a '/', up to the next one or the end
    for (std::size_t start = 1;;) {
        std::size_t end = start;
        while (end < path.size() && path[end] != '/') {
            if (path[end] == '\0') return false;
            ++end;
        }
        const std::size_t n = end - start;
        if (n == 0) return false;  // "//" or a '/' last
        if (path[start] == '.' && (n == 1 || (n == 2 && path[start + 1] == '.'))) return false;
        if (end == path.size()) return true;
        start = end + 1;
    }
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
