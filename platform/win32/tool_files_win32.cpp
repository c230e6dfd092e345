// Arguments and files of the programs beside the generator, on Windows:
// the command line is read as UTF-16 and files are opened by wide paths,
// so no name goes through the system's code page.
#include "platform/tool_files.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <windows.h>
#include <shellapi.h>

namespace platform {

std::vector<std::filesystem::path> ToolArguments(int, char**) {
    std::vector<std::filesystem::path> arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(wide[i]);
    LocalFree(wide);
    return arguments;
}

std::FILE* OpenStreamForRead(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"rb"); }

std::FILE* CreateNewStream(const std::filesystem::path& path) {
    int fd = -1;
    if (_wsopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0)
        return nullptr;
    std::FILE* stream = _fdopen(fd, "wb");
    if (!stream) _close(fd);
    return stream;
}

}  // namespace platform
