// Values, memory and fatal errors: the layout of texts and arrays, the
// typed argument slot, heap allocation and release, fatal errors and the
// way out of the process. Every other part of the runtime stands on this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// A text is a pointer to a NUL-terminated 8-bit string in code page 936.
// Null is the empty text, and every operation that takes a text accepts
// it. A text variable normally owns a block from AllocZeroed; it may also
// point at a static literal of the program, which ReleaseBlock ignores, so
// a variable is always released the same way whatever it holds. Texts are
// never changed in place: an operation that yields a text returns a new
// block (or null) that the caller owns.
using TextValue = const char*;

// An array value is one heap block: int32 dimension count D, D int32
// dimension sizes, then the elements packed without gaps. A byte array is
// the case D = 1 with byte elements: int32 1, int32 length L, L bytes.
// Null is the empty array.
struct ByteBlockHeader {
    std::int32_t dimensions;
    std::int32_t length;
};
using ByteBlock = ByteBlockHeader*;
using ArrayBlock = const void*;

// The static empty byte array, for callers that must pass one and hold null.
extern ByteBlockHeader EmptyByteBlock;

// First byte of a byte array's data.
inline unsigned char* BlockBytes(ByteBlock block) { return reinterpret_cast<unsigned char*>(block + 1); }

// The type code carried with every value that crosses into a runtime
// operation.
enum class TypeTag : std::uint32_t {
    Omitted = 0,
    Bool = 0x80000002,
    DateTime = 0x80000003,
    Text = 0x80000004,
    Bytes = 0x80000005,
    SubroutinePtr = 0x80000006,
    Byte = 0x80000101,
    Short = 0x80000201,
    Int = 0x80000301,
    Long = 0x80000401,
    Float = 0x80000501,
    Double = 0x80000601,
    ArrayFlag = 0x20000000,
};

inline constexpr TypeTag operator|(TypeTag a, TypeTag b) {
    return static_cast<TypeTag>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}

// One argument slot of a runtime operation: the value words, then the tag.
// The value is 64 bits wide, so a pointer fills it whole on a 64-bit build;
// the low word is its low 32 bits, the high word the rest. Tag 0 marks an
// omitted argument, whose value words are zero too. Operations read a slot
// through the accessors below, never by casting.
struct TypedArg {
    std::uint64_t value = 0;
    TypeTag tag = TypeTag::Omitted;

    std::int32_t LowWord() const { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); }
    std::int32_t HighWord() const { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value >> 32)); }
    std::int64_t AsLong() const { return static_cast<std::int64_t>(value); }
    double AsDouble() const {
        double d;
        std::memcpy(&d, &value, sizeof d);
        return d;
    }
    float AsFloat() const {
        auto low = static_cast<std::uint32_t>(value);
        float f;
        std::memcpy(&f, &low, sizeof f);
        return f;
    }
    template <typename T>
    T* AsPointer() const {
        return reinterpret_cast<T*>(static_cast<std::uintptr_t>(value));
    }
    TextValue AsText() const { return AsPointer<const char>(); }
    ByteBlock AsBytes() const { return AsPointer<ByteBlockHeader>(); }
    bool Present() const { return tag != TypeTag::Omitted; }

    // Slot makers. A null text or byte array is passed as the static empty
    // text or EmptyByteBlock, never as null.
    static TypedArg Omit() { return {}; }
    static TypedArg Word(std::uint32_t low, TypeTag tag) { return {low, tag}; }
    static TypedArg Int(std::int32_t n) { return {static_cast<std::uint32_t>(n), TypeTag::Int}; }
    static TypedArg Bool(bool b) { return {b ? 1u : 0u, TypeTag::Bool}; }
    static TypedArg Long(std::int64_t n) { return {static_cast<std::uint64_t>(n), TypeTag::Long}; }
    static TypedArg Real(double d, TypeTag tag = TypeTag::Double) {
        TypedArg a;
        std::memcpy(&a.value, &d, sizeof d);
        a.tag = tag;
        return a;
    }
    static TypedArg Float(float f) {
        std::uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        return {bits, TypeTag::Float};
    }
    static TypedArg Pointer(const void* p, TypeTag tag) {
        return {static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p)), tag};
    }
    static TypedArg Text(TextValue t) { return Pointer(t ? t : "", TypeTag::Text); }
    static TypedArg Bytes(ByteBlock b) { return Pointer(b ? b : &EmptyByteBlock, TypeTag::Bytes); }
};

// Runtime start-up: obtains the process heap. Runs before anything else.
void StartRuntime();

// A zero-filled block of `size` bytes from the process heap, owned by the
// caller. Never null: when the heap refuses, the out-of-memory report is
// shown and the process ends with exit code 0.
void* AllocZeroed(std::size_t size);

// Resizes a block from AllocZeroed to `size` bytes, keeping its bytes up to
// the smaller size (new bytes are not zeroed). Never null: a refusal is the
// out-of-memory report, as for AllocZeroed.
void* ResizeBlock(void* block, std::size_t size);

// Shows the out-of-memory report and ends the process with exit code 0.
[[noreturn]] void OutOfMemory();

// Gives a block from AllocZeroed back to the heap. Null, small integers,
// static literals and any pointer that is not a live heap block are left
// alone, so every variable can be released the same way.
void ReleaseBlock(const void* p);

// Releases what a text variable holds and empties it.
inline void ReleaseText(TextValue& text) {
    ReleaseBlock(text);
    text = nullptr;
}

// Reports numbered runtime error `code` and ends the process with exit
// code 0, after the exit hook. A code outside 1..11 reports its number
// with an empty message line.
[[noreturn]] void FatalError(int code);

// Runs the exit hook, if one is registered, and ends the process.
[[noreturn]] void ExitProgram(int code);

// Stores `hook` as the exit hook, replacing any earlier one; null clears it.
void RegisterExitHook(void (*hook)());

// The element count of an array (the product of its dimension sizes; 0 for
// null or for no dimensions) and, through `first`, its first element.
std::int64_t ArrayElements(ArrayBlock array, const unsigned char** first);

// Element `index` (1-based) of a byte array, checked: an index below 1
// raises fatal error 4, one beyond the length fatal error 1.
unsigned char ByteElement(ByteBlock block, std::int64_t index);

// The message of fatal error `code` (1..11), "" for any other code.
const char* FatalMessage(int code);

// The out-of-memory text and the caption of every report.
extern const char kOutOfMemoryText[];
extern const char kErrorCaption[];
