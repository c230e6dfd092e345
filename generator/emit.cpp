#include <algorithm>
#include <cstring>

#include "generator/generator.h"
#include "runtime/core/convert.h"
#include "runtime/services/files.h"
#include "runtime/services/text.h"

namespace {

// ---- The header text --------------------------------------------------------
//
// OutputText is one block that grows geometrically, so appending costs
// amortised constant time per byte; the length and the block's size are
// kept beside it. Invariant: while OutputText is not null it is terminated
// at outputLength and outputCapacity bytes long, outputLength <
// outputCapacity. Whenever OutputText is null (at start, after the exit
// hook) both counts are taken as 0.

std::size_t outputLength = 0;
std::size_t outputCapacity = 0;

constexpr std::size_t kFirstOutputBlock = 64 * 1024;

// Room for `extra` more bytes (and the terminator) at the end of the text;
// answers where they go.
char* ReserveOutput(std::size_t extra) {
    if (!OutputText) outputLength = outputCapacity = 0;
    std::size_t needed = outputLength + extra + 1;
    if (needed > outputCapacity) {
        std::size_t grown = std::max({needed, outputCapacity * 2, kFirstOutputBlock});
        OutputText = OutputText ? static_cast<char*>(ResizeBlock(const_cast<char*>(OutputText), grown))
                                : static_cast<char*>(AllocZeroed(grown));
        outputCapacity = grown;
    }
    return const_cast<char*>(OutputText) + outputLength;
}

// Takes `count` bytes written after the text into it.
void CommitOutput(std::size_t count) {
    outputLength += count;
    const_cast<char*>(OutputText)[outputLength] = '\0';
}

// Appends the texts in order.
void AppendOutput(std::initializer_list<TextValue> parts) {
    std::size_t total = 0;
    for (TextValue part : parts) total += static_cast<std::size_t>(TextLength(part));
    char* at = ReserveOutput(total);
    for (TextValue part : parts) {
        std::size_t n = static_cast<std::size_t>(TextLength(part));
        std::memcpy(at, part, n);
        at += n;
    }
    CommitOutput(total);
}

// ---- Byte lists -----------------------------------------------------------------

// The text of each byte value followed by a comma, made once with the
// runtime's own conversions (a byte read as an integer, that integer as
// decimal text), so that formatting a byte is a four-byte copy.
struct ByteText {
    char text[4];
    unsigned char length;  // digits and the comma
};

const ByteText* ByteTexts() {
    static ByteText table[256];
    static bool made = false;
    if (!made) {
        for (unsigned b = 0; b < 256; ++b) {
            std::int32_t value = ToInteger(1, TypedArg::Word(b, TypeTag::Byte));
            TextValue digits = ToText(1, TypedArg::Int(value));
            std::int32_t n = TextLength(digits);
            std::memcpy(table[b].text, digits, static_cast<std::size_t>(n));
            table[b].text[n] = ',';
            table[b].length = static_cast<unsigned char>(n + 1);
            ReleaseBlock(digits);
        }
        made = true;
    }
    return table;
}

// The most a byte list of n bytes can take: "255," per byte.
constexpr std::size_t ByteListBound(std::size_t n) { return n * 4; }

// Writes the byte list of `count` bytes at `out`, which has room for
// ByteListBound(count) bytes; answers its length (no trailing comma).
std::size_t WriteByteList(const unsigned char* bytes, std::size_t count, char* out) {
    if (count == 0) return 0;
    const ByteText* table = ByteTexts();
    char* at = out;
    for (std::size_t i = 0; i < count; ++i) {
        const ByteText& entry = table[bytes[i]];
        std::memcpy(at, entry.text, 4);  // the room of "255," is always there
        at += entry.length;
    }
    return static_cast<std::size_t>(at - out) - 1;  // the last comma goes
}

// ---- The executable's own path -----------------------------------------------

// The executable's directory and full path do not change during a run:
// they are read once, into storage of the generator's own, so the walk
// asks the system for them only once.
struct ExePaths {
    char directory[261];
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
        std::memcpy(p.directory, directory ? directory : "", static_cast<std::size_t>(p.directoryLength) + 1);
        std::strncpy(p.fullPath, full, sizeof p.fullPath - 1);
        ReleaseBlock(full);
        ReleaseBlock(name);
        ReleaseBlock(directory);
        return p;
    }();
    return paths;
}

// The path below the executable's directory, without the leading
// backslash: the last (path length - directory length - 1) bytes.
TextValue RelativePath(TextValue path) {
    double difference = static_cast<double>(TextLength(path)) - static_cast<double>(Exe().directoryLength) - 1.0;
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

std::size_t OutputLength() { return OutputText ? outputLength : 0; }

TextValue FormatByteList(TextValue& path) {
    ByteBlock data = ReadWholeFile(1, TypedArg::Text(path));
    auto count = static_cast<std::size_t>(ByteLength(1, TypedArg::Bytes(data)));
    TextValue result = nullptr;
    if (count > 0) {
        auto* list = static_cast<char*>(AllocZeroed(ByteListBound(count) + 1));  // sized up front
        list[WriteByteList(BlockBytes(data), count, list)] = '\0';
        result = list;
    }
    ReleaseBlock(data);
    return result;
}

void EmitEntry(TextValue& path) {
    if (CompareText(path, Exe().fullPath) == 0) return;  // never the program itself

    TextValue identifier = DeriveName(path, "_");

    // the array line; its byte list is formatted straight into the header
    ByteBlock data = ReadWholeFile(1, TypedArg::Text(path));
    auto count = static_cast<std::size_t>(ByteLength(1, TypedArg::Bytes(data)));
    AppendOutput({"const char ", identifier, "[] = {"});
    if (count > 0) CommitOutput(WriteByteList(BlockBytes(data), count, ReserveOutput(ByteListBound(count))));
    ReleaseBlock(data);
    AppendOutput({"};\r\n"});

    TextValue name = DeriveName(path, "/");
    AppendOutput({"node_native native_", identifier, "{ \"", name, "\", ", identifier, ", sizeof(", identifier,
                  ") };\r\n"});
    ReleaseBlock(name);
    ReleaseBlock(identifier);
}
