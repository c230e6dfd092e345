// The Linux stand-in's files: opened, read, written, moved and inspected
// by code page 936 paths, as Windows' ANSI file functions take them.
#include "platform/runtime/platform.h"
#include "platform/runtime/platform_posix.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <locale.h>
#include <wctype.h>
#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

namespace platform {

namespace posix {

// Reads an attribute word as Wine stores it (the user.DOSATTRIB extended
// attribute, as "0x80") from the `got` bytes of `value`, which has room
// for a NUL after them; false when it holds none.
bool ParseStoredAttributes(char* value, ssize_t got, std::uint32_t* attrs) {
    if (got <= 2 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return false;
    value[got] = '\0';
    char* end = nullptr;
    unsigned long stored = std::strtoul(value + 2, &end, 16);
    if (end == value + 2) return false;
    *attrs = static_cast<std::uint32_t>(stored);
    return true;
}

// The attribute word stored with the file at the path; false when none.
bool StoredAttributes(const std::string& osPath, std::uint32_t* attrs) {
    char value[64] = {};
    return ParseStoredAttributes(value, getxattr(osPath.c_str(), "user.DOSATTRIB", value, sizeof value - 1), attrs);
}

}  // namespace posix

using namespace posix;

namespace {

// The moves still to refuse (RefuseMoves).
int movesToRefuse = 0;

}  // namespace

namespace {

// Opens `os` with `flags` without waiting (never blocked by a FIFO or a
// device), then insists on a regular file; kInvalidFile otherwise.
FileHandle OpenRegular(const std::string& os, int flags) {
    int fd = open(os.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return kInvalidFile;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return kInvalidFile;
    }
    return fd;
}

}  // namespace

FileHandle OpenForRead(const char* path) {
    std::string os;
    if (!OsPath(path, &os)) return kInvalidFile;
    /* the file a search has just handed out, open already? */
    if (handed.fd >= 0 && handed.path == path) {
        knownSize = handed;
        handed.fd = -1;
        return knownSize.fd;
    }
    return OpenRegular(os, O_RDONLY);
}

std::uint64_t FileSize(FileHandle file) {
    if (file == knownSize.fd) return knownSize.size;
    struct stat st {};
    if (fstat(static_cast<int>(file), &st) != 0 || st.st_size < 0) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

std::uint32_t ReadBytes(FileHandle file, void* out, std::uint32_t size) {
    std::uint32_t got = 0;
    while (got < size) {
        ssize_t n = read(static_cast<int>(file), static_cast<char*>(out) + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::uint32_t>(n);
    }
    return got;
}

FileHandle CreateForWrite(const char* path) {
    std::string os;
    if (!OsPath(path, &os)) return kInvalidFile;
    int fd = open(os.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd < 0 ? kInvalidFile : fd;
}

bool WriteBytes(FileHandle file, const void* data, std::uint32_t size) {
    std::uint32_t done = 0;
    while (done < size) {
        ssize_t n = write(static_cast<int>(file), static_cast<const char*>(data) + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::uint32_t>(n);
    }
    return true;
}

FileHandle CreateNewForWrite(const char* path) {
    std::string os;
    if (!OsPath(path, &os)) return kInvalidFile;
    int fd = open(os.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd < 0 ? kInvalidFile : fd;
}

FileHandle OpenForOverwrite(const char* path) {
    std::string os;
    if (!OsPath(path, &os)) return kInvalidFile;
    return OpenRegular(os, O_WRONLY | O_CREAT);  // a FIFO that turned up since it was looked at cannot hold the run
}

bool ReserveSpace(FileHandle file, std::uint64_t size) {
    int fd = static_cast<int>(file);
    if (size == 0) return true;
    // blocks past the end are taken without moving the end: a refusal
    // leaves the length and the bytes as they were
    if (fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) return true;
    if (errno != EOPNOTSUPP && errno != ENOSYS) return false;  // no room, or a quota
    /* a file system that cannot reserve? the free space must at least hold what grows */
    struct stat st {};
    struct statvfs volume {};
    if (fstat(fd, &st) != 0 || fstatvfs(fd, &volume) != 0) return false;
    std::uint64_t have = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t free = static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
    return size <= have || size - have <= free;
}

bool EndFileHere(FileHandle file) {
    int fd = static_cast<int>(file);
    off_t at = lseek(fd, 0, SEEK_CUR);
    return at >= 0 && ftruncate(fd, at) == 0;
}

MoveOutcome MoveReplacing(const char* from, const char* to) {
    if (movesToRefuse > 0) {
        --movesToRefuse;
        return MoveOutcome::Refused;
    }
    std::string osFrom, osTo;
    if (!OsPath(from, &osFrom) || !OsPath(to, &osTo)) return MoveOutcome::Failed;
    return rename(osFrom.c_str(), osTo.c_str()) == 0 ? MoveOutcome::Moved : MoveOutcome::Failed;
}

void RefuseMoves(int n) { movesToRefuse = n; }

FileHandle HoldForReading(const char* path) {
    std::string os;
    if (!OsPath(path, &os)) return kInvalidFile;
    return OpenRegular(os, O_RDONLY);
}

void Pause(int milliseconds) {
    timespec wait{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

bool RemoveFile(const char* path) {
    std::string os;
    return OsPath(path, &os) && unlink(os.c_str()) == 0;
}

WriteTarget InspectWriteTarget(const char* path, FileOwnership* owner) {
    std::string os;
    if (!OsPath(path, &os)) return WriteTarget::Protected;
    struct stat own {};
    if (lstat(os.c_str(), &own) != 0) return errno == ENOENT ? WriteTarget::Missing : WriteTarget::Protected;
    struct stat st = own;
    /* a link? its target's bits decide */
    if (S_ISLNK(own.st_mode) && stat(os.c_str(), &st) != 0)
        return errno == ENOENT ? WriteTarget::InPlace : WriteTarget::Protected;
    // a directory, a FIFO (opening it would wait for a reader), a device:
    // nothing a header can be written into
    if (!S_ISREG(st.st_mode)) return WriteTarget::Protected;
    // what Windows would refuse to create over: no owner-write bit (root
    // included, so the bits decide and not access()), or a stored
    // read-only, hidden or system attribute
    std::uint32_t stored = 0;
    bool marked = StoredAttributes(os, &stored) && (stored & (kAttrReadOnly | kAttrHidden | kAttrSystem)) != 0;
    if ((st.st_mode & S_IWUSR) == 0 || marked) return WriteTarget::Protected;
    if (!S_ISREG(own.st_mode) || own.st_nlink != 1 || own.st_uid != geteuid()) return WriteTarget::InPlace;
    owner->permissions = static_cast<std::uint32_t>(own.st_mode & 07777);
    owner->group = static_cast<std::uint32_t>(own.st_gid);
    return WriteTarget::Replaceable;
}

bool CopyOwnership(FileHandle file, const FileOwnership& owner) {
    int fd = static_cast<int>(file);
    struct stat st {};
    if (fstat(fd, &st) != 0) return false;
    /* made with another group? only root or a member of the old one can give it */
    if (st.st_gid != static_cast<gid_t>(owner.group) && fchown(fd, static_cast<uid_t>(-1), owner.group) != 0)
        return false;
    return fchmod(fd, static_cast<mode_t>(owner.permissions)) == 0;  // after the group, which clears set-id bits
}

unsigned long ProcessNumber() { return static_cast<unsigned long>(getpid()); }

bool CloseFile(FileHandle file) {
    if (file == kInvalidFile) return true;
    if (file == knownSize.fd) knownSize.fd = -1;
    return close(static_cast<int>(file)) == 0;
}

}  // namespace platform
