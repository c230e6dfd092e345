#include <algorithm>
#include <cstring>

#include "generator/generator.h"
#include "runtime/services/files.h"
#include "runtime/services/text.h"

namespace {

// OutputText is one block that grows geometrically, so appending costs
// amortised constant time per byte; its length and the block's size are
// kept beside it. Invariant: while OutputText is not null it is terminated
// at outputLength and outputCapacity bytes long, outputLength <
// outputCapacity. Whenever OutputText is null (at start, after the exit
// hook) both counts are taken as 0.
std::size_t outputLength = 0;
std::size_t outputCapacity = 0;

constexpr std::size_t kFirstOutputBlock = 64 * 1024;

// OutputText is written out once it holds this much: small enough to stay
// in the cache between being formatted and being written.
constexpr std::size_t kFlushSize = 256 * 1024;

PendingFile header;

// Where the pieces go instead of `header`, when set (SendHeaderTo).
HeaderSink sink = nullptr;
void* sinkContext = nullptr;

// The length of OutputText, kept beside it so appends need not measure it.
std::size_t OutputLength() { return OutputText ? outputLength : 0; }

}  // namespace

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

void CommitOutput(std::size_t count) {
    outputLength += count;
    const_cast<char*>(OutputText)[outputLength] = '\0';
}

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

void SendHeaderTo(HeaderSink to, void* context) {
    sink = to;
    sinkContext = context;
}

void FlushOutput(bool all) {
    if (OutputLength() == 0 || (!all && outputLength < kFlushSize)) return;
    if (sink) {
        sink(sinkContext, OutputText, outputLength);
        outputLength = 0;
        const_cast<char*>(OutputText)[0] = '\0';
        return;
    }
    /* written in place? then nothing of it before the end, so a run that
       fails leaves the target as it was */
    if (!all && header.inPlace) return;
    WritePendingFile(&header, OutputText, outputLength);
    outputLength = 0;  // the block stays for what comes next
    const_cast<char*>(OutputText)[0] = '\0';
}

std::int32_t BeginHeader(TextValue name, bool onlyIfChanged) {
    std::int32_t opened = OpenPendingFile(name, &header);
    header.onlyIfChanged = onlyIfChanged;
    return opened;
}

std::int32_t EndHeader() {
    FlushOutput(true);
    return CommitPendingFile(&header);
}

bool HeaderChanged() { return !header.unchanged; }

void AbandonHeader() { AbandonPendingFile(&header); }

bool HeaderWriteFailed() { return header.failed; }
