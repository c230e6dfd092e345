// One tree over mounted libraries and folders on disk: the mounts, the folders above them, and each question sent to the mount covering its path.
#include <nativegen/tree.h>

#include <algorithm>
#include <system_error>
#include <unordered_map>

#include "disk.h"
#include "paths.h"

namespace nativegen {

const char* describe(fault f) noexcept {
    switch (f) {
        case fault::none: return "no fault";
        case fault::no_entry: return "no such entry";
        case fault::not_folder: return "not a folder";
        case fault::is_folder: return "a folder";
        case fault::damaged: return "damaged stored bytes";
        case fault::unreadable: return "cannot be read";
        case fault::bad_path: return "not an absolute path";
    }
    return "unknown fault";
}

namespace {

// What is mounted at one path: a library or a folder on disk.
struct mount_point {
    const detail::table* table = nullptr;  // a library's; null for a folder on disk
    std::unique_ptr<detail::disk_folder> disk;
};

// A path with a mount at it, or a folder above a mount, or both.
struct node {
    std::string path;
    int mount = -1;      // the mount's place in state::mounts; -1: none at this path
    bool above = false;  // some mount lies below this path
};

// Where a normal path lies: the node at exactly that path (null when
// none), and the mount covering it with the path below that mount (null
// when no mount covers it).
struct place {
    const node* exact = nullptr;
    const mount_point* mount = nullptr;
    std::string_view rel;
};

bool is_root(std::string_view normal) { return normal.size() == 1; }

// Why `rel`, which `lib` does not hold, is not there: a part before its
// last is a file (and no folder), or nothing.
fault library_missing(library lib, std::string_view rel) {
    for (std::size_t slash = rel.find('/'); slash != std::string_view::npos; slash = rel.find('/', slash + 1)) {
        const std::string_view folder = rel.substr(0, slash);
        const ::nativegen::kind k = lib.kind(folder);
        if (k == ::nativegen::kind::none) return fault::no_entry;
        if (k == ::nativegen::kind::file && lib.list(folder).empty()) return fault::not_folder;
    }
    return fault::no_entry;
}

// True when `lib` has the folder `rel` (its root always).
bool library_folder(library lib, std::string_view rel) { return rel.empty() || !lib.list(rel).empty(); }

fault library_list(library lib, std::string_view rel, std::vector<std::string>& names) {
    if (library_folder(lib, rel)) {
        for (std::string_view name : lib.list(rel)) names.emplace_back(name);
        return fault::none;
    }
    return lib.find(rel) ? fault::not_folder : library_missing(lib, rel);
}

// The bytes of `rel`: a view of the library's own when stored as they
// are, else decompressed into `held`.
fault library_read(library lib, std::string_view rel, std::string_view& view, std::unique_ptr<char[]>& held) {
    const entry* e = lib.find(rel);
    if (!e) return library_folder(lib, rel) ? fault::is_folder : library_missing(lib, rel);
    const detail::table& t = lib.table();
    if (!t.frames || !t.frames[static_cast<std::size_t>(e - t.entries)].data) {
        view = std::string_view(e->data, e->size);
        return fault::none;
    }
    held = std::make_unique<char[]>(e->size > 0 ? e->size : 1);
    if (!lib.read(*e, held.get())) {
        held.reset();
        return fault::damaged;
    }
    view = std::string_view(held.get(), e->size);
    return fault::none;
}

// The table's package.json in the folder `rel`: its packages are in byte
// order of their folders.
const package* library_package(const detail::table& t, std::string_view rel) {
    const package* first = t.packages;
    const package* last = t.packages + t.package_count;
    const auto folder = [](const package& p) { return std::string_view(p.folder.text, p.folder.size); };
    const package* at = std::lower_bound(first, last, rel, [&](const package& p, std::string_view r) { return folder(p) < r; });
    return at != last && folder(*at) == rel ? at : nullptr;
}

}  // namespace

struct tree::state {
    std::vector<node> nodes;  // in byte order of their paths
    // every mount made; a replaced one stays, so the packages it gave stay valid
    std::vector<std::unique_ptr<mount_point>> mounts;
    // the nodes by path, and which lengths their paths have: made again by
    // each mount (the keys view the nodes' own strings, which only a mount moves)
    std::unordered_map<std::string_view, std::size_t> index;
    std::vector<bool> lengths;

    const node* find(std::string_view path) const {
        if (path.size() >= lengths.size() || !lengths[path.size()]) return nullptr;
        const auto at = index.find(path);
        return at == index.end() ? nullptr : &nodes[at->second];
    }

    // The node at `path`, made when there is none.
    node& ensure(std::string_view path) {
        auto at = std::lower_bound(nodes.begin(), nodes.end(), path,
                                   [](const node& n, std::string_view p) { return n.path < p; });
        if (at == nodes.end() || at->path != path) at = nodes.insert(at, node{std::string(path)});
        return *at;
    }

    // Mounts `m` at the normal path `at`, in place of one there before.
    void add(std::string_view at, std::unique_ptr<mount_point> m) {
        mounts.push_back(std::move(m));
        ensure(at).mount = static_cast<int>(mounts.size() - 1);
        for (std::string_view folder = at; !is_root(folder);) {
            folder = detail::parent(folder);
            ensure(folder).above = true;
        }
        index.clear();
        lengths.clear();
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            index.emplace(nodes[i].path, i);
            if (lengths.size() <= nodes[i].path.size()) lengths.resize(nodes[i].path.size() + 1);
            lengths[nodes[i].path.size()] = true;
        }
    }

