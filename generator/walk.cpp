#include "generator/generator.h"

#include "platform/runtime/platform.h"
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

// One folder on the current path from the root: its identity (none when
// it could not be had) and its path. Each level of the walk keeps its own
// on its stack; `up` is the level that walks it.
struct Ancestor {
    std::optional<platform::FileIdentity> identity;
    TextValue path;
    const Ancestor* up;
};

// The innermost folder being walked; null outside a walk.
const Ancestor* innermost = nullptr;

// The folder on the current path that `sub` is the same folder as (a link
// to it, or a mount of it), or null. A folder whose identity cannot be had
// is taken for a new one.
const Ancestor* SameAsAnAncestor(TextValue sub) {
    std::optional<platform::FileIdentity> identity = platform::IdentityOf(sub);
    if (!identity) return nullptr;
    for (const Ancestor* a = innermost; a; a = a->up)
        if (a->identity == identity) return a;
    return nullptr;
}

}  // namespace

void WalkDirectory(TextValue& directory, TextValue& pattern, bool patternGiven, std::int32_t mask, bool maskGiven) {
    if (TextLength(directory) == 0) return;
    if (!patternGiven) Assign(pattern, kDefaultPattern);
    if (!EndsInSeparator(directory)) Assign(directory, ConcatText({directory, "\\"}));
    if (!maskGiven) mask = kDefaultMask;
    if (Watcher) Watcher->Listed(directory);
    // Invariant: `innermost` lists exactly the folders being walked, from
    // this one up to the root, while this level runs.
    const Ancestor self{platform::IdentityOf(directory), directory, innermost};
    innermost = &self;

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
            // a folder already on the path (a link up the tree) is not
            // entered again: walked, it would never end
            if (const Ancestor* same = SameAsAnAncestor(sub)) {
                if (Watcher) Watcher->NotEntered(sub, same->path);
            } else {
                WalkDirectory(sub, pattern, true, mask, true);
            }
            ReleaseText(sub);
            PumpMessages();
        }
        Assign(FoundEntry, FindEntry(nullptr, kDirectoryMask, false, &slot));
    }
    CloseFind(slot);
    innermost = self.up;
}
