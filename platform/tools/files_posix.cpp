// Arguments and files of the programs beside the generator, on Linux.
#include "platform/tools/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/tools/files_system.h"

namespace platform {

std::vector<std::filesystem::path> ToolArguments(int argc, char** argv) {
    return std::vector<std::filesystem::path>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::FILE* OpenStreamForRead(const std::filesystem::path& path) { return std::fopen(path.c_str(), "rb"); }

std::FILE* CreateNewStream(const std::filesystem::path& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE* stream = fdopen(fd, "wb");
    if (!stream) close(fd);
    return stream;
}


bool QueryFile(const std::filesystem::path& path, FileFacts* facts) {
    *facts = FileFacts{};
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        facts->tooLong = errno == ENAMETOOLONG;
        return errno == ENOENT || errno == ENOTDIR;  // a link to nothing: Missing
    }
    facts->kind = S_ISREG(info.st_mode)   ? FileKind::Regular
                  : S_ISDIR(info.st_mode) ? FileKind::Directory
                                          : FileKind::Other;
    facts->size = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
    facts->volume = static_cast<std::uint64_t>(info.st_dev);
    facts->index = static_cast<std::uint64_t>(info.st_ino);
    facts->modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return true;
}

bool ListDirectory(const std::filesystem::path& dir, std::vector<std::string>* names) {
    DIR* stream = opendir(dir.c_str());
    if (!stream) return false;
    errno = 0;
    for (struct dirent* entry; (entry = readdir(stream)) != nullptr; errno = 0) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names->push_back(std::move(name));
    }
    bool complete = errno == 0;
    closedir(stream);
    return complete;
}

std::FILE* OpenRegularForRead(const std::filesystem::path& path) {
    // without waiting: a FIFO opens at once, and is then turned away
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, "rb");
    if (!stream) close(fd);
    return stream;
}

std::string Utf8(const std::filesystem::path& path) { return path.native(); }

std::filesystem::path FsPath(std::string_view utf8) { return std::filesystem::path(std::string(utf8)); }

namespace {

// `call` failed on `path`, as a reason: the call, then the system's word.
std::string Failed(const char* call, int error) { return std::string(call) + ": " + std::strerror(error); }

struct sigaction before[3];  // what each signal did before: run after the removal
constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};

// Removes every watched file, then lets the signal go on as it would have:
// to the handler that was there before, or its default course.
void OnSignal(int signal) {
    int saved = errno;
    for (system::WatchedFile& file : system::watchedFiles)
        if (file.held.load()) unlink(file.name.c_str());
    for (int i = 0; i < 3; ++i) {
        if (kSignals[i] != signal) continue;
        if (before[i].sa_handler != SIG_DFL && before[i].sa_handler != SIG_IGN && !(before[i].sa_flags & SA_SIGINFO)) {
            before[i].sa_handler(signal);
        } else {
            struct sigaction fallback {};
            fallback.sa_handler = SIG_DFL;
            sigemptyset(&fallback.sa_mask);
            sigaction(signal, &fallback, nullptr);
            raise(signal);
        }
    }
    errno = saved;
}

// Puts OnSignal on the three signals, once; one the process was started
// ignoring stays ignored.
void Hook() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) sigaddset(&action.sa_mask, signal);  // one handler run at a time
    for (int i = 0; i < 3; ++i)
        if (sigaction(kSignals[i], nullptr, &before[i]) == 0 && before[i].sa_handler != SIG_IGN)
            sigaction(kSignals[i], &action, nullptr);
}

}  // namespace

bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to, std::string* why) {
    if (rename(from.c_str(), to.c_str()) == 0) return true;
    *why = "cannot be written: " + Failed("rename", errno);
    return false;
}

bool RemoveFile(const std::filesystem::path& path) { return unlink(path.c_str()) == 0 || errno == ENOENT; }

namespace system {

std::filesystem::path::string_type RemovalName(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? std::string() : absolute.native();
}

void HookInterruption() {
    static const bool hooked = (Hook(), true);
    (void)hooked;
}

unsigned long ProcessNumber() { return static_cast<unsigned long>(getpid()); }

std::filesystem::path FollowLinks(const std::filesystem::path& target) {
    std::filesystem::path at = target;
    for (int hops = 0; hops < 40; ++hops) {  // as many as the system itself follows
        std::error_code error;
        std::filesystem::path next = std::filesystem::read_symlink(at, error);
        if (error) return at;
        at = next.is_absolute() ? next : at.parent_path() / next;
    }
    return at;
}

bool Replaceable(const std::filesystem::path& target, std::string* why) {
    struct stat info;
    if (lstat(target.c_str(), &info) != 0) {
        if (errno == ENOENT) return true;
        *why = "cannot be written: " + Failed("lstat", errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *why = "cannot be written: no regular file";
        return false;
    }
    // read-only by its bits (which the superuser's access() would pass over), or closed to this user
    if ((info.st_mode & 0222) == 0) {
        *why = "cannot be written: read-only";
        return false;
    }
    if (access(target.c_str(), W_OK) != 0) {
        *why = "cannot be written: " + Failed("access", errno);
        return false;
    }
    return true;
}

bool Settle(std::FILE* stream, const std::filesystem::path& like, std::string* why) {
    int fd = fileno(stream);
    if (std::fflush(stream) != 0) {
        *why = "cannot be written (a full disk?): " + Failed("write", errno);
        return false;
    }
    struct stat info;
    if (stat(like.c_str(), &info) == 0 && fchmod(fd, info.st_mode & 07777) != 0) {
        *why = "cannot be written: " + Failed("fchmod", errno);
        return false;
    }
    if (fsync(fd) != 0 && errno != EINVAL) {
        *why = "cannot be written (a full disk?): " + Failed("fsync", errno);
        return false;
    }
    return true;
}

}  // namespace system

}  // namespace platform
