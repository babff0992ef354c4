#include "files/current_file.h"

#include "files/open_streams.h"

namespace cvx::files {

CurrentFile current_file;

bool CurrentFile::open(const char* path, const char* mode) noexcept {
    stream_ = path ? open_stream(path, mode) : nullptr;
    return stream_ != nullptr;
}

bool CurrentFile::reopen(const char* path, const char* mode) noexcept {
    if (!stream_) return open(path, mode);
    stream_ = path ? reopen_stream(path, mode, stream_) : (close_stream(stream_), nullptr);
    return stream_ != nullptr;
}

int CurrentFile::close() noexcept {
    if (!stream_) return EOF;
    const int result = close_stream(stream_);
    stream_ = nullptr;
    return result;
}

int CurrentFile::close_all() noexcept {
    const int result = close_all_streams();
    stream_ = nullptr;
    return result;
}

}  // namespace cvx::files
