#include "runtime/services/files.h"

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

std::int32_t WriteFileBytes(TextValue name, const void* data, std::size_t size) {
    platform::FileHandle file = platform::CreateForWrite(name ? name : "");
    if (file == platform::kInvalidFile) return 0;
    bool ok = true;
    // in pieces the 32-bit write calls can take
    constexpr std::size_t kPiece = std::size_t{1} << 30;
    for (std::size_t done = 0; ok && done < size; done += kPiece) {
        std::size_t n = size - done < kPiece ? size - done : kPiece;
        ok = platform::WriteBytes(file, static_cast<const char*>(data) + done, static_cast<std::uint32_t>(n));
    }
    return platform::CloseFile(file) && ok ? 1 : 0;
}
