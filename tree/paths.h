// Tree paths in normal form: the check that needs no copy, and a path made normal only when it is not.
#pragma once

#include <string>
#include <string_view>

namespace nativegen::detail {

// True when normalise(path) would give `path` back unchanged: "/" first,
// no empty, "." or ".." part, no separator last (but the root's), no
// zero byte, no separator but '/'.
bool is_normal(std::string_view path) noexcept;

// The folder holding the normal path `path`: "/" for "/a" and for "/".
std::string_view parent(std::string_view path) noexcept;

// `path` below the normal folder `folder` when it is that folder or
// inside it ("" for the folder itself), as a library names it; `ok`
// false otherwise.
std::string_view below(std::string_view folder, std::string_view path, bool& ok) noexcept;

// A path in normal form: a view of the caller's bytes when they are
// normal already (nothing copied), else its normalised copy, held here.
// Empty when the path is not absolute or holds a zero byte. Views the
// caller's bytes: it may not outlive them, and is not copied or moved.
class normal_path {
public:
    explicit normal_path(std::string_view path);
    normal_path(const normal_path&) = delete;
    normal_path& operator=(const normal_path&) = delete;
    std::string_view view() const noexcept { return view_; }
    bool bad() const noexcept { return view_.empty(); }

private:
    std::string held_;
    std::string_view view_;
};

}  // namespace nativegen::detail
