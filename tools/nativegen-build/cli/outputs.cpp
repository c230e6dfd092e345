#include "tools/nativegen-build/cli/outputs.h"

#include <cstdio>
#include <system_error>

#include "platform/runtime/platform.h"
#include "runtime/services/files.h"

namespace fs = std::filesystem;

namespace frontend {

std::string Utf8(const fs::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path FsPath(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

int Report(const Failure& failure) {
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, failure.path.c_str(), failure.why.c_str());
    return 1;
}

bool RuntimePath(const fs::path& path, std::string* name, std::string* why) {
    std::error_code error, relative;
    fs::path absolute = fs::absolute(path, error);
    fs::path proximate = error ? fs::path() : fs::proximate(absolute, relative);
    bool held = false;
    // the runtime keeps a target's name in 260 bytes
    for (const fs::path& candidate : {absolute, relative ? fs::path() : proximate}) {
        if (candidate.empty() || !platform::ToProgramPath(Utf8(candidate), name)) continue;
        held = true;
        if (name->size() < sizeof PendingFile::target) return true;
    }
    *why = held ? "its path is too long to write (260 bytes or more in code page 936)"
                : "code page 936 or Windows cannot hold its path";
    return false;
}

bool PutIfChanged(const fs::path& path, std::string_view content, Failure* failure, bool* changed) {
    failure->path = Utf8(path);
    std::string name;
    if (!RuntimePath(path, &name, &failure->why)) return false;
    PendingFile file;
    if (!OpenPendingFile(name.c_str(), &file)) {
        failure->why = "cannot be written (read-only, no regular file, or in a directory that takes no new file)";
        return false;
    }
    file.onlyIfChanged = true;
    WritePendingFile(&file, content.data(), content.size());
    if (!CommitPendingFile(&file)) {
        failure->why = "cannot be written (a full disk?)";
        return false;
    }
    if (changed && !file.unchanged) *changed = true;
    return true;
}

}  // namespace frontend