    // The longest mount path that is `normal` or a folder above it covers it.
    place locate(std::string_view normal) const {
        place p;
        if (nodes.empty()) return p;
        std::string_view cut = normal;
        const node* n = p.exact = find(cut);
        for (;;) {
            if (n && n->mount >= 0) {
                bool inside = false;
                p.mount = mounts[static_cast<std::size_t>(n->mount)].get();
                p.rel = detail::below(cut, normal, inside);
                return p;
            }
            if (is_root(cut)) return p;
            cut = detail::parent(cut);
            n = find(cut);
        }
    }

    // The names of the nodes directly inside the folder `normal`.
    std::vector<std::string_view> inside(std::string_view normal) const {
        const std::string prefix = is_root(normal) ? std::string(normal) : std::string(normal) + "/";
        std::vector<std::string_view> found;
        auto at = std::lower_bound(nodes.begin(), nodes.end(), std::string_view(prefix),
                                   [](const node& n, std::string_view p) { return n.path < p; });
        for (; at != nodes.end() && at->path.compare(0, prefix.size(), prefix) == 0; ++at) {
            const std::string_view rest = std::string_view(at->path).substr(prefix.size());
            if (!rest.empty() && rest.find('/') == std::string_view::npos) found.push_back(rest);
        }
        return found;
    }
};

tree::tree() : state_(std::make_unique<state>()) {}
tree::~tree() = default;
tree::tree(tree&&) noexcept = default;
tree& tree::operator=(tree&&) noexcept = default;

fault tree::mount(std::string_view at, const library& lib) {
    if (lib.table().source) return mount(at, std::string_view(lib.table().source));
    const detail::normal_path path(at);
    if (path.bad()) return fault::bad_path;
    auto m = std::make_unique<mount_point>();
    m->table = &lib.table();
    if (!state_) state_ = std::make_unique<state>();
    state_->add(path.view(), std::move(m));
    return fault::none;
}

fault tree::mount(std::string_view at, std::string_view folder) {
    const detail::normal_path path(at);
    if (path.bad()) return fault::bad_path;
    std::error_code error;
    const std::filesystem::path system = detail::system_path(folder);
    if (folder.empty() || !std::filesystem::is_directory(system, error)) return fault::not_folder;
    std::filesystem::path whole = std::filesystem::absolute(system, error);
    auto m = std::make_unique<mount_point>();
    m->disk = std::make_unique<detail::disk_folder>(error ? system : std::move(whole));
    if (!state_) state_ = std::make_unique<state>();
    state_->add(path.view(), std::move(m));
    return fault::none;
}

::nativegen::kind tree::kind(std::string_view path) const {
    const detail::normal_path normal(path);
    if (normal.bad()) return ::nativegen::kind::none;
    const place p = state_ ? state_->locate(normal.view()) : place{};
    if (p.exact && p.exact->above) return ::nativegen::kind::folder;
    if (!p.mount) return is_root(normal.view()) ? ::nativegen::kind::folder : ::nativegen::kind::none;
    return p.mount->table ? library(*p.mount->table).kind(p.rel) : p.mount->disk->kind(p.rel);
}

fault tree::list(std::string_view path, std::vector<std::string>& names) const {
    const detail::normal_path normal(path);
    if (normal.bad()) return fault::bad_path;
    if (!state_) return is_root(normal.view()) ? (names.clear(), fault::none) : fault::no_entry;
    const place p = state_->locate(normal.view());
    const bool above = p.exact && p.exact->above;
    std::vector<std::string> found;
    fault f = p.mount ? (p.mount->table ? library_list(library(*p.mount->table), p.rel, found)
                                        : p.mount->disk->list(p.rel, found))
                      : (above || is_root(normal.view()) ? fault::none : fault::no_entry);
    if (f != fault::none) {
        // a folder above a mount is one whatever the mount covering it holds there
        if (!above) return f;
        found.clear();
    }
    if (above) {
        // the mounts and folders inside hide what the covering mount names the same
        const std::vector<std::string_view> mounted = state_->inside(normal.view());
        found.erase(std::remove_if(found.begin(), found.end(),
                                   [&](const std::string& name) {
                                       const std::string_view bare = std::string_view(name).substr(
                                           0, name.size() - (!name.empty() && name.back() == '/'));
                                       return std::find(mounted.begin(), mounted.end(), bare) != mounted.end();
                                   }),
                    found.end());
        for (std::string_view name : mounted) found.push_back(std::string(name) + "/");
        std::sort(found.begin(), found.end());
    }
    names = std::move(found);
    return fault::none;
}

fault tree::read(std::string_view path, contents& out) const {
    out.view_ = {};
    out.held_.reset();
    const detail::normal_path normal(path);
    if (normal.bad()) return fault::bad_path;
    const place p = state_ ? state_->locate(normal.view()) : place{};
    if ((p.exact && p.exact->above) || (!p.mount && is_root(normal.view()))) return fault::is_folder;
    if (!p.mount) return fault::no_entry;
    if (p.mount->table) return library_read(library(*p.mount->table), p.rel, out.view_, out.held_);
    std::size_t size = 0;
    const fault f = p.mount->disk->read(p.rel, out.held_, size);
    if (f != fault::none) {
        out.held_.reset();
        return f;
    }
    out.view_ = std::string_view(out.held_.get(), size);
    return fault::none;
}

const package* tree::package_at(std::string_view folder) const {
    const detail::normal_path normal(folder);
    if (normal.bad() || !state_) return nullptr;
    const place p = state_->locate(normal.view());
    if (!p.mount) return nullptr;
    return p.mount->table ? library_package(*p.mount->table, p.rel) : p.mount->disk->package_at(p.rel, normal.view());
}

}  // namespace nativegen
