// How the front end writes its outputs: through the tools' placed files.
#include "tools/nativegen-build/cli/outputs.h"

#include <cstdio>

namespace fs = std::filesystem;

namespace frontend {

int Report(const Failure& failure) {
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, failure.path.c_str(), failure.why.c_str());
    return 1;
}

bool PutIfChanged(const fs::path& path, std::string_view content, Failure* failure, bool* changed) {
    failure->path = Utf8(path);
    bool differs = false;
    if (!platform::PutFile(path, content, true, &failure->why, &differs)) return false;
    if (changed && differs) *changed = true;
    return true;
}

}  // namespace frontend
