// Short runs of bytes compared and moved in a few word loads and stores
// instead of a C library call: a call costs more than the work for the few
// bytes of a column name or a cell. A run of n bytes is covered by two
// words that overlap in the middle (the first and the last word of it), so
// nothing outside the run is read or written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace cvx {

namespace short_bytes {

template <typename T>
[[gnu::always_inline]] inline T load(const char* p) noexcept {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The first and the last word of n bytes (sizeof(T) <= n <= 2 * sizeof(T))
// differ between a and b.
template <typename T>
[[gnu::always_inline]] inline bool ends_differ(const char* a, const char* b, std::size_t n) noexcept {
    return ((load<T>(a) ^ load<T>(b)) | (load<T>(a + n - sizeof(T)) ^ load<T>(b + n - sizeof(T)))) != 0;
}

template <typename T>
struct Ends {
    T first, last;
};

// Moves n bytes (sizeof(T) <= n <= 2 * sizeof(T)): both words are read
// before either is written. Answers the two words.
template <typename T>
[[gnu::always_inline]] inline Ends<T> move_ends(char* to, const char* from, std::size_t n) noexcept {
    const T first = load<T>(from), last = load<T>(from + n - sizeof(T));
    std::memcpy(to, &first, sizeof first);
    std::memcpy(to + n - sizeof(T), &last, sizeof last);
    return {first, last};
}

}  // namespace short_bytes

// The n bytes at a and b are the same; n at most 16.
[[gnu::always_inline]] inline bool same_short_bytes(const char* a, const char* b, std::size_t n) noexcept {
    using namespace short_bytes;
    if (n >= 8) return !ends_differ<std::uint64_t>(a, b, n);
    if (n >= 4) return !ends_differ<std::uint32_t>(a, b, n);
    if (n >= 2) return !ends_differ<std::uint16_t>(a, b, n);
    return n == 0 || *a == *b;
}

// memmove: n bytes from `from` to `to`, which may overlap. Up to 32 bytes
// every byte is read before any is written.
[[gnu::always_inline]] inline void move_bytes(char* to, const char* from, std::size_t n) noexcept {
    using namespace short_bytes;
    if (n > 32) {
        std::memmove(to, from, n);
    } else if (n > 16) {
        const std::uint64_t a = load<std::uint64_t>(from), b = load<std::uint64_t>(from + 8);
        const std::uint64_t c = load<std::uint64_t>(from + n - 16), d = load<std::uint64_t>(from + n - 8);
        std::memcpy(to, &a, 8);
        std::memcpy(to + 8, &b, 8);
        std::memcpy(to + n - 16, &c, 8);
        std::memcpy(to + n - 8, &d, 8);
    } else if (n >= 8) {
        move_ends<std::uint64_t>(to, from, n);
    } else if (n >= 4) {
        move_ends<std::uint32_t>(to, from, n);
    } else if (n >= 2) {
        move_ends<std::uint16_t>(to, from, n);
    } else if (n == 1) {
        *to = *from;
    }
}

}  // namespace cvx
