// Arguments and files of the programs beside the generator, on Linux.
#include "platform/tool_files.h"

#include <fcntl.h>
#include <unistd.h>

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

}  // namespace platform
