// The rows of a result set in storage of the session's own: every cell's
// bytes, copied from the client row by row as they arrive, with the
// offsets that find any cell in a few array lookups. All of it lives in
// mappings of its own (page_memory.h), so the rows of a result that is
// replaced are handed to a release queue in one step and given back to the
// system a piece at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "database/page_memory.h"

namespace cvx::database {

class StoredRows {
public:
    StoredRows() = default;
    // Rows of `columns` cells in mappings from `memory`.
    StoredRows(std::size_t columns, ReleaseQueue& memory)
        : memory_(&memory), columns_(columns), head_((columns + 1) * sizeof(std::uint32_t)) {}
    ~StoredRows() { clear(); }
    StoredRows(StoredRows&& other) noexcept;
    StoredRows& operator=(StoredRows&& other) noexcept;
    StoredRows(const StoredRows&) = delete;
    StoredRows& operator=(const StoredRows&) = delete;

    std::uint64_t size() const { return rows_; }

    // Adds a row: one text per column (null: SQL NULL) and its length.
    // Raises std::bad_alloc when no memory is left for it.
    void append(const char* const* cells, const unsigned long* lengths);

    // The text of a cell up to its first zero byte ("NULL" for SQL NULL),
    // which is followed by that zero byte; `row` and `column` must be in
    // range.
    [[gnu::always_inline]] std::string_view cell(std::uint64_t row, std::size_t column) const {
        const char* record = row_pages_[static_cast<std::size_t>(row >> kPageShift)][row & kPageMask];
        const std::uint32_t* bounds = reinterpret_cast<const std::uint32_t*>(record);
        const std::uint32_t start = bounds[column], end = bounds[column + 1];
        if (start == end) return {kNullText, 4};
        const char* text = record + start;
        return std::string_view(text, end - start - 1);
    }

    // SQL NULL reads as the text of this one object, so a reader can tell
    // it from a cell that holds the text NULL.
    static constexpr char kNullText[] = "NULL";
    static bool is_null(std::string_view cell) { return cell.data() == kNullText; }

    // Hands every mapping to `queue`, leaving no rows.
    void retire_into(ReleaseQueue& queue);
    // Forgets the mappings without giving them back (the process is exiting).
    void abandon() noexcept;

private:
    // A row's record: the bounds of its cells (columns + 1 offsets from the
    // record's first byte: where each cell starts, then where the last one
    // ends), then the cells' texts, each up to its first zero byte and
    // followed by one. SQL NULL takes no bytes at all, so it is the one cell
    // whose bounds are equal (an empty text still has its terminator).
    static constexpr std::size_t kLargestRow = 0x7fffffff;
    // Row records are found through pages of 8192 addresses each, so the
    // table never moves while it grows.
    static constexpr unsigned kPageShift = 13;
    static constexpr std::uint64_t kPageMask = (std::uint64_t{1} << kPageShift) - 1;
    static constexpr std::size_t kFirstBlock = 64 * 1024;
    static constexpr std::size_t kLargestBlock = 256 * 1024;

    char* room_for(std::size_t bytes);
    PageBlock new_block(std::size_t size);
    void clear() noexcept;

    ReleaseQueue* memory_ = nullptr;       // where mappings come from
    std::vector<PageBlock> blocks_;        // every mapping: records and row pages
    std::vector<const char**> row_pages_;  // each kPageMask + 1 record addresses
    char* free_ = nullptr;                 // unused bytes of the newest block
    std::size_t left_ = 0;
    std::size_t next_block_ = kFirstBlock;
    std::uint64_t rows_ = 0;
    std::size_t columns_ = 0;
    std::size_t head_ = sizeof(std::uint32_t);  // the bounds' bytes
};

}  // namespace cvx::database
