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
    // each argument quoted: the spawn joins them with spaces as they are
    std::vector<std::wstring> quoted{L"\"" + program.wstring() + L"\""};
    if (!options.argument.empty()) quoted.push_back(fs::path(options.argument).wstring());
    for (const fs::path& argument : options.arguments) quoted.push_back(L"\"" + argument.wstring() + L"\"");
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
