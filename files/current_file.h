// The current file: the one process-wide stream that every file export acts
// on, and the state it is in.
//
//   none    nothing opened yet, or the last open failed
//   open    a stream is open and every transfer may use it (stream() is set)
//   closed  the stream was closed by a script; no runtime call is ever made
//           on it again (stream() is null, as for none)
//
// Only open differs for the exports, so the stream pointer is the state.
//
// Opening does not close: a stream that was current before stays open and is
// reached only by close_all() and the flush of every stream.
#pragma once

#include <cstdio>

namespace cvx::files {

class CurrentFile {
public:
    // The stream when the current file is open, otherwise null. Every
    // transfer checks this and does nothing without a stream.
    std::FILE* stream() const noexcept { return stream_; }

    // Opens the path with a runtime mode; the file is open on success and
    // none on failure (a null path fails).
    bool open(const char* path, const char* mode) noexcept;

    // Reopens the open stream on the path: the old file is closed either way;
    // open on success, none on failure. Without an open stream it is open().
    bool reopen(const char* path, const char* mode) noexcept;

    // fclose's result: 0 when closed, EOF when the close failed. The file is
    // closed afterwards either way; without an open stream nothing is closed
    // and the result is EOF.
    int close() noexcept;

    // Closes every stream the library opened; the current file, if open,
    // becomes closed. The runtime's count, or EOF.
    int close_all() noexcept;

private:
    std::FILE* stream_ = nullptr;  // null unless open
};

// The current file of the process.
extern CurrentFile current_file;

}  // namespace cvx::files
