#include "strings/string_ops.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "host/script_string.h"
#include "strings/runtime_ext.h"

namespace cvx::strings {
namespace {

using Text = std::optional<std::string_view>;

Text text(const ScriptString* s) { return text_arg(s); }

bool writable(const ScriptString* s) { return s != nullptr && s->chars != nullptr; }

// A text certainly ends within its buffer when the buffer's last byte is a
// terminator. Then the C string functions may run on it directly, in one
// pass, instead of measuring it against its capacity first.
bool surely_terminated(const ScriptString* s) {
    return writable(s) && s->capacity > 0 && s->chars[s->capacity - 1] == 0;
}

// Two buffers that share no byte. Records of one string, or of strings over
// one buffer, are never apart, so the C functions below (which must not
// overlap) only ever run on separate buffers.
bool apart(const ScriptString* a, const ScriptString* b) {
    const auto a_begin = reinterpret_cast<std::uintptr_t>(a->chars);
    const auto b_begin = reinterpret_cast<std::uintptr_t>(b->chars);
    return a_begin + a->capacity <= b_begin || b_begin + b->capacity <= a_begin;
}

// A terminated source whose whole buffer is no larger than the room left
// in a separate destination fits there whatever its length: the copy needs
// no measuring first.
bool surely_fits(const ScriptString* source, const ScriptString* destination, std::size_t used) {
    return surely_terminated(source) && writable(destination) && used < destination->capacity &&
           source->capacity <= destination->capacity - used && apart(source, destination);
}

bool put(ScriptString* destination, std::size_t offset, const char* source, std::size_t n) {
    return cvx::put(destination_arg(destination), offset, source, n);
}

// Runs an in-place change on the source once the produced text (of
// produced(length) bytes) is known to fit the destination, then copies it
// there. The source is measured once.
template <typename Change, typename Produced>
bool change_then_copy(ScriptString* source, ScriptString* destination, Change change, Produced produced) {
    const Text t = text(source);
    if (!t) return false;
    const std::size_t n = produced(t->size());
    const Destination d = destination_arg(destination);
    if (!fits(d, 0, n)) return false;
    change(source->chars, t->size());
    return cvx::put(d, 0, source->chars, n);
}

std::size_t same_length(std::size_t length) { return length; }
std::size_t emptied(std::size_t) { return 0; }

// The rest of the source from `position` on, terminator included.
bool copy_from(const ScriptString* source, std::string_view t, std::size_t position, ScriptString* destination) {
    if (position == std::string_view::npos) return false;
    return put(destination, 0, source->chars + position, t.size() - position);
}

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::ptrdiff_t length(const ScriptString* s) {
    const Text t = text(s);
    return t ? static_cast<std::ptrdiff_t>(t->size()) : -1;
}

namespace {

// The measured paths of compare, copy and append, out of line: the checks and the one
// C call of the short paths then need no saved registers.
[[gnu::noinline]] int compare_measured(const ScriptString* first, const ScriptString* second) {
    const Text a = text(first);
    const Text b = text(second);
    if (!a || !b) return 0;
    // Both terminators take part: a prefix sorts first.
    return std::memcmp(a->data(), b->data(), std::min(a->size(), b->size()) + 1);
}

[[gnu::noinline]] bool copy_measured(const ScriptString* source, ScriptString* destination) {
    const Text t = text(source);
    return t && put(destination, 0, t->data(), t->size());
}

[[gnu::noinline]] bool append_measured(const ScriptString* source, ScriptString* destination, std::size_t used) {
    const Text t = text(source);
    return t && put(destination, used, t->data(), t->size());
}

}  // namespace

int compare(const ScriptString* first, const ScriptString* second) {
    if (surely_terminated(first) && surely_terminated(second)) return std::strcmp(first->chars, second->chars);
    return compare_measured(first, second);
}

bool copy(const ScriptString* source, ScriptString* destination) {
    if (surely_fits(source, destination, 0)) {
        std::strcpy(destination->chars, source->chars);
        return true;
    }
    return copy_measured(source, destination);
}

bool append(const ScriptString* source, ScriptString* destination) {
    const Text d = text(destination);
    if (!d) return false;
    if (surely_fits(source, destination, d->size())) {
        std::strcpy(destination->chars + d->size(), source->chars);
        return true;
    }
    return append_measured(source, destination, d->size());
}

bool copy_n(const ScriptString* source, std::uint32_t count, ScriptString* destination) {
    const Text t = text(source);
    const Destination d = destination_arg(destination);
    if (!t || !d.chars || count > d.capacity) return false;
    const std::size_t n = std::min<std::size_t>(t->size(), count);
    std::memmove(d.chars, t->data(), n);
    std::memset(d.chars + n, 0, count - n);
    return true;
}

bool append_n(const ScriptString* source, std::uint32_t count, ScriptString* destination) {
    const Text s = text(source);
    const Text d = text(destination);
    return s && d && put(destination, d->size(), s->data(), std::min<std::size_t>(s->size(), count));
}

bool lower(ScriptString* source, ScriptString* destination) {
    return change_then_copy(source, destination, [](char* s, std::size_t n) { runtime::strlwr(s, n); }, same_length);
}

bool upper(ScriptString* source, ScriptString* destination) {
    return change_then_copy(source, destination, [](char* s, std::size_t n) { runtime::strupr(s, n); }, same_length);
}

bool reverse(ScriptString* source, ScriptString* destination) {
    return change_then_copy(source, destination, [](char* s, std::size_t) { runtime::strrev(s); }, same_length);
}

bool set_all(ScriptString* source, unsigned char c, ScriptString* destination) {
    const auto fill = [c](char* s, std::size_t n) { std::memset(s, c, n); };
    return change_then_copy(source, destination, fill, c == 0 ? emptied : same_length);
}

bool set_n(ScriptString* source, unsigned char c, std::uint32_t count, ScriptString* destination) {
    const auto fill = [c, count](char* s, std::size_t) { runtime::strnset(s, c, count); };
    // Filling a non-empty text's start with terminators empties it.
    const auto produced = [c, count](std::size_t length) { return c == 0 && count > 0 ? 0 : length; };
    return change_then_copy(source, destination, fill, produced);
}

bool from_first(const ScriptString* source, unsigned char c, ScriptString* destination) {
    const Text t = text(source);
    if (!t) return false;
    // The terminator itself can be found: the copy is then empty.
    const void* hit = std::memchr(t->data(), c, t->size() + 1);
    return hit && copy_from(source, *t, static_cast<std::size_t>(static_cast<const char*>(hit) - t->data()),
                            destination);
}

bool from_last(const ScriptString* source, unsigned char c, ScriptString* destination) {
    const Text t = text(source);
    if (!t) return false;
    if (c == 0) return copy_from(source, *t, t->size(), destination);
    return copy_from(source, *t, t->rfind(static_cast<char>(c)), destination);
}

bool from_any_of(const ScriptString* source, const ScriptString* set, ScriptString* destination) {
    const Text t = text(source);
    const Text s = text(set);
    if (!t || !s || s->empty()) return false;
    return copy_from(source, *t, t->find_first_of(*s), destination);
}

bool from_text(const ScriptString* source, const ScriptString* needle, ScriptString* destination) {
    if (surely_fits(source, destination, 0) && surely_terminated(needle)) {
        const char* hit = std::strstr(source->chars, needle->chars);
        if (hit) std::strcpy(destination->chars, hit);
        return hit != nullptr;
    }
    const Text t = text(source);
    const Text n = text(needle);
    if (!t || !n) return false;
    return copy_from(source, *t, t->find(*n), destination);
}

bool trim(ScriptString* s, std::int32_t count) {
    const Text t = text(s);
    if (!t) return false;
    std::size_t end = t->size();
    const std::size_t limit = count <= 0 ? end : std::min<std::size_t>(end, static_cast<std::size_t>(count));
    while (end > t->size() - limit && is_space(s->chars[end - 1])) --end;
    if (end < t->size()) s->chars[end] = 0;
    return true;
}

bool rtrim(ScriptString* s, std::int32_t count) {
    const Text t = text(s);
    if (!t) return false;
    if (count > 0) s->chars[t->size() - std::min<std::size_t>(t->size(), static_cast<std::size_t>(count))] = 0;
    return true;
}

bool ltrim(ScriptString* s, std::int32_t count) {
    const Text t = text(s);
    if (!t) return false;
    const std::size_t keep = count <= 0 ? 0 : static_cast<std::size_t>(count);
    if (keep < t->size()) s->chars[keep] = 0;
    return true;
}

}  // namespace cvx::strings
