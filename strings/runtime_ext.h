// The string extensions of the platform's C runtime that the string library
// builds on: case change, reversal and filling in place. On Windows they are
// the runtime's own (whose default locale changes only A-Z and a-z); other
// runtimes lack them, and these versions do the same in the same way.
#pragma once

#include <cstddef>

#if defined(_WIN32)
#include <string.h>
#endif

namespace cvx::strings::runtime {

// strlwr and strupr are given the text's length as well, which lets the
// versions here change the whole text in one vectorised loop.
#if defined(_WIN32)
inline char* strlwr(char* s, std::size_t) { return _strlwr(s); }
inline char* strupr(char* s, std::size_t) { return _strupr(s); }
inline char* strrev(char* s) { return _strrev(s); }
inline char* strnset(char* s, int c, std::size_t n) { return _strnset(s, c, n); }
#else
// A-Z to a-z (or back) in the first n bytes, everything else as it is.
inline char* shift_case(char* s, std::size_t n, unsigned char first) {
    auto* p = reinterpret_cast<unsigned char*>(s);
    for (std::size_t i = 0; i < n; ++i) {
        p[i] = static_cast<unsigned char>(p[i] ^ (static_cast<unsigned char>(p[i] - first) < 26 ? 0x20 : 0));
    }
    return s;
}
inline char* strlwr(char* s, std::size_t n) { return shift_case(s, n, 'A'); }
inline char* strupr(char* s, std::size_t n) { return shift_case(s, n, 'a'); }
inline char* strrev(char* s) {
    char* end = s;
    while (*end) ++end;
    for (char* begin = s; begin < end;) {
        const char t = *begin;
        *begin++ = *--end;
        *end = t;
    }
    return s;
}
// The first n characters (at most the whole text) become c.
inline char* strnset(char* s, int c, std::size_t n) {
    for (char* p = s; n > 0 && *p; ++p, --n) *p = static_cast<char>(c);
    return s;
}
#endif

}  // namespace cvx::strings::runtime
