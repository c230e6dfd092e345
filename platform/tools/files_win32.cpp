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


#include "platform/tools/files_system.h"

namespace platform {
namespace {

// UTF-16 as UTF-8 by Utf8's rule (files.h).
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

}  // namespace

std::string Utf8(const std::filesystem::path& path) { return Utf8Of(path.c_str()); }

std::filesystem::path FsPath(std::string_view utf8) {
    std::wstring out;
    for (std::size_t i = 0; i < utf8.size();) {
        auto byte = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(utf8[i + k])); };
        std::uint32_t c = byte(0);
        std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (i + n > utf8.size()) n = 1;  // cut short: the byte as it is
        if (n == 2) c = ((c & 0x1F) << 6) | (byte(1) & 0x3F);
        if (n == 3) c = ((c & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
        if (n == 4) c = ((c & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) | (byte(3) & 0x3F);
        if (c >= 0x10000) {  // a pair; a lone surrogate's three bytes give it back alone
            out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
        i += n;
    }
    return std::filesystem::path(out);
}

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
    if (path.native().rfind(L"\\\\?\\", 0) == 0) return path.native();  // already so
    std::error_code error;
    std::wstring text = std::filesystem::absolute(path, error).lexically_normal().wstring();
    if (error) text = path.wstring();
    for (wchar_t& c : text)
        if (c == L'/') c = L'\\';
    if (text.rfind(L"\\\\?\\", 0) == 0) return text;
    if (text.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + text.substr(2);
    return L"\\\\?\\" + text;
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

namespace {

// Runs on a thread of its own: removes every watched file (an open one
// goes when its last handle does), then lets the next handler (the
// runtime's, or the system's) end the process.
BOOL WINAPI OnConsoleEvent(DWORD) {
    for (system::WatchedFile& file : system::watchedFiles)
        if (file.held.load()) DeleteFileW(file.name.c_str());
    return FALSE;
}

// `call` failed, as a reason: the call and the system's error number.
std::string Failed(const char* call) { return std::string(call) + ": error " + std::to_string(GetLastError()); }

}  // namespace

bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to, std::string* why) {
    const std::wstring source = LongPath(from), target = LongPath(to);
    // a scanner or an indexer holding the target refuses the move for a moment
    for (int tries = 0; tries < 50; ++tries) {
        if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) break;
        Sleep(20);
    }
    *why = "cannot be written: " + Failed("MoveFileExW");
    return false;
}

bool RemoveFile(const std::filesystem::path& path) {
    if (DeleteFileW(LongPath(path).c_str())) return true;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

namespace system {

std::filesystem::path::string_type RemovalName(const std::filesystem::path& path) { return LongPath(path); }

void HookInterruption() {
    static const bool hooked = (SetConsoleCtrlHandler(OnConsoleEvent, TRUE), true);
    (void)hooked;
}

unsigned long ProcessNumber() { return GetCurrentProcessId(); }

std::filesystem::path FollowLinks(const std::filesystem::path& target) {
    DWORD attributes = GetFileAttributesW(LongPath(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return target;
    HANDLE file = OpenPath(target, FILE_READ_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) return target;
    std::wstring final(32768, L'\0');
    DWORD n = GetFinalPathNameByHandleW(file, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
    CloseHandle(file);
    if (n == 0 || n >= final.size()) return target;
    final.resize(n);
    return std::filesystem::path(final);
}

bool Replaceable(const std::filesystem::path& target, std::string* why) {
    DWORD attributes = GetFileAttributesW(LongPath(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return true;
        *why = "cannot be written: " + Failed("GetFileAttributesW");
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        *why = "cannot be written: no regular file";
        return false;
    }
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
        *why = "cannot be written: read-only, hidden or system";
        return false;
    }
    return true;
}

bool Settle(std::FILE* stream, const std::filesystem::path&, std::string* why) {
    // Windows keeps no permission bits a new file would lack
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (std::fflush(stream) != 0 || !FlushFileBuffers(file)) {
        *why = "cannot be written (a full disk?): " + Failed("FlushFileBuffers");
        return false;
    }
    return true;
}

}  // namespace system

}  // namespace platform
