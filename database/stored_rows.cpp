#include "database/stored_rows.h"

#include <bit>
#include <cstring>
#include <new>
#include <utility>

#include "host/short_bytes.h"

namespace cvx::database {
namespace {

// The zero bytes of `word`, each as its high bit. Exact up to the first
// zero byte, which is all that is asked: a borrow may mark a byte after it.
template <typename Word>
Word zero_bytes(Word word) {
    constexpr Word ones = static_cast<Word>(~Word{0}) / 0xff;
    return static_cast<Word>((word - ones) & ~word & (ones << 7));
}

// n bytes (sizeof(Word) <= n <= 2 * sizeof(Word)) moved as two words that
// overlap, as move_bytes moves them; how many come before the first zero
// byte.
template <typename Word>
std::size_t copy_ends_up_to_zero(char* to, const char* from, std::size_t n) {
    const auto [first, last] = short_bytes::move_ends<Word>(to, from, n);
    if (const Word z = zero_bytes(first)) return static_cast<std::size_t>(std::countr_zero(z)) / 8;
    if (const Word z = zero_bytes(last)) return n - sizeof(Word) + static_cast<std::size_t>(std::countr_zero(z)) / 8;
    return n;
}

// Copies a cell's n bytes to `to` (room for n bytes) and answers the length
// of its text, which ends at the first zero byte. Most cells are short: up
// to 16 bytes they take a few word moves instead of two C library calls.
std::size_t copy_cell_text(char* to, const char* from, std::size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        if (n >= 8 && n <= 16) return copy_ends_up_to_zero<std::uint64_t>(to, from, n);
        if (n >= 4 && n < 8) return copy_ends_up_to_zero<std::uint32_t>(to, from, n);
        if (n < 4) {
            std::size_t k = 0;
            for (; k < n && from[k] != '\0'; ++k) to[k] = from[k];
            return k;
        }
    }
    const void* zero = std::memchr(from, 0, n);
    const std::size_t k = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - from) : n;
    std::memcpy(to, from, k);
    return k;
}

}  // namespace

StoredRows::StoredRows(StoredRows&& other) noexcept { *this = std::move(other); }

StoredRows& StoredRows::operator=(StoredRows&& other) noexcept {
    if (this != &other) {
        clear();
        memory_ = other.memory_;
        blocks_ = std::move(other.blocks_);
        row_pages_ = std::move(other.row_pages_);
        free_ = std::exchange(other.free_, nullptr);
        left_ = std::exchange(other.left_, 0);
        next_block_ = std::exchange(other.next_block_, kFirstBlock);
        rows_ = std::exchange(other.rows_, 0);
        columns_ = other.columns_;
        head_ = other.head_;
        other.blocks_.clear();
        other.row_pages_.clear();
    }
    return *this;
}

// Blocks grow from 64 KiB to 256 KiB, so a small result needs one small
// mapping and a large one a mapping per quarter megabyte, which is given
// back well within a poll's share (a mapping of 1 MiB once took 0.3 ms);
// a record larger than that gets a block of its own size.
char* StoredRows::room_for(std::size_t bytes) {
    if (bytes > left_) {
        const PageBlock block = new_block(bytes > next_block_ ? bytes : next_block_);
        if (next_block_ < kLargestBlock) next_block_ *= 2;
        free_ = block.base;
        left_ = block.size;
    }
    char* const at = free_;
    free_ += bytes;
    left_ -= bytes;
    return at;
}

// A mapping kept with the others (given back at once when it cannot be).
// The first row page and the first block are what the session's memory
// keeps from one result for the next, so a small result maps nothing.
PageBlock StoredRows::new_block(std::size_t size) {
    static_assert((kPageMask + 1) * sizeof(const char*) <= ReleaseQueue::kLargestKept);
    static_assert(kFirstBlock <= ReleaseQueue::kLargestKept);
    const PageBlock block = memory_ ? memory_->map(size) : map_pages(size);
    try {
        blocks_.push_back(block);
    } catch (...) {
        unmap_pages(block);
        throw;
    }
    return block;
}

void StoredRows::append(const char* const* cells, const unsigned long* lengths) {
    std::size_t text_bytes = 0;
    for (std::size_t c = 0; c < columns_; ++c) {
        if (cells[c]) text_bytes += lengths[c] + 1;
    }
    if (text_bytes > kLargestRow) throw std::bad_alloc();  // no row of a result is that large
    // The row's page, made when it is the first row of one. (Counted from
    // the pages there are, so a row refused for want of memory after its
    // page was made leaves no page out of step with the rows.)
    if ((rows_ >> kPageShift) == row_pages_.size()) {
        row_pages_.push_back(reinterpret_cast<const char**>(new_block((kPageMask + 1) * sizeof(const char*)).base));
    }
    // Records start on a four-byte boundary, for their bounds.
    char* const record = room_for((head_ + text_bytes + 3) & ~std::size_t{3});
    std::uint32_t* const bounds = reinterpret_cast<std::uint32_t*>(record);
    char* text = record + head_;
    std::uint32_t end = static_cast<std::uint32_t>(head_);
    bounds[0] = end;
    for (std::size_t c = 0; c < columns_; ++c) {
        if (cells[c]) {
            // Only the text up to a zero byte is ever read, so only that is kept.
            const std::size_t n = copy_cell_text(text, cells[c], lengths[c]);
            text[n] = '\0';
            text += n + 1;
            end += static_cast<std::uint32_t>(n + 1);
        }
        bounds[c + 1] = end;
    }
    row_pages_[static_cast<std::size_t>(rows_ >> kPageShift)][rows_ & kPageMask] = record;
    ++rows_;
}

void StoredRows::retire_into(ReleaseQueue& queue) {
    queue.take(std::move(blocks_));
    abandon();
}

void StoredRows::abandon() noexcept {
    blocks_.clear();
    row_pages_.clear();
    free_ = nullptr;
    left_ = 0;
    next_block_ = kFirstBlock;
    rows_ = 0;
}

void StoredRows::clear() noexcept {
    for (const PageBlock& block : blocks_) unmap_pages(block);
    abandon();
}

}  // namespace cvx::database
