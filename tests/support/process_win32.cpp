// Running a program and naming paths on the Windows build.
#include <io.h>
#include <process.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/support/test_support.h"

namespace test {

const bool kWindowsBuild = true;

std::string ProgramPath(const fs::path& path) { return path.string(); }

bool CanRunUnprivileged() { return false; }

bool MarkFile(const fs::path& file, char attribute) {
    std::wstring command =
        L"attrib +" + std::wstring(1, static_cast<wchar_t>(attribute)) + L" \"" + file.wstring() + L"\"";
    return _wsystem(command.c_str()) == 0;
}

int RunProgram(const fs::path& program, const fs::path& workDir, std::string* errors, const RunOptions& options) {
    fs::path errorFile = workDir.parent_path() / (workDir.filename().string() + ".stderr");
    fs::path before = fs::current_path();
    fs::current_path(workDir);
    // the child inherits standard error: point it at a file for the run
    std::fflush(stderr);
    int saved = _dup(2);
    FILE* sink = _wfopen(errorFile.c_str(), L"wb");
    if (sink) _dup2(_fileno(sink), 2);
    // the spawn joins its arguments with spaces: each is quoted as the
    // command line's parser takes it apart
    std::vector<fs::path> given{program};
    if (!options.argument.empty()) given.push_back(fs::path(options.argument));
    given.insert(given.end(), options.arguments.begin(), options.arguments.end());
    std::vector<std::wstring> quoted;
    for (const fs::path& argument : given) {
        std::wstring text = L"\"";
        std::size_t slashes = 0;
        for (wchar_t c : argument.wstring()) {
            if (c == L'\\') ++slashes;
            else if (c == L'"') text.append(slashes + 1, L'\\'), slashes = 0;
            else slashes = 0;
            text += c;
        }
        quoted.push_back(text.append(slashes, L'\\') + L"\"");
    }
    std::vector<const wchar_t*> argv;
    for (const std::wstring& argument : quoted) argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    intptr_t code = _wspawnv(_P_WAIT, program.c_str(), argv.data());
    std::fflush(stderr);
    _dup2(saved, 2);
    _close(saved);
    if (sink) std::fclose(sink);
    fs::current_path(before);
    if (errors) *errors = ReadAll(errorFile);
    std::error_code ignored;
    fs::remove(errorFile, ignored);
    return static_cast<int>(code);
}

}  // namespace test
