// Files put in place whole, the same on every system: a new file beside
// the target, compared with the old one when asked, then moved over it.
#include <cstring>
#include <vector>

#include "platform/tools/files.h"
#include "platform/tools/files_system.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

// The name of the new file for `target` in this process: beside it, so
// that the move is one step on one volume.
fs::path NewFileFor(const fs::path& target, unsigned number) {
    fs::path name = target.filename();
    name += FsPath("." + std::to_string(system::ProcessNumber()) + "." + std::to_string(number) + ".new");
    return target.parent_path() / name;
}

// Do the files `a` and `b` hold the same bytes? False when either cannot be read.
bool SameBytes(const fs::path& a, const fs::path& b) {
    FileFacts left, right;
    if (!QueryFile(a, &left) || !QueryFile(b, &right) || left.kind != FileKind::Regular ||
        right.kind != FileKind::Regular || left.size != right.size)
        return false;
    std::FILE* one = OpenRegularForRead(a);
    std::FILE* two = one ? OpenRegularForRead(b) : nullptr;
    bool same = two != nullptr;
    std::vector<char> x(1 << 16), y(1 << 16);
    while (same) {
        std::size_t n = std::fread(x.data(), 1, x.size(), one), m = std::fread(y.data(), 1, y.size(), two);
        same = n == m && std::memcmp(x.data(), y.data(), n) == 0 && !std::ferror(one) && !std::ferror(two);
        if (n == 0) break;
    }
    if (one) std::fclose(one);
    if (two) std::fclose(two);
    return same;
}

}  // namespace

namespace system {
WatchedFile watchedFiles[kWatchedFiles];
}  // namespace system

int WatchNewFile(const fs::path& path) {
    system::HookInterruption();
    fs::path::string_type name = system::RemovalName(path);
    if (name.empty()) return -1;
    for (int i = 0; i < system::kWatchedFiles; ++i) {
        system::WatchedFile& slot = system::watchedFiles[i];
        if (slot.held.load()) continue;
        slot.name = std::move(name);
        slot.held.store(true);
        return i;
    }
    return -1;
}

void UnwatchNewFile(int place) {
    if (place >= 0 && place < system::kWatchedFiles) system::watchedFiles[place].held.store(false);
}

bool PlacedFile::Open(const fs::path& target, bool onlyIfChanged, std::string* why) {
    Abandon();
    target_ = system::FollowLinks(target);
    onlyIfChanged_ = onlyIfChanged;
    if (!system::Replaceable(target_, why)) return false;
    // a name another run or an earlier file of this one holds is passed over
    for (unsigned number = 0; !stream_ && number < 100; ++number) {
        temporary_ = NewFileFor(target_, number);
        stream_ = CreateNewStream(temporary_);
        FileFacts there;
        if (!stream_ && (!QueryFile(temporary_, &there) || there.kind == FileKind::Missing)) break;
    }
    if (!stream_) {
        *why = "cannot be written: no new file can be made beside it (" + Utf8(temporary_.filename()) + ")";
        temporary_.clear();
        return false;
    }
    watched_ = WatchNewFile(temporary_);
    return true;
}

void PlacedFile::Append(std::string_view bytes) {
    if (stream_ && !bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stream_);
}

bool PlacedFile::Commit(std::string* why, bool* changed) {
    if (!stream_) {
        *why = "cannot be written: it was never opened";
        return false;
    }
    bool written = !std::ferror(stream_);
    if (!written) *why = "cannot be written (a full disk?): fwrite failed";
    written = written && system::Settle(stream_, target_, why);
    bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (written && !closed) *why = "cannot be written: close failed (a full disk?)";
    bool done = written && closed;
    if (done && onlyIfChanged_ && SameBytes(temporary_, target_)) {
        Abandon();  // the target holds these bytes already: its time kept
        if (changed) *changed = false;
        return true;
    }
    done = done && MoveIntoPlace(temporary_, target_, why);
    if (done) {
        UnwatchNewFile(watched_);
        watched_ = -1;
        temporary_.clear();
        if (changed) *changed = true;
    }
    Abandon();
    return done;
}

void PlacedFile::Abandon() {
    if (stream_) std::fclose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty()) RemoveFile(temporary_);
    temporary_.clear();
    UnwatchNewFile(watched_);
    watched_ = -1;
}

bool PutFile(const fs::path& target, std::string_view content, bool onlyIfChanged, std::string* why, bool* changed) {
    PlacedFile file;
    if (!file.Open(target, onlyIfChanged, why)) return false;
    file.Append(content);
    return file.Commit(why, changed);
}

}  // namespace platform
