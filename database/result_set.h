// A stored result set as a value: the client's result, its lower-cased
// column names and, once a cell is read, the index of its rows. A result set
// is made from the client's result and replaced by assignment, which frees
// the old set and everything built from it in one step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/client_api.h"
#include "host/script_string.h"

namespace cvx::database {

// The names of a result set's columns, lower-cased once, found by a name as
// a script writes it.
class ColumnNames {
public:
    static constexpr std::size_t kNoColumn = static_cast<std::size_t>(-1);

    ColumnNames() = default;
    explicit ColumnNames(MYSQL_RES* set);

    std::size_t size() const { return first_letters_.size(); }

    // The first column whose lower-cased name equals `name` with A-Z
    // lower-cased; kNoColumn when none does, or when the name has no
    // terminator within its buffer.
    std::size_t find(TextRoom name) const;

private:
    std::size_t scan(const char* name) const;

    std::string names_;                     // lower-cased names, each zero-terminated
    std::vector<std::size_t> name_starts_;  // where each name starts in names_
    std::string first_letters_;             // each name's first byte, for a quick scan

    // Names looked up lately, as the script wrote them: a script reads the
    // same few columns through the same strings again and again, and a hit
    // costs one short comparison instead of a scan of every column. A name
    // that matches no column is remembered too (as kNoColumn).
    struct RecentName {
        const char* where = nullptr;  // the script's buffer
        char text[24] = {};           // its bytes at the time, terminator included
        std::uint32_t length = 0;     // of the text, terminator excluded
        std::size_t column = 0;
    };
    static constexpr std::size_t kRecentNames = 8;
    mutable RecentName recent_[kRecentNames];
    mutable std::size_t next_recent_ = 0;
    mutable std::size_t last_hit_ = kRecentNames - 1;
};

// Every row's cells (they stay in place while the set is held) and every
// cell's length, row after row, so reading any cell is two array lookups
// wherever its row stands.
class RowIndex {
public:
    RowIndex() = default;
    RowIndex(MYSQL_RES* set, std::uint64_t rows, std::size_t columns);

    std::size_t size() const { return rows_.size(); }

    // The text of one cell up to its first zero byte ("NULL" for SQL NULL).
    std::string_view cell(std::size_t row, std::size_t column) const;

private:
    std::vector<MYSQL_ROW> rows_;
    std::vector<std::uint32_t> lengths_;
    std::size_t columns_ = 0;
    bool zero_bytes_ = false;  // some cell holds a zero byte
};

class ResultSet {
public:
    ResultSet() = default;
    // Takes the client's result (null: no result set).
    explicit ResultSet(MYSQL_RES* set);

    bool holds() const { return set_ != nullptr; }
    std::uint64_t row_count() const { return row_count_; }
    unsigned column_count() const { return static_cast<unsigned>(columns_.size()); }

    // Positions the set's row cursor (past the end: no current row). Reading
    // cells does not use the cursor.
    void seek(std::uint64_t row);

    // The text of the cell in `row` of the column named `column` (found
    // ignoring the case of A-Z, the leftmost of equal names); nothing when
    // there is no result set, no such column or no such row. The rows are
    // indexed on the first read.
    std::optional<std::string_view> cell(std::uint64_t row, TextRoom column);

    // Gives up the client's result without freeing it: for a process that
    // is exiting, where the client library may already be gone.
    void abandon() { (void)set_.release(); }

private:
    struct Free {
        void operator()(MYSQL_RES* set) const;
    };
    std::unique_ptr<MYSQL_RES, Free> set_;
    std::uint64_t row_count_ = 0;
    ColumnNames columns_;
    std::optional<RowIndex> rows_;
};

}  // namespace cvx::database
