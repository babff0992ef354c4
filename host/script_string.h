// Script strings as the exports use them: the text of a string bounded by
// its capacity, the writable room of a destination, and one checked copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/script_value.h"

namespace cvx {

// The room of a destination string: empty when the record or its buffer is
// missing.
struct Destination {
    char* chars = nullptr;
    std::uint32_t capacity = 0;
};

inline Destination destination_arg(const ScriptString* s) {
    return (s && s->chars) ? Destination{s->chars, s->capacity} : Destination{};
}
inline Destination destination_arg(Word w) { return destination_arg(string_record(w)); }

// Copies n bytes and a terminator into the destination from `offset` on
// when they fit its capacity; false, and nothing written, when they do not.
// The source may lie inside the destination's buffer.
inline bool put(Destination d, std::size_t offset, const char* source, std::size_t n) {
    if (d.chars == nullptr || offset + n >= d.capacity) return false;
    std::memmove(d.chars + offset, source, n);
    d.chars[offset + n] = 0;
    return true;
}

}  // namespace cvx
