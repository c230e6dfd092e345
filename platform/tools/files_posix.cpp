// Arguments and files of the programs beside the generator, on Linux.
#include "platform/tools/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace platform
