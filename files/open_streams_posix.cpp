// The library's own list of the streams it opened. The list grows by one
// before each open, so remembering a stream that was opened cannot fail.
#include <sys/stat.h>

#include <algorithm>
#include <new>
#include <vector>

#include "files/open_streams.h"

namespace cvx::files {
namespace {

// The three standard streams always count as open.
constexpr int kStandardStreams = 3;

std::vector<std::FILE*>& open_list() {
    static std::vector<std::FILE*> streams;
    return streams;
}

bool make_room() noexcept {
    try {
        open_list().reserve(open_list().size() + 1);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void forget(std::FILE* stream) noexcept {
    auto& streams = open_list();
    const auto it = std::find(streams.begin(), streams.end(), stream);
    if (it != streams.end()) {
        *it = streams.back();
        streams.pop_back();
    }
}

}  // namespace

std::FILE* open_stream(const char* path, const char* mode) noexcept {
    if (!make_room()) return nullptr;
    std::FILE* stream = std::fopen(path, mode);
    if (stream) open_list().push_back(stream);  // within the reserved room
    return stream;
}

std::FILE* reopen_stream(const char* path, const char* mode, std::FILE* stream) noexcept {
    std::FILE* reopened = std::freopen(path, mode, stream);
    if (!reopened) {
        // The stream is closed now, but glibc keeps its memory for a close
        // that never comes; this fclose only releases it.
        forget(stream);
        std::fclose(stream);
    }
    return reopened;
}

int close_stream(std::FILE* stream) noexcept {
    forget(stream);
    return std::fclose(stream);
}

int close_all_streams() noexcept {
    auto& streams = open_list();
    int closed = 0;
    bool failed = false;
    for (std::FILE* stream : streams) {
        failed |= std::fclose(stream) != 0;
        ++closed;
    }
    streams.clear();
    return failed ? EOF : closed;
}

// Standard input is counted but not flushed: dropping its read-ahead would
// lose input that belongs to the host.
int flush_all_streams() noexcept {
    std::fflush(stdout);
    std::fflush(stderr);
    for (std::FILE* stream : open_list()) std::fflush(stream);
    return kStandardStreams + static_cast<int>(open_list().size());
}

int stream_descriptor(std::FILE* stream) noexcept { return fileno(stream); }

// fstat rather than a seek to the end and back: the descriptor may belong to
// anyone in the process, and its position is left alone.
std::int32_t descriptor_length(int descriptor) noexcept {
    struct stat info {};
    if (descriptor < 0 || fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    if (info.st_size > INT32_MAX) return -1;
    return static_cast<std::int32_t>(info.st_size);
}

}  // namespace cvx::files
