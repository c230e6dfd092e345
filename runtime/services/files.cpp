#include "runtime/services/files.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "runtime/services/text.h"

namespace {

// The module path's buffer, as the ANSI entry point fills it.
constexpr int kModulePathSize = 260;

// The module path and the offset of its last backslash (-1 when none).
int ModulePath(char (&path)[kModulePathSize], int* lastSeparator) {
    int n = platform::ModuleFileName(path, kModulePathSize);
    *lastSeparator = -1;
    for (int i = n - 1; i >= 0; --i) {
        if (path[i] == '\\') {
            *lastSeparator = i;
            break;
        }
    }
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
    std::uint32_t size = platform::FileSize32(file);
    auto block = static_cast<ByteBlock>(AllocZeroed(static_cast<std::size_t>(size) + sizeof(ByteBlockHeader)));
    std::uint32_t got = platform::ReadBytes(file, BlockBytes(block), size);
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

std::int32_t OpenPendingFile(TextValue name, PendingFile* file) {
    *file = PendingFile{};
    if (TextLength(name) == 0 || TextLength(name) >= static_cast<std::int32_t>(sizeof file->target)) return 0;
    std::memcpy(file->target, name, static_cast<std::size_t>(TextLength(name)) + 1);
    /* something other than a plain file under that name? write through it */
    if (!platform::IsPlainFileOrMissing(name)) {
        file->direct = true;
        file->handle = platform::CreateForWrite(name);
        return file->handle == platform::kInvalidFile ? 0 : 1;
    }
    // a name of this run's own beside the target, so the move stays on
    // one file system
    for (int attempt = 0; attempt < 100 && file->handle == platform::kInvalidFile; ++attempt) {
        std::snprintf(file->temporary, sizeof file->temporary, "%s.%lu-%d.tmp", name, platform::ProcessNumber(),
                      attempt);
        file->handle = platform::CreateNewForWrite(file->temporary);
    }
    return file->handle == platform::kInvalidFile ? 0 : 1;
}

void WritePendingFile(PendingFile* file, const void* data, std::size_t size) {
    if (file->handle == platform::kInvalidFile || file->failed) return;
    constexpr std::size_t kPiece = std::size_t{1} << 30;  // what one 32-bit write can take
    for (std::size_t done = 0; done < size && !file->failed; done += kPiece) {
        std::size_t n = size - done < kPiece ? size - done : kPiece;
        if (!platform::WriteBytes(file->handle, static_cast<const char*>(data) + done, static_cast<std::uint32_t>(n)))
            file->failed = true;
    }
}

std::int32_t CommitPendingFile(PendingFile* file) {
    if (file->handle == platform::kInvalidFile) return 0;
    bool closed = platform::CloseFile(file->handle);
    file->handle = platform::kInvalidFile;
    if (file->direct) return closed && !file->failed ? 1 : 0;
    if (closed && !file->failed && platform::MoveReplacing(file->temporary, file->target)) return 1;
    platform::RemoveFile(file->temporary);
    return 0;
}

void AbandonPendingFile(PendingFile* file) {
    if (file->handle == platform::kInvalidFile) return;
    platform::CloseFile(file->handle);
    file->handle = platform::kInvalidFile;
    if (!file->direct) platform::RemoveFile(file->temporary);
}
