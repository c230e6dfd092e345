// Arguments and files of the programs beside the generator, on Windows:
// the command line is read as UTF-16 and files are opened by wide paths,
// so no name goes through the system's code page.
#include "platform/tools/files.h"

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

namespace {

// `path` as the system's wide functions take it at any length: absolute,
// backslashes, behind "\\?\" (a share's behind "\\?\UNC\").
std::wstring LongPath(const std::filesystem::path& path) {
    std::error_code error;
    std::wstring text = std::filesystem::absolute(path, error).lexically_normal().wstring();
    if (error) text = path.wstring();
    for (wchar_t& c : text)
        if (c == L'/') c = L'\\';
    if (text.rfind(L"\\\\?\\", 0) == 0) return text;
    if (text.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + text.substr(2);
    return L"\\\\?\\" + text;
}

// UTF-16 as UTF-8; a lone surrogate as its own three bytes, which no valid
// UTF-8 holds.
std::string Utf8Of(const wchar_t* text) {
    std::string out;
    for (const wchar_t* p = text; *p; ++p) {
        std::uint32_t c = static_cast<std::uint16_t>(*p);
        std::uint32_t next = static_cast<std::uint16_t>(p[1]);
        if (c >= 0xD800 && c < 0xDC00 && next >= 0xDC00 && next < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
            ++p;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Opens `path` with `access`, links followed, a folder too; INVALID_HANDLE_VALUE when it cannot.
HANDLE OpenPath(const std::filesystem::path& path, DWORD access) {
    return CreateFileW(LongPath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

bool QueryFile(const std::filesystem::path& path, FileFacts* facts) {
    *facts = FileFacts{};
    HANDLE file = OpenPath(path, FILE_READ_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        facts->tooLong = error == ERROR_FILENAME_EXCED_RANGE;
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;  // a link to nothing: Missing
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool known = GetFileInformationByHandle(file, &info) != 0;
    DWORD type = GetFileType(file);
    CloseHandle(file);
    if (!known) {  // opened, yet no file or folder (Wine's view of a FIFO)
        facts->kind = FileKind::Other;
        return true;
    }
    bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts->kind = folder ? FileKind::Directory : type == FILE_TYPE_DISK ? FileKind::Regular : FileKind::Other;
    facts->size = facts->kind == FileKind::Regular ? (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow : 0;
    facts->volume = info.dwVolumeSerialNumber;
    facts->index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    facts->modified = static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                                info.ftLastWriteTime.dwLowDateTime);
    return true;
}

bool ListDirectory(const std::filesystem::path& dir, std::vector<std::string>* names) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((LongPath(dir) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;  // nothing in it
    do {
        std::string name = Utf8Of(found.cFileName);
        if (name != "." && name != "..") names->push_back(std::move(name));
    } while (FindNextFileW(search, &found));
    bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return complete;
}

std::FILE* OpenRegularForRead(const std::filesystem::path& path) {
    HANDLE file = OpenPath(path, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(file);
        return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "rb");
    if (!stream) _close(fd);
    return stream;
}

}  // namespace platform
