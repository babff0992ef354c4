// The C runtime provides every call itself; its _fcloseall and _flushall act
// on all streams of the runtime the library is linked with.
#include <io.h>

#include "files/open_streams.h"

namespace cvx::files {

std::FILE* open_stream(const char* path, const char* mode) noexcept { return std::fopen(path, mode); }

std::FILE* reopen_stream(const char* path, const char* mode, std::FILE* stream) noexcept {
    return std::freopen(path, mode, stream);
}

int close_stream(std::FILE* stream) noexcept { return std::fclose(stream); }

int close_all_streams() noexcept { return _fcloseall(); }

int flush_all_streams() noexcept { return _flushall(); }

int stream_descriptor(std::FILE* stream) noexcept { return _fileno(stream); }

std::int32_t descriptor_length(int descriptor) noexcept {
    return static_cast<std::int32_t>(_filelength(descriptor));
}

}  // namespace cvx::files
