// Running a program and naming paths on the Windows build.
#include <io.h>
#include <process.h>

#include <cstdio>
#include <cstdlib>

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
    std::wstring argument = fs::path(options.argument).wstring();
    intptr_t code = options.argument.empty()
                        ? _wspawnl(_P_WAIT, program.c_str(), program.c_str(), nullptr)
                        : _wspawnl(_P_WAIT, program.c_str(), program.c_str(), argument.c_str(), nullptr);
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
