// A small file system of its own at a folder while the object lives, for
// runs that meet a full disk (root only: `mounted` says whether it could
// be had).
#pragma once

#include <sys/mount.h>

#include <filesystem>
#include <string>

namespace test {

struct SmallFileSystem {
    SmallFileSystem(const std::filesystem::path& dir, const std::string& size) : at(dir) {
        std::filesystem::create_directories(dir);
        mounted = mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~SmallFileSystem() {
        if (mounted) umount2(at.c_str(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    std::filesystem::path at;
    bool mounted = false;
};

}  // namespace test
