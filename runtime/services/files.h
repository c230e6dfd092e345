// Files and the executable's own path.
//
// Paths are code page 936 texts, handed unchanged to the platform. None of
// these operations shows a message: an unopenable input yields null, an
// output that cannot be created or written yields 0, and the caller
// decides. Allocation failure inside them is fatal through AllocZeroed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/core/value.h"

// The directory of the running executable, without a trailing backslash
// (for an executable in a drive's root, the drive letter and colon). A new
// text; empty when the module path cannot be had.
TextValue ExeDirectory();

// The executable's file name without its directory; a new text.
TextValue ExeFileName();

// The bytes of the file whose path is in slot 1, as a new byte array; null
// when it cannot be opened as a regular file. An empty file gives a block
// of length 0. When fewer bytes arrive than the file's size said, the
// block's length is the count actually read: zeros never stand in for
// content.
ByteBlock ReadWholeFile(int count, const TypedArg& path);

// Creates or truncates the file named in slot 1 and writes the byte arrays
// of slots 2..count in order, each whole. 1 when the file was created and
// every write succeeded, else 0. Only the slots' pointers are read.
std::int32_t WriteFileParts(int count, const TypedArg* args);

// Creates or truncates `name` and writes `size` bytes of `data` into it.
// 1 when all was written, else 0. For a caller that holds its bytes in a
// text rather than a byte array, so that nothing is copied to write them.
std::int32_t WriteFileBytes(TextValue name, const void* data, std::size_t size);
