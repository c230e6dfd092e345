// A folder on disk mounted in a tree: kind, list and read through std::filesystem, and its package.json files read once.
#include "disk.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace nativegen::detail {

namespace fs = std::filesystem;

fs::path system_path(std::string_view utf8) { return fs::u8path(utf8.begin(), utf8.end()); }

std::string utf8_name(const fs::path& p) {
    const auto name = p.u8string();  // std::string or std::u8string, by the language's version
    return std::string(name.begin(), name.end());
}

fs::path disk_folder::at(std::string_view rel) const { return rel.empty() ? root_ : root_ / system_path(rel); }

fault disk_folder::missing(std::string_view rel) const {
    // the parts before the last, shortest first: the first that is not a folder answers
    for (std::size_t slash = rel.find('/'); slash != std::string_view::npos; slash = rel.find('/', slash + 1)) {
        std::error_code error;
        const fs::file_status s = fs::status(at(rel.substr(0, slash)), error);
        if (!fs::exists(s)) return fault::no_entry;
        if (!fs::is_directory(s)) return fault::not_folder;
    }
    return fault::no_entry;
}

::nativegen::kind disk_folder::kind(std::string_view rel) const {
    std::error_code error;
    const fs::file_status s = fs::status(at(rel), error);  // through symbolic links, as the system follows them
    if (!fs::exists(s)) return ::nativegen::kind::none;
    return fs::is_directory(s) ? ::nativegen::kind::folder : ::nativegen::kind::file;
}

fault disk_folder::list(std::string_view rel, std::vector<std::string>& names) const {
    const fs::path folder = at(rel);
    std::error_code error;
    const fs::file_status s = fs::status(folder, error);
    if (!fs::exists(s)) return missing(rel);
    if (!fs::is_directory(s)) return fault::not_folder;
    std::vector<std::string> found;
    fs::directory_iterator it(folder, error);
    if (error) return fault::unreadable;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        std::string name = utf8_name(it->path().filename());
        std::error_code linked;
        // a link to a folder is a folder; a broken link is a name all the same
        if (it->is_directory(linked)) name += '/';
        found.push_back(std::move(name));
    }
    if (error) return fault::unreadable;
    std::sort(found.begin(), found.end());
    names = std::move(found);
    return fault::none;
}

fault disk_folder::read(std::string_view rel, std::unique_ptr<char[]>& bytes, std::size_t& size) const {
    const fs::path file = at(rel);
    std::error_code error;
    const fs::file_status s = fs::status(file, error);
    if (!fs::exists(s)) return missing(rel);
    if (fs::is_directory(s)) return fault::is_folder;
    std::ifstream in(file, std::ios::binary);
    if (!in) return fault::unreadable;
    // the whole file, however long it turns out to be by the time it is read
    std::error_code sized;
    std::size_t capacity = static_cast<std::size_t>(fs::file_size(file, sized)), used = 0;
    if (sized) capacity = 0;
    std::unique_ptr<char[]> buffer = std::make_unique<char[]>(capacity + 1);
    for (;;) {
        in.read(buffer.get() + used, static_cast<std::streamsize>(capacity + 1 - used));
        used += static_cast<std::size_t>(in.gcount());
        if (!in) break;
        // longer than it was: room for more
        std::unique_ptr<char[]> more = std::make_unique<char[]>(2 * (capacity + 1) + 16384);
        std::copy(buffer.get(), buffer.get() + used, more.get());
        capacity = 2 * (capacity + 1) + 16383;
        buffer = std::move(more);
    }
    if (in.bad()) return fault::unreadable;
    size = used;
    bytes = std::move(buffer);
    return fault::none;
}

const package* disk_folder::package_at(std::string_view rel, std::string_view folder) const {
    std::string file(rel);
    if (!file.empty()) file += '/';
    file += "package.json";
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        const auto it = packages_.find(rel);
        if (it != packages_.end()) return it->second ? &it->second->view : nullptr;
    }
    // read outside the lock; a second reader of the same folder keeps the first one's
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    std::unique_ptr<kept> read_now;
    if (read(file, bytes, size) == fault::none) {
        read_now = std::make_unique<kept>();
        read_now->json = read_package_json(std::string(folder), std::string_view(bytes.get(), size));
        read_now->view = read_now->json.view();
    }
    const std::lock_guard<std::mutex> hold(mutex_);
    const auto placed = packages_.emplace(std::string(rel), std::move(read_now)).first;
    return placed->second ? &placed->second->view : nullptr;
}

}  // namespace nativegen::detail
