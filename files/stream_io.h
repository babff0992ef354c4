// The stream calls behind the character, line and block transfers.
//
// The library's streams are used from the engine's script thread only, so
// where the runtime offers them the calls that skip the stream's lock are
// used: the same transfer, without a lock and unlock around every byte.
#pragma once

#include <cstddef>
#include <cstdio>

namespace cvx::files::io {

#if defined(__GLIBC__)
inline int get_byte(std::FILE* f) { return getc_unlocked(f); }
inline int put_byte(int c, std::FILE* f) { return putc_unlocked(c, f); }
inline int put_text(const char* s, std::FILE* f) { return fputs_unlocked(s, f); }
inline char* get_line(char* s, int n, std::FILE* f) { return fgets_unlocked(s, n, f); }
inline std::size_t read_block(void* p, std::size_t size, std::size_t n, std::FILE* f) {
    return fread_unlocked(p, size, n, f);
}
inline std::size_t write_block(const void* p, std::size_t size, std::size_t n, std::FILE* f) {
    return fwrite_unlocked(p, size, n, f);
}
#else
inline int get_byte(std::FILE* f) { return std::fgetc(f); }
inline int put_byte(int c, std::FILE* f) { return std::fputc(c, f); }
inline int put_text(const char* s, std::FILE* f) { return std::fputs(s, f); }
inline char* get_line(char* s, int n, std::FILE* f) { return std::fgets(s, n, f); }
inline std::size_t read_block(void* p, std::size_t size, std::size_t n, std::FILE* f) {
    return std::fread(p, size, n, f);
}
inline std::size_t write_block(const void* p, std::size_t size, std::size_t n, std::FILE* f) {
    return std::fwrite(p, size, n, f);
}
#endif

}  // namespace cvx::files::io
