// Running a program and naming paths on the Linux build.
#include <fcntl.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "tests/support/test_support.h"

namespace test {

const bool kWindowsBuild = false;

std::string ProgramPath(const fs::path& path) {
    // the stand-in reports UTF-8 names in code page 936; the tests keep to
    // ASCII paths for their roots, so only the separators change
    std::string text = path.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

// The user "nobody" runs what must not have root's powers.
constexpr uid_t kUnprivileged = 65534;

bool CanRunUnprivileged() { return geteuid() == 0; }

bool MarkFile(const fs::path& file, char attribute) {
    /* read-only is the bits, the others a stored attribute word as Wine keeps it */
    if (attribute == 'r') {
        fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        return true;
    }
    const char* word = attribute == 'h' ? "0x22" : "0x24";
    return setxattr(file.c_str(), "user.DOSATTRIB", word, 4, 0) == 0;
}

int RunProgram(const fs::path& program, const fs::path& workDir, std::string* errors, const RunOptions& options) {
    fs::path errorFile = workDir.parent_path() / (workDir.filename().string() + ".stderr");
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (chdir(workDir.c_str()) != 0) _exit(127);
        int fd = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) dup2(fd, 2);
        if (options.unprivileged && (setgid(kUnprivileged) != 0 || setuid(kUnprivileged) != 0)) _exit(126);
        std::vector<const char*> argv{program.c_str()};
        if (!options.argument.empty()) argv.push_back(options.argument.c_str());
        for (const fs::path& argument : options.arguments) argv.push_back(argument.c_str());
        argv.push_back(nullptr);
        execv(program.c_str(), const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) < 0) return -1;
    if (errors) *errors = ReadAll(errorFile);
    std::error_code ignored;
    fs::remove(errorFile, ignored);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace test
