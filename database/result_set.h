// A stored result set as a value: its lower-cased column names and its
// rows, copied out of the client as they arrive. Nothing here knows script
// values; the exports convert.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/client_api.h"
#include "database/stored_rows.h"

namespace cvx::database {

// The names of a result set's columns, lower-cased once, found by a name as
// a script writes it.
class ColumnNames {
public:
    static constexpr std::size_t kNoColumn = static_cast<std::size_t>(-1);

    ColumnNames() = default;
    explicit ColumnNames(MYSQL_RES* set);

    std::size_t size() const { return first_letters_.size(); }
    // Column `index`'s name as the server gave it (not lower-cased).
    std::string_view given(std::size_t index) const { return names_.data() + given_at_ + name_starts_[index]; }

    // The first column whose lower-cased name equals the text at `name`
    // with A-Z lower-cased; kNoColumn when none does, or when the name has
    // no terminator within its `capacity` bytes.
    std::size_t find(const char* name, std::size_t capacity) const;

private:
    std::size_t scan(const char* name) const;

    std::string names_;                     // lower-cased names, each zero-terminated, then the names as given
    std::vector<std::size_t> name_starts_;  // where each name starts in names_
    std::string first_letters_;             // each name's first byte, for a quick scan
    std::size_t given_at_ = 0;              // where the names as given start in names_

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

// A result set as the session holds it: the column names and the rows, in
// storage of the session's own. Built while the rows arrive (Builder), so
// it is whole and indexed the moment the statement's outcome takes effect.
class ResultSet {
public:
    ResultSet() = default;

    std::uint64_t row_count() const { return rows_.size(); }
    unsigned column_count() const { return static_cast<unsigned>(columns_.size()); }

    // The text of the cell in `row` of the column named by the text at
    // `name` (found ignoring the case of A-Z, the leftmost of equal names;
    // the name is read within `capacity` bytes); nothing when there is no
    // result set, no such column or no such row.
    std::optional<std::string_view> cell(std::uint64_t row, const char* name, std::size_t capacity) {
        const std::size_t c = columns_.find(name, capacity);
        if (c == ColumnNames::kNoColumn || row >= rows_.size()) return std::nullopt;
        return rows_.cell(row, c);
    }

    // The name of column `index` (from 0) as the server gave it; nothing
    // when there is no such column or no result set.
    std::optional<std::string_view> column_name(std::uint64_t index) const {
        if (index >= columns_.size()) return std::nullopt;
        return columns_.given(static_cast<std::size_t>(index));
    }

    // Hands the rows' memory to `queue` (to be given back a piece at a
    // time), leaving no result set.
    void retire_into(ReleaseQueue& queue);
    // Forgets the rows' memory without giving it back: for a process that is
    // exiting.
    void abandon() noexcept { rows_.abandon(); }

    // Takes a client result set's rows one at a time as they arrive, into
    // mappings from `memory`.
    class Builder {
    public:
        Builder(MYSQL_RES* set, ReleaseQueue& memory);
        void add(MYSQL_ROW row);
        ResultSet finish();
        // Hands the rows read so far to `queue` (they are not kept).
        void retire_into(ReleaseQueue& queue) { rows_.retire_into(queue); }
        void abandon() noexcept { rows_.abandon(); }

    private:
        ColumnNames columns_;
        StoredRows rows_;
        MYSQL_RES* set_;
    };

private:
    ColumnNames columns_;
    StoredRows rows_;
};

}  // namespace cvx::database
