// Memory of a stored result in mappings of their own, taken from and given
// back to the operating system directly. The C library's allocator would
// serve large pieces from its heap once it has seen a large mapping freed,
// and could then hand a large stretch of heap back in one free: a stall of
// many milliseconds at a moment nobody chose. A mapping given back costs
// what its own pages cost, so a large result is released a piece at a time.
#pragma once

#include <cstddef>
#include <vector>

#include "database/work_slice.h"

namespace cvx::database {

// One mapping: `size` bytes, zero-filled, at `base`.
struct PageBlock {
    char* base = nullptr;
    std::size_t size = 0;
};

// A mapping of at least `size` bytes (rounded up to whole pages); raises
// std::bad_alloc when the system has none.
PageBlock map_pages(std::size_t size);
void unmap_pages(PageBlock block) noexcept;

// Mappings waiting to be given back, a few at a time: the one a result
// replaced is moved here whole (which costs nothing) and released over the
// calls that follow.
class ReleaseQueue {
public:
    ReleaseQueue() = default;
    ~ReleaseQueue() { release_all(); }
    ReleaseQueue(const ReleaseQueue&) = delete;
    ReleaseQueue& operator=(const ReleaseQueue&) = delete;

    void take(std::vector<PageBlock>&& blocks) noexcept;
    bool empty() const { return blocks_.empty(); }
    // Gives back mappings until `slice` is spent (at least one).
    void release_some(const WorkSlice& slice) noexcept;
    void release_all() noexcept;
    // Forgets every mapping without giving it back (the process is exiting).
    void abandon() noexcept { blocks_.clear(); }

private:
    std::vector<PageBlock> blocks_;
};

}  // namespace cvx::database
