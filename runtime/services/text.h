// Text operations and the growable buffer.
//
// Lengths, counts and positions are in bytes. Only the scans of ReplaceText
// and LastSeparator know two-byte characters of code page 936 (ReplaceText
// takes any byte of 0x80 or above for a first byte, LastSeparator only the
// real lead bytes); everything else works byte by byte. No operation changes or
// releases the texts it is given: every text result is a new block from
// AllocZeroed owned by the caller, or null for the empty text.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "runtime/core/value.h"

// Bytes before the first NUL; 0 for null.
std::int32_t TextLength(TextValue text);

// The same for the text in slot 1 (runtime form; the count is not read).
std::int32_t TextLength(int count, const TypedArg& text);

// -1, 0 or +1: bytes compared as unsigned values up to the first NUL; null
// and the empty text are equal; a prefix is the smaller.
int CompareText(TextValue left, TextValue right);

// The texts joined in order, measured first and allocated once. Always a
// new non-null block, a lone NUL when every part is empty.
TextValue ConcatText(std::initializer_list<TextValue> parts);

// The last `count` bytes of the text (slot 1), count being the low word of
// slot 2 whatever its tag. Null for an empty text or a count of 0 or below;
// a count at or beyond the length copies the whole text.
TextValue RightText(int count, const TypedArg* args);

// Replaces occurrences of a pattern. Slots: 1 source, 2 pattern,
// 3 replacement (optional: omitted removes), 4 start position (optional,
// 1-based, default 1), 5 most replacements (optional, default no limit),
// 6 case flag by its low word (non-zero = case-sensitive). Occurrences are
// found only where a character begins, never overlap, and inserted text is
// not scanned again. Null for an empty source.
TextValue ReplaceText(int count, const TypedArg* args);

// A new text of `count` bytes from `source` (it ends at an embedded NUL, if
// any); null when count < 1.
TextValue TextFromBytes(const void* source, std::int32_t count);

// A new copy of the text; null when it is null or empty.
TextValue CopyText(TextValue text);

// The offset of the last backslash character among the first `length`
// bytes of the path, -1 when there is none. Read character by character
// as Windows reads code page 936: a backslash byte that is the trail byte
// of a two-byte character (乗 is 81 5C) is part of that character, not a
// separator; only 0x81 to 0xFE lead a pair (€ is the single byte 0x80).
std::int32_t LastSeparator(const char* path, std::int32_t length);

// A byte buffer held by value inside one operation. Blocks come straight
// from the process heap (through the buffer code's own handle) and are
// always the requested length plus 128 bytes of slack; a block stays in
// use while no more than 256 of its bytes would lie spare. Growth is thus
// linear, not geometric.
//
// Invariants: data is null exactly when length is 0, and capacity is then
// 0 too; otherwise capacity >= length and capacity - length <= 256. The
// buffer owns its block; it neither zero-fills nor terminates it.
class GrowBuffer {
public:
    static constexpr std::int32_t kSlack = 128;
    static constexpr std::int32_t kSpareLimit = 256;

    GrowBuffer() = default;
    GrowBuffer(const GrowBuffer&) = delete;
    GrowBuffer& operator=(const GrowBuffer&) = delete;
    virtual ~GrowBuffer();

    // Sets the length to n, keeping the bytes up to the smaller length;
    // bytes beyond the old length are not initialised. Returns the storage,
    // or null when n is 0 (the buffer is then released) or the heap refuses
    // (the buffer is then as it was; after a failed first block, empty).
    unsigned char* SetLength(std::int32_t n);

    // Appends `count` bytes of `source` (zero bytes when source is null).
    // 1 when done, also for count <= 0; 0 when the heap refuses, the
    // buffer then unchanged.
    int Append(const void* source, std::int32_t count);

    // Gives the storage back and empties the buffer.
    void Release();

    unsigned char* data = nullptr;
    std::int32_t capacity = 0;
    std::int32_t length = 0;
};
