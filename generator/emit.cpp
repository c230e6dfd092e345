#include <algorithm>
#include <cstring>

#include "generator/generator.h"
#include "runtime/core/convert.h"
#include "runtime/services/files.h"
#include "runtime/services/text.h"

namespace {

// ---- Byte lists -----------------------------------------------------------------

// The text of each byte value behind a comma, made once with the runtime's
// own conversions (a byte read as an integer, that integer as decimal
// text), so that formatting a byte is one four-byte copy.
struct ByteText {
    char text[4];          // ",255" at most
    unsigned char length;  // the comma and the digits
};

const ByteText* ByteTexts() {
    static ByteText table[256];
    static bool made = false;
    if (!made) {
        for (unsigned b = 0; b < 256; ++b) {
            std::int32_t value = ToInteger(1, TypedArg::Word(b, TypeTag::Byte));
            TextValue digits = ToText(1, TypedArg::Int(value));
            std::int32_t n = TextLength(digits);
            table[b].text[0] = ',';
            std::memcpy(table[b].text + 1, digits, static_cast<std::size_t>(n));
            table[b].length = static_cast<unsigned char>(n + 1);
            ReleaseBlock(digits);
        }
        made = true;
    }
    return table;
}

// The most a byte list of n bytes can take: ",255" per byte.
constexpr std::size_t ByteListBound(std::size_t n) { return n * 4; }

// Writes the list of `count` bytes at `out`, which has room for
// ByteListBound(count) bytes, and answers its length. A list goes out in
// pieces: `first` marks the piece that opens it, which has no comma before
// its first byte.
std::size_t WriteByteList(const unsigned char* bytes, std::size_t count, char* out, bool first) {
    if (count == 0) return 0;
    const ByteText* table = ByteTexts();
    char* at = out;
    std::size_t i = 0;
    if (first) {
        const ByteText& entry = table[bytes[0]];
        std::memcpy(at, entry.text + 1, 3);
        at += entry.length - 1;
        i = 1;
    }
    for (; i < count; ++i) {
        const ByteText& entry = table[bytes[i]];
        std::memcpy(at, entry.text, 4);  // the room of ",255" is always there
        at += entry.length;
    }
    return static_cast<std::size_t>(at - out);
}

// Input bytes formatted between two looks at the header's size: their text
// (at most four times as long) stays small enough to be written out while
// it is still in the cache.
constexpr std::size_t kListPiece = 32 * 1024;

// The number of bytes a script's block holds; a length that is not a
// count (negative) holds none.
std::size_t ScriptLength(ByteBlock data) {
    std::int32_t length = ByteLength(1, TypedArg::Bytes(data));
    return length > 0 ? static_cast<std::size_t>(length) : 0;
}

// ---- The executable's own path -----------------------------------------------

// The executable's directory and full path do not change during a run:
// they are read once, into storage of the generator's own (no heap block
// outlives the run), so the walk asks the system for them only once.
struct ExePaths {
    std::int32_t directoryLength;
    char fullPath[522];
};

const ExePaths& Exe() {
    static ExePaths paths = [] {
        ExePaths p{};
        TextValue directory = ExeDirectory();
        TextValue name = ExeFileName();
        TextValue full = ConcatText({directory, "\\", name});
        p.directoryLength = TextLength(directory);
        std::strncpy(p.fullPath, full, sizeof p.fullPath - 1);
        ReleaseBlock(full);
        ReleaseBlock(name);
        ReleaseBlock(directory);
        return p;
    }();
    return paths;
}

// The length of the walk's root: the executable's directory unless the
// front end named another (-1 until then).
std::int32_t walkRootLength = -1;

std::int32_t RootLength() { return walkRootLength >= 0 ? walkRootLength : Exe().directoryLength; }

// The path below the walk's root, without the leading backslash: the last
// (path length - root length - 1) bytes.
TextValue RelativePath(TextValue path) {
    double difference = static_cast<double>(TextLength(path)) - static_cast<double>(RootLength()) - 1.0;
    TypedArg args[2] = {TypedArg::Text(path), TypedArg::Int(static_cast<std::int32_t>(TruncateToInteger(difference)))};
    return RightText(2, args);
}

// Every occurrence of `find` replaced, case-sensitively, from the first byte.
TextValue ReplaceEvery(TextValue text, TextValue find, TextValue replacement) {
    TypedArg args[6] = {TypedArg::Text(text), TypedArg::Text(find), TypedArg::Text(replacement),
                        TypedArg::Omit(),     TypedArg::Omit(),     TypedArg::Bool(true)};
    return ReplaceText(6, args);
}

// The relative path with its backslashes made `separator` and every ".js"
// removed.
TextValue DeriveName(TextValue path, TextValue separator) {
    TextValue relative = RelativePath(path);
    TextValue joined = ReplaceEvery(relative, "\\", separator);
    TextValue name = ReplaceEvery(joined, ".js", "");
    ReleaseBlock(joined);
    ReleaseBlock(relative);
    return name;
}

}  // namespace

void SetWalkRoot(TextValue root) { walkRootLength = TextLength(root); }

TextValue FormatByteList(TextValue& path) {
    ByteBlock data = ReadWholeFile(1, TypedArg::Text(path));
    std::size_t count = ScriptLength(data);
    TextValue result = nullptr;
    if (count > 0) {
        auto* list = static_cast<char*>(AllocZeroed(ByteListBound(count) + 1));  // sized up front
        list[WriteByteList(BlockBytes(data), count, list, true)] = '\0';
        result = list;
    }
    ReleaseBlock(data);
    return result;
}

void EmitEntry(TextValue& path) {
    if (CompareText(path, Exe().fullPath) == 0) return;  // never the program itself

    TextValue identifier = DeriveName(path, "_");
    const bool lines = !Watcher || Watcher->WantsLines();

    // the array line; its byte list is formatted straight into the header
    ByteBlock data = ReadWholeFile(1, TypedArg::Text(path));
    std::size_t count = ScriptLength(data);
    if (lines) {
        AppendOutput({"const char ", identifier, "[] = {"});
        for (std::size_t done = 0; done < count; done += kListPiece) {
            std::size_t n = std::min(kListPiece, count - done);
            CommitOutput(WriteByteList(BlockBytes(data) + done, n, ReserveOutput(ByteListBound(n)), done == 0));
            FlushOutput(false);
        }
        AppendOutput({"};\r\n"});
    }

    TextValue name = DeriveName(path, "/");
    if (lines)
        AppendOutput({"node_native native_", identifier, "{ \"", name, "\", ", identifier, ", sizeof(", identifier,
                      ") };\r\n"});
    if (Watcher) Watcher->Emitted(path, name, count > 0 ? BlockBytes(data) : nullptr, count);
    ReleaseBlock(data);
    ReleaseBlock(name);
    ReleaseBlock(identifier);
    FlushOutput(false);
}
