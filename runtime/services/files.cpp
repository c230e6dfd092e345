#include "runtime/services/files.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/runtime/platform.h"
#include "runtime/services/text.h"

namespace {

// The module path's buffer, as the ANSI entry point fills it.
constexpr int kModulePathSize = 260;

// The module path and the offset of its last backslash character (-1
// when none).
int ModulePath(char (&path)[kModulePathSize], int* lastSeparator) {
    int n = platform::ModuleFileName(path, kModulePathSize);
    *lastSeparator = LastSeparator(path, n);
    return n;
}

}  // namespace

TextValue ExeDirectory() {
    char path[kModulePathSize];
    int cut;
    int n = ModulePath(path, &cut);
    return TextFromBytes(path, cut >= 0 ? cut : n);
}

TextValue ExeFileName() {
    char path[kModulePathSize];
    int cut;
    int n = ModulePath(path, &cut);
    return TextFromBytes(path + cut + 1, n - cut - 1);
}

ByteBlock ReadWholeFile(int, const TypedArg& path) {
    platform::FileHandle file = platform::OpenForRead(path.AsText() ? path.AsText() : "");
    if (file == platform::kInvalidFile) return nullptr;
    std::uint64_t size = platform::FileSize(file);
    /* too long for a byte array's length? as if it could not be opened */
    if (size > static_cast<std::uint64_t>(INT32_MAX)) {
        platform::CloseFile(file);
        return nullptr;
    }
    auto block = static_cast<ByteBlock>(AllocZeroed(static_cast<std::size_t>(size) + sizeof(ByteBlockHeader)));
    std::uint32_t got = platform::ReadBytes(file, BlockBytes(block), static_cast<std::uint32_t>(size));
    platform::CloseFile(file);
    block->dimensions = 1;
    block->length = static_cast<std::int32_t>(got);  // what really arrived
    return block;
}

std::int32_t WriteFileParts(int count, const TypedArg* args) {
    TextValue name = args[0].AsText();
    platform::FileHandle file = platform::CreateForWrite(name ? name : "");
    if (file == platform::kInvalidFile) return 0;
    std::int32_t result = 1;
    for (int i = 1; i < count && result; ++i) {
        ByteBlock block = args[i].AsBytes();
        if (!block) block = &EmptyByteBlock;
        if (!platform::WriteBytes(file, BlockBytes(block), static_cast<std::uint32_t>(block->length))) result = 0;
    }
    if (!platform::CloseFile(file)) result = 0;
    return result;
}

