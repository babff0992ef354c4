// Script strings as every family reads and writes them: the text of a string
// bounded by its capacity, the buffer a result may be written into, and the
// one checked copy into that buffer. No export touches a string's `chars`
// except through these, so none reads past a buffer or writes past its
// capacity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "host/script_value.h"
#include "host/short_bytes.h"

namespace cvx {

// ---- reading ----------------------------------------------------------------

// The buffer of a string argument, not yet measured: for a reader that looks
// for the terminator itself, never past `capacity` (a lookup that compares a
// remembered text first). A missing record or buffer is the empty text.
struct TextRoom {
    const char* chars = "";
    std::uint32_t capacity = 1;
};

inline TextRoom text_room(Word w) noexcept {
    const ScriptString* s = string_record(w);
    return (s != nullptr && s->chars != nullptr) ? TextRoom{s->chars, s->capacity} : TextRoom{};
}

// The text of a string, bounded by the record's capacity. Empty (nullopt)
// when the record or its buffer is missing, or when the buffer holds no
// terminator within capacity: the engine always terminates its texts, and
// anything else is refused rather than read past the buffer.
inline std::optional<std::string_view> text_arg(const ScriptString* s) noexcept {
    if (s == nullptr || s->chars == nullptr) return std::nullopt;
    const void* end = std::memchr(s->chars, 0, s->capacity);
    if (end == nullptr) return std::nullopt;
    return std::string_view(s->chars, static_cast<std::size_t>(static_cast<const char*>(end) - s->chars));
}
inline std::optional<std::string_view> text_arg(Word w) noexcept { return text_arg(string_record(w)); }

// The same text as a C string (terminated within its buffer), or null.
inline const char* terminated_text(Word w) noexcept {
    const std::optional<std::string_view> t = text_arg(w);
    return t ? t->data() : nullptr;
}

// ---- writing ----------------------------------------------------------------

// The buffer of a string that an export may write: `capacity` bytes at
// `chars`. Empty (no bytes) when the record or its buffer is missing.
struct Destination {
    char* chars = nullptr;
    std::uint32_t capacity = 0;
};

inline Destination destination_arg(const ScriptString* s) noexcept {
    return (s != nullptr && s->chars != nullptr) ? Destination{s->chars, s->capacity} : Destination{};
}
inline Destination destination_arg(Word w) noexcept { return destination_arg(string_record(w)); }

// A text of n bytes and its terminator fit the destination from `offset` on.
inline bool fits(Destination d, std::size_t offset, std::size_t n) noexcept {
    return d.chars != nullptr && offset < d.capacity && n < d.capacity - offset;
}

// The one checked copy: n bytes and a terminator into the destination from
// `offset` on, when they fit its capacity; otherwise false and nothing
// written. The source may lie inside the destination's buffer (memmove): a
// string appended to itself is read before its terminator is overwritten.
[[gnu::always_inline]] inline bool put(Destination d, std::size_t offset, const char* source, std::size_t n) noexcept {
    if (!fits(d, offset, n)) return false;
    move_bytes(d.chars + offset, source, n);
    d.chars[offset + n] = 0;
    return true;
}

// put() from offset 0 for a text whose n bytes are followed by its zero
// byte, which is copied with them.
[[gnu::always_inline]] inline bool put_text(Destination d, const char* text, std::size_t n) noexcept {
    if (!fits(d, 0, n)) return false;
    move_bytes(d.chars, text, n + 1);
    return true;
}

}  // namespace cvx
