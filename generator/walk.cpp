#include "generator/generator.h"

#include "runtime/services/search.h"
#include "runtime/services/text.h"

namespace {

const char kDefaultPattern[] = "*.js";
constexpr std::int32_t kDefaultMask = 39;  // read-only, hidden, system, archive
constexpr std::int32_t kDirectoryMask = 0x10;

// Does the text end in a backslash character (not a trail byte)?
bool EndsInSeparator(TextValue text) {
    std::int32_t length = TextLength(text);
    return length > 0 && LastSeparator(text, length) == length - 1;
}

// Replaces what a text variable holds, releasing the old block.
void Assign(TextValue& variable, TextValue value) {
    ReleaseBlock(variable);
    variable = value;
}

}  // namespace

void WalkDirectory(TextValue& directory, TextValue& pattern, bool patternGiven, std::int32_t mask, bool maskGiven) {
    if (TextLength(directory) == 0) return;
    if (!patternGiven) Assign(pattern, kDefaultPattern);
    if (!EndsInSeparator(directory)) Assign(directory, ConcatText({directory, "\\"}));
    if (!maskGiven) mask = kDefaultMask;
    if (Watcher) Watcher->Listed(directory);

    FindHandle slot = 0;
    // files first, in the order the search yields them
    TextValue query = ConcatText({directory, pattern});
    Assign(FoundEntry, FindEntry(query, mask, false, &slot));
    ReleaseText(query);
    while (TextLength(FoundEntry) != 0) {
        Assign(FoundEntry, ConcatText({directory, FoundEntry}));
        EmitEntry(FoundEntry);
        Assign(FoundEntry, FindEntry(nullptr, mask, false, &slot));
    }

    // then each subdirectory, walked whole before the next
    query = ConcatText({directory, "*.*"});
    Assign(FoundEntry, FindEntry(query, kDirectoryMask, false, &slot));
    ReleaseText(query);
    while (TextLength(FoundEntry) != 0) {
        if (CompareText(FoundEntry, ".") != 0 && CompareText(FoundEntry, "..") != 0) {
            TextValue sub = ConcatText({directory, FoundEntry});
            WalkDirectory(sub, pattern, true, mask, true);
            ReleaseText(sub);
            PumpMessages();
        }
        Assign(FoundEntry, FindEntry(nullptr, kDirectoryMask, false, &slot));
    }
    CloseFind(slot);
}