namespace {

// A move refused for a moment is tried this often, this far apart: about a
// second in all.
constexpr int kMoveTries = 20;
constexpr int kMovePauseMs = 50;

// Opens the regular file `path` to be written over from its start, once
// there is room for `size` bytes; kInvalidFile (the file as it was) when
// there is not.
platform::FileHandle OpenWithRoom(const char* path, std::uint64_t size) {
    platform::FileHandle file = platform::OpenForOverwrite(path);
    if (file != platform::kInvalidFile && !platform::ReserveSpace(file, size)) {
        platform::CloseFile(file);
        return platform::kInvalidFile;
    }
    return file;
}

// Copies the whole file `from` over `to`, sharing `to` with whoever holds
// it. False when either cannot be opened, `to` has no room for it (it then
// stays as it was) or a write fails.
bool CopyInto(const char* from, const char* to) {
    platform::FileHandle in = platform::OpenForRead(from);
    if (in == platform::kInvalidFile) return false;
    platform::FileHandle out = OpenWithRoom(to, platform::FileSize(in));
    bool ok = out != platform::kInvalidFile;
    char piece[64 * 1024];
    while (ok) {
        std::uint32_t got = platform::ReadBytes(in, piece, sizeof piece);
        if (got == 0) break;
        ok = platform::WriteBytes(out, piece, got);
    }
    ok = ok && platform::EndFileHere(out);
    platform::CloseFile(in);
    return platform::CloseFile(out) && ok;
}

// Does the file `name` hold exactly `size` bytes, those of `data`, or
// (data null) those of the file `other`? False when either cannot be read.
bool HoldsSame(const char* name, const void* data, std::size_t size, const char* other) {
    platform::FileHandle file = platform::OpenForRead(name);
    if (file == platform::kInvalidFile) return false;
    platform::FileHandle second = other ? platform::OpenForRead(other) : platform::kInvalidFile;
    if (other) size = second == platform::kInvalidFile ? 0 : static_cast<std::size_t>(platform::FileSize(second));
    bool same = (!other || second != platform::kInvalidFile) && platform::FileSize(file) == size;
    static char piece[64 * 1024], theirs[64 * 1024];
    for (std::size_t done = 0; same && done < size;) {
        std::uint32_t want = static_cast<std::uint32_t>(std::min<std::size_t>(sizeof piece, size - done));
        const char* expected = static_cast<const char*>(data) + done;
        if (other) {
            same = platform::ReadBytes(second, theirs, want) == want;
            expected = theirs;
        }
        same = same && platform::ReadBytes(file, piece, want) == want && std::memcmp(piece, expected, want) == 0;
        done += want;
    }
    platform::CloseFile(file);
    platform::CloseFile(second);
    return same;
}

// Moves the finished new file onto the target, waiting out a short hold.
// The new file is gone afterwards, moved or removed.
bool PutInPlace(const PendingFile* file) {
    bool placed = false;
    for (int attempt = 0; attempt < kMoveTries; ++attempt) {
        platform::MoveOutcome outcome = platform::MoveReplacing(file->temporary, file->target);
        if (outcome == platform::MoveOutcome::Moved) return true;
        if (outcome == platform::MoveOutcome::Failed) break;
        platform::Pause(kMovePauseMs);
        /* still held after the last try? the content goes into the target itself */
        if (attempt + 1 == kMoveTries) placed = CopyInto(file->temporary, file->target);
    }
    platform::RemoveFile(file->temporary);
    return placed;
}

// The new files of pending files not yet put in place nor removed, for an
// interruption to remove. Invariant: a slot whose `held` is set holds the
// readied name of a file of this process, written before `held` was set
// and left alone until it is cleared; an interruption reads nothing else.
struct WatchedFile {
    std::atomic<bool> held{false};
    platform::ReadiedPath name;
};
static_assert(std::atomic<bool>::is_always_lock_free, "read from a signal handler");

// More pending files than this at once are not removed on interruption.
constexpr int kWatchedFiles = 8;
WatchedFile watched[kWatchedFiles];

// The interruption's handler: async-signal-safe.
void RemoveWatchedFiles() {
    for (WatchedFile& file : watched)
        if (file.held.load()) platform::RemoveReadied(file.name);
}

// Puts the new file `name` among those an interruption removes; its place,
// or -1 when every place is taken or the name cannot be readied.
int Watch(const char* name) {
    static const bool hooked = (platform::OnInterrupt(RemoveWatchedFiles), true);
    (void)hooked;
    for (int i = 0; i < kWatchedFiles; ++i) {
        if (watched[i].held.load()) continue;
        if (!platform::ReadyForRemoval(name, &watched[i].name)) return -1;
        watched[i].held.store(true);
        return i;
    }
    return -1;
}

// Takes the file's new file off the list, once it is moved or removed.
void Unwatch(PendingFile* file) {
    UnwatchFile(file->watched);
    file->watched = -1;
}

}  // namespace

int WatchFile(TextValue name) { return Watch(name); }

void UnwatchFile(int place) {
    if (place >= 0 && place < kWatchedFiles) watched[place].held.store(false);
}

