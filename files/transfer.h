// Transfers through a stream that never reach outside the caller's buffer or
// storage. Each makes one runtime call at most; the stream's own buffering
// applies, and what does not fit stays in the stream for the next read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "host/script_string.h"

namespace cvx::files {

// A buffer is a string's Destination (host/script_string.h): what a read may
// fill, or the bytes a raw write may send; no bytes when the record or its
// characters are missing.

// fgets of at most min(count, capacity) - 1 bytes, newline kept; true when a
// line or part of one was read. With room for fewer than one byte nothing is
// read and the buffer is left as it was.
bool read_line(std::FILE* stream, Destination buffer, std::int32_t count) noexcept;

// How many items of `size` bytes may move through a buffer of `capacity`
// bytes: at most `count`, and never more than fit. 0 when size is 0.
constexpr std::size_t items_within(std::uint32_t capacity, std::uint32_t size, std::uint32_t count) noexcept {
    if (size == 0) return 0;
    const std::uint32_t fit = size == 1 ? capacity : capacity / size;  // bytes need no division
    return count < fit ? count : fit;
}

// The fscanf reads: each returns the runtime's result (1 stored, 0 no match,
// EOF when the input ended or failed first). A buffer or address that cannot
// take the value is refused with 0 and nothing is read.

// "%s" with the width the buffer leaves: one word of at most capacity - 1
// bytes and its NUL.
int read_word(std::FILE* stream, Destination buffer) noexcept;

// "%c" into the buffer's first byte; no NUL is written.
int read_char(std::FILE* stream, Destination buffer) noexcept;

// "%i" stored as a 32-bit little-endian integer in the buffer's first four
// bytes.
int read_int_into_text(std::FILE* stream, Destination buffer) noexcept;

// "%i", stored at the address as a script number: the integer × 1024, held
// to the range of a script number like "%f" (see script_number_of).
int read_int_as_number(std::FILE* stream, void* storage) noexcept;

// "%u", stored at the address unchanged.
int read_uint(std::FILE* stream, void* storage) noexcept;

// "%f", stored at the address as a script number (see script_number_of).
int read_float_as_number(std::FILE* stream, void* storage) noexcept;

// A value × 1024 rounded to nearest (halves away from zero), held to the
// range of a script number; not-a-number gives 0.
std::int32_t script_number_of(float value) noexcept;

// An integer × 1024, held to the range of a script number (raw INT32_MIN …
// INT32_MAX) instead of wrapping.
std::int32_t script_number_of(int value) noexcept;

}  // namespace cvx::files
