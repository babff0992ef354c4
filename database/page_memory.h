// Memory of a stored result in mappings of their own, taken from and given
// back to the operating system directly. The C library's allocator would
// serve large pieces from its heap once it has seen a large mapping freed,
// and could then hand a large stretch of heap back in one free: a stall of
// many milliseconds at a moment nobody chose. A mapping given back costs
// what its own pages cost, so a large result is released a piece at a time.
// The few small mappings every result begins with are kept for the next
// one, so a game that runs many small statements maps nothing at all.
#pragma once

#include <cstddef>
#include <vector>

#include "database/work_slice.h"

namespace cvx::database {

// One mapping: `size` bytes at `base` (zero-filled when fresh; a kept one
// still holds what its last result wrote).
struct PageBlock {
    char* base = nullptr;
    std::size_t size = 0;
};

// A mapping of at least `size` bytes (rounded up to whole pages); raises
// std::bad_alloc when the system has none.
PageBlock map_pages(std::size_t size);
void unmap_pages(PageBlock block) noexcept;

// The session's memory for results: mappings waiting to be given back, a
// few at a time (the mappings of a result that was replaced are moved here
// whole, which costs nothing, and released over the calls that follow),
// and a few small ones kept for the next result instead.
class ReleaseQueue {
public:
    // What is kept: the first row page and the first block of a result
    // (page_memory's users begin every result with one of each).
    static constexpr std::size_t kKeptBlocks = 2;
    static constexpr std::size_t kLargestKept = 64 * 1024;

    ReleaseQueue() = default;
    ~ReleaseQueue() {
        release_all();
        release_kept();
    }
    ReleaseQueue(const ReleaseQueue&) = delete;
    ReleaseQueue& operator=(const ReleaseQueue&) = delete;

    // A mapping of at least `size` bytes: the smallest kept one that is
    // large enough, else a fresh one (map_pages).
    PageBlock map(std::size_t size);
    // Keeps the small mappings among `blocks` while there is room for
    // them; the others wait to be given back.
    void take(std::vector<PageBlock>&& blocks) noexcept;
    bool empty() const { return blocks_.empty(); }
    // Gives back waiting mappings until `slice` is spent (at least one).
    void release_some(const WorkSlice& slice) noexcept;
    // Gives back every waiting mapping (the kept ones stay).
    void release_all() noexcept;
    void release_kept() noexcept;
    // Forgets every mapping without giving it back (the process is exiting).
    void abandon() noexcept {
        blocks_.clear();
        kept_count_ = 0;
    }

private:
    std::vector<PageBlock> blocks_;
    PageBlock kept_[kKeptBlocks];
    std::size_t kept_count_ = 0;
};

}  // namespace cvx::database
