// Conversions of typed values: to a 32-bit integer, to a text and to a byte
// array, each decided by the tag of the argument slot; the length of a byte
// array; and the truncation of a real to an integer. No conversion reports
// an error: a tag an operation does not handle yields 0 or null.
#pragma once

#include <cstdint>

#include "runtime/core/value.h"

// The slot's value as an int32 (the count is not read). Reals truncate
// toward zero; texts are read as atoi does after full-width forms are made
// half-width, saturating beyond the int32 range.
std::int32_t ToInteger(int count, const TypedArg& arg);

// The slot's value as a new text, or null for an empty result. Integers in
// decimal, reals in fixed point with six decimals and the trailing zeros
// trimmed, logical values as "真" or "假", date-times as calendar text.
TextValue ToText(int count, const TypedArg& arg);

// The slot's value as a new byte array, or null for an empty result: a
// text without its NUL, a copy of a byte array, a numeric array's raw
// elements, or the value's own bytes, low word first.
ByteBlock ToBytes(int count, const TypedArg& arg);

// The length word of the byte array in the slot, 0 for null; the tag is
// not examined.
std::int32_t ByteLength(int count, const TypedArg& arg);

// x truncated toward zero to a signed 64-bit integer; NaN and values
// outside that range give -2^63.
std::int64_t TruncateToInteger(double x);

// Internal steps, open to the tests.

// The text with "／" and "＼" made "/" and "\" and every full-width form
// made half-width, as a new text; null when empty. The text is not changed.
TextValue NormaliseNumberText(TextValue text);

// Replaces every occurrence of `find` in the text held by `*text` (a match
// begins only where a character begins). Returns 1 and stores a new block
// from malloc when anything was replaced, freeing the old one with free
// when `releaseOld` is set; returns 0 and leaves the variable alone
// otherwise. The result is never longer than the text: `replacement` must
// not be longer than `find`.
int ReplaceAll(const char** text, const char* find, const char* replacement, bool releaseOld);

// Trims the trailing zeros of a fixed-point text in place, and the point
// too when nothing follows it: 1.500000 -> 1.5, -0.000000 -> -0.
void TrimRealText(char* area);

// The first count*width bytes of an array's elements up to the first NUL,
// as a new text; null when that is empty.
TextValue TextOfArray(ArrayBlock array, std::int32_t width);

// A new byte array holding n bytes; null when n is 0 or below.
ByteBlock MakeByteBlock(const void* bytes, std::int64_t n);

// The int32 that a number text reads as: leading white space, an optional
// sign, then digits; saturates at the int32 bounds.
std::int32_t ParseNumberText(TextValue text);
