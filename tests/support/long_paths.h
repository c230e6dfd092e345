// Folders of any length for the tests, reached through the tools' own
// file layer: std::filesystem on Windows neither lists nor removes a
// folder past 260 characters.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/tools/files.h"

namespace test {

// The names in `folder`, sorted; none when it cannot be listed.
inline std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    if (!platform::ListDirectory(folder, &names)) names.clear();
    std::sort(names.begin(), names.end());
    return names;
}

// Removes the folder `folder` ("\\?\"-named on Windows) and all in it.
inline void RemoveTree(const std::filesystem::path& folder) {
    for (const std::string& name : Names(folder)) {
        const std::filesystem::path inside = folder / platform::FsPath(name);
        platform::FileFacts facts;
        if (platform::QueryFile(inside, &facts) && facts.kind == platform::FileKind::Directory) RemoveTree(inside);
        else platform::RemoveFile(inside);
    }
    std::error_code error;
    std::filesystem::remove(folder, error);
}

}  // namespace test
