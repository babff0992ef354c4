#include "database/page_memory.h"

#include <new>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace cvx::database {
namespace {

std::size_t page_size() {
#if defined(_WIN32)
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwAllocationGranularity;
#else
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
}

}  // namespace

PageBlock map_pages(std::size_t size) {
    static const std::size_t page = page_size();
    if (size > static_cast<std::size_t>(-1) - page) throw std::bad_alloc();
    size = (size + page - 1) / page * page;
#if defined(_WIN32)
    void* const base = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!base) throw std::bad_alloc();
#else
    void* const base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) throw std::bad_alloc();
#endif
    return PageBlock{static_cast<char*>(base), size};
}

void unmap_pages(PageBlock block) noexcept {
    if (!block.base) return;
#if defined(_WIN32)
    VirtualFree(block.base, 0, MEM_RELEASE);
#else
    munmap(block.base, block.size);
#endif
}

PageBlock ReleaseQueue::map(std::size_t size) {
    std::size_t best = kept_count_;
    for (std::size_t i = 0; i < kept_count_; ++i) {
        if (kept_[i].size >= size && (best == kept_count_ || kept_[i].size < kept_[best].size)) best = i;
    }
    if (best == kept_count_) return map_pages(size);
    const PageBlock block = kept_[best];
    kept_[best] = kept_[--kept_count_];
    return block;
}

// A result's small mappings come first among its blocks, so the search
// stops early (a kept one leaves an empty entry behind, which costs
// nothing to give back); without memory for the list, the rest are given
// back at once.
void ReleaseQueue::take(std::vector<PageBlock>&& blocks) noexcept {
    for (std::size_t i = 0; i < blocks.size() && kept_count_ < kKeptBlocks; ++i) {
        if (blocks[i].base && blocks[i].size <= kLargestKept) {
            kept_[kept_count_++] = blocks[i];
            blocks[i] = PageBlock{};
        }
    }
    try {
        if (blocks_.empty()) {
            blocks_ = std::move(blocks);
        } else {
            blocks_.insert(blocks_.end(), blocks.begin(), blocks.end());
        }
    } catch (...) {
        for (const PageBlock& block : blocks) unmap_pages(block);
    }
    blocks.clear();
}

void ReleaseQueue::release_some(const WorkSlice& slice) noexcept {
    do {
        if (blocks_.empty()) return;
        unmap_pages(blocks_.back());
        blocks_.pop_back();
    } while (!slice.spent());
}

void ReleaseQueue::release_all() noexcept {
    for (const PageBlock& block : blocks_) unmap_pages(block);
    blocks_.clear();
}

void ReleaseQueue::release_kept() noexcept {
    while (kept_count_ > 0) unmap_pages(kept_[--kept_count_]);
}

}  // namespace cvx::database
