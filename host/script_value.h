// Script values: the two kinds of value that cross the engine boundary, and
// the conversions between them and plain integers.
//
// Every export argument and result is one machine word (`Word`). On the
// 32-bit engine that word is 32 bits wide; on 64-bit builds it is pointer
// wide, a script number travels sign-extended and is read from the low 32
// bits, and addresses travel whole.
//
// A script number is 22.10 fixed point: the raw 32-bit integer divided by
// 1024, so 1.0 is raw 1024. Every export converts its arguments and results
// only through the helpers below, so no export shifts by hand.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cvx {

using Word = std::intptr_t;
using ScriptNumber = std::int32_t;  // raw fixed-point value

// The engine's string record. The header and everything after `capacity`
// belong to the engine and are never touched.
struct ScriptString {
    unsigned char header[12];
    char* chars;             // zero-terminated 8-bit text
    std::uint32_t capacity;  // size of the buffer at chars, terminator included
};

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(Word) == 4);
static_assert(offsetof(ScriptString, chars) == 12);
static_assert(offsetof(ScriptString, capacity) == 16);
#else
static_assert(sizeof(Word) == 8);
static_assert(offsetof(ScriptString, chars) == 16);
static_assert(offsetof(ScriptString, capacity) == 24);
#endif

// Fixed results.
inline constexpr ScriptNumber kOne = 1024;
inline constexpr ScriptNumber kZero = 0;
inline constexpr ScriptNumber kMinusOne = -1024;
inline constexpr ScriptNumber kMinusTwo = -2048;

// ---- arguments -------------------------------------------------------------

// raw: the 32-bit value as it stands (read from the word's low 32 bits).
constexpr std::int32_t raw(Word w) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uintptr_t>(w)));
}

// raw, taken as an unsigned 32-bit count or mask.
constexpr std::uint32_t raw_unsigned(Word w) {
    return static_cast<std::uint32_t>(static_cast<std::uintptr_t>(w));
}

// whole: arithmetic shift right by 10; rounds toward minus infinity.
constexpr std::int32_t whole(Word w) { return raw(w) >> 10; }

// A character argument: the low 8 bits of the whole value.
constexpr unsigned char character(Word w) { return static_cast<unsigned char>(whole(w) & 0xFF); }

// float: raw / 1024 rounded to single precision.
inline float to_float(Word w) { return static_cast<float>(static_cast<double>(raw(w)) / 1024.0); }

// address: the whole word taken as the address of caller storage.
template <typename T>
inline T* address(Word w) {
    return reinterpret_cast<T*>(w);
}

// string: the word is the address of a ScriptString record (its text and
// buffer are read through host/script_string.h).
inline ScriptString* string_record(Word w) { return reinterpret_cast<ScriptString*>(w); }

// ---- results ---------------------------------------------------------------

// A raw 32-bit result, sign-extended to the word.
constexpr Word raw_result(std::int32_t v) { return static_cast<Word>(v); }

// scaled: shift left by 10 in two's complement, no range check.
constexpr Word scaled(long long v) {
    return raw_result(static_cast<std::int32_t>(static_cast<std::uint32_t>(v) << 10));
}

// truth: 1024 when the condition holds, else 0.
constexpr Word truth(bool condition) { return condition ? kOne : kZero; }

// three-way: -1024, 0 or 1024 for less, equal, greater.
// (Computed without a branch: a comparison's sign is hard to predict.)
constexpr Word three_way(int order) { return static_cast<Word>((order > 0) - (order < 0)) * kOne; }

// An address result travels whole.
inline Word address_result(const void* p) { return reinterpret_cast<Word>(p); }

}  // namespace cvx