std::int32_t OpenPendingFile(TextValue name, PendingFile* file) {
    *file = PendingFile{};
    if (TextLength(name) == 0 || TextLength(name) >= static_cast<std::int32_t>(sizeof file->target)) return 0;
    std::memcpy(file->target, name, static_cast<std::size_t>(TextLength(name)) + 1);
    platform::FileOwnership owner;
    platform::WriteTarget target = platform::InspectWriteTarget(name, &owner);
    if (target == platform::WriteTarget::Protected) return 0;
    if (target != platform::WriteTarget::InPlace) {
        // a name of this run's own beside the target, so the move stays on
        // one file system
        for (int attempt = 0; attempt < 100 && file->handle == platform::kInvalidFile; ++attempt) {
            std::snprintf(file->temporary, sizeof file->temporary, "%s.%lu-%d.tmp", name,
                          platform::ProcessNumber(), attempt);
            file->handle = platform::CreateNewForWrite(file->temporary);
        }
        /* the new file cannot take the old one's group? the old one is written in place */
        if (file->handle != platform::kInvalidFile && target == platform::WriteTarget::Replaceable &&
            !platform::CopyOwnership(file->handle, owner)) {
            platform::CloseFile(file->handle);
            platform::RemoveFile(file->temporary);
            file->handle = platform::kInvalidFile;
        }
        if (file->handle != platform::kInvalidFile) file->watched = Watch(file->temporary);
    }
    /* no new file beside it (a link, or a directory closed to us)? write it in place */
    file->inPlace = file->handle == platform::kInvalidFile;
    if (file->inPlace && target == platform::WriteTarget::Missing) return 0;  // nothing could be made there
    file->started = true;
    return 1;
}

void WritePendingFile(PendingFile* file, const void* data, std::size_t size) {
    if (!file->started || file->failed) return;
    /* found unchanged already? a second piece breaks the one-write rule */
    if (file->unchanged) {
        file->failed = size > 0;
        return;
    }
    if (file->inPlace && file->handle == platform::kInvalidFile) {
        /* the same bytes there already? then the target is not opened at all */
        if (file->onlyIfChanged && HoldsSame(file->target, data, size, nullptr)) {
            file->unchanged = true;
            return;
        }
        // room for this first piece is made sure of before a byte goes over
        // the old content: on a full disk the target stays whole
        file->handle = OpenWithRoom(file->target, size);
        file->failed = file->handle == platform::kInvalidFile;
    }
    constexpr std::size_t kPiece = std::size_t{1} << 30;  // what one 32-bit write can take
    for (std::size_t done = 0; done < size && !file->failed; done += kPiece) {
        std::size_t n = size - done < kPiece ? size - done : kPiece;
        if (!platform::WriteBytes(file->handle, static_cast<const char*>(data) + done, static_cast<std::uint32_t>(n)))
            file->failed = true;
    }
}

std::int32_t CommitPendingFile(PendingFile* file) {
    if (!file->started) return 0;
    if (!file->unchanged) WritePendingFile(file, nullptr, 0);  // an empty file in place is still created or truncated
    file->started = false;
    if (file->inPlace && !file->failed && !file->unchanged && !platform::EndFileHere(file->handle)) file->failed = true;
    bool closed = platform::CloseFile(file->handle);
    file->handle = platform::kInvalidFile;
    if (file->inPlace) return closed && !file->failed ? 1 : 0;
    bool same = closed && !file->failed && file->onlyIfChanged &&
                HoldsSame(file->target, nullptr, 0, file->temporary);
    file->unchanged = same;
    bool placed = closed && !file->failed && !same && PutInPlace(file);  // which leaves no new file behind
    if (!placed) platform::RemoveFile(file->temporary);
    Unwatch(file);
    return placed || same ? 1 : 0;
}

void AbandonPendingFile(PendingFile* file) {
    if (!file->started) return;
    file->started = false;
    platform::CloseFile(file->handle);
    file->handle = platform::kInvalidFile;
    if (!file->inPlace) platform::RemoveFile(file->temporary);
    Unwatch(file);
}
