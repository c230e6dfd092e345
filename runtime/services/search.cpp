#include "runtime/services/search.h"

#include "platform/runtime/platform.h"
#include "runtime/services/text.h"

namespace {

bool Matches(const platform::FoundData& found, std::int32_t mask, bool maskOmitted) {
    if (maskOmitted) return (found.attributes & platform::kAttrDirectory) == 0;
    return (found.attributes & static_cast<std::uint32_t>(mask)) != 0;
}

}  // namespace

TextValue FindEntry(TextValue pattern, std::int32_t mask, bool maskOmitted, FindHandle* slot) {
    platform::FoundData found;
    bool accepted = false;
    if (pattern && *pattern) {
        CloseFind(*slot);
        // a search for directories alone may pass over what surely is none
        bool directoriesOnly = !maskOmitted && static_cast<std::uint32_t>(mask) == platform::kAttrDirectory;
        *slot = platform::FindFirst(pattern, &found, directoriesOnly);
        if (*slot == kNoSearch) return nullptr;
        accepted = Matches(found, mask, maskOmitted);
    }
    if (*slot == 0 || *slot == kNoSearch) return nullptr;
    while (!accepted) {
        if (!platform::FindNext(*slot, &found)) return nullptr;  // the search stays open
        accepted = Matches(found, mask, maskOmitted);
    }
    return CopyText(found.name);
}

void CloseFind(FindHandle handle) {
    if (handle != 0 && handle != kNoSearch) platform::FindClose(handle);
}

std::int32_t PumpMessages() { return platform::PumpThreadMessages(); }
