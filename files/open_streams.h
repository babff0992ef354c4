// The streams the file library opens, and the runtime extensions that act on
// all of them at once or on a descriptor.
//
// On Windows these are the C runtime's own calls. Elsewhere the library keeps
// its own list of the streams it opened and has not closed yet: "every open
// stream" means those, plus the three standard streams where a count
// includes them. Nothing else in the host process is touched.
//
// None of these functions throws.
#pragma once

#include <cstdint>
#include <cstdio>

namespace cvx::files {

// fopen; the stream is remembered as open. Null when the open failed.
std::FILE* open_stream(const char* path, const char* mode) noexcept;

// freopen on an open stream: the stream is closed (a failure to close is
// ignored) and the path opened on it. Null when the open failed; the old
// stream is closed and released either way.
std::FILE* reopen_stream(const char* path, const char* mode, std::FILE* stream) noexcept;

// fclose; the stream is forgotten whatever the result. 0 or EOF.
int close_stream(std::FILE* stream) noexcept;

// Closes every open stream but the standard streams: the number closed, or
// EOF when a close failed.
int close_all_streams() noexcept;

// Flushes every open output stream and drops the read-ahead of input
// streams, leaving them open: the number of open streams, the standard
// streams included.
int flush_all_streams() noexcept;

// The descriptor under a stream.
int stream_descriptor(std::FILE* stream) noexcept;

// The length in bytes of the regular file open on a descriptor; -1 when the
// descriptor is not open, is not a seekable file or the length does not fit
// in 31 bits.
std::int32_t descriptor_length(int descriptor) noexcept;

}  // namespace cvx::files
