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
#include "host/script_string.h"
#include "host/short_bytes.h"

namespace cvx::database {

// What a copy of a cell into a script's buffer did.
enum class CellCopy {
    none,      // no such cell (no result set, column or row), or no buffer
    copied,
    too_long,  // the text does not fit the buffer: nothing written
};

// The names of a result set's columns, lower-cased once, found by a name as
// a script writes it.
class ColumnNames {
public:
    static constexpr std::size_t kNoColumn = 0xffffffff;

    ColumnNames() = default;
    explicit ColumnNames(MYSQL_RES* set);

    std::size_t size() const { return first_letters_.size(); }
    // Column `index`'s name as the server gave it (not lower-cased).
    std::string_view given(std::size_t index) const { return names_.data() + given_at_ + name_starts_[index]; }

    // The first column whose lower-cased name equals the text at `name`
    // with A-Z lower-cased; kNoColumn when none does, or when the name has
    // no terminator within its `capacity` bytes.
    std::size_t find(const char* name, std::size_t capacity) const {
        const std::uint32_t* recent = find_recent(name, capacity);
        return recent ? *recent : find_elsewhere(name, capacity);
    }

    // find() for a name looked up just before, or just before the one
    // looked up last, as scripts read the columns of a row in a steady
    // order or one column down the rows: its column, or null for any other
    // name.
    [[gnu::always_inline]] const std::uint32_t* find_recent(const char* name, std::size_t capacity) const {
        const RecentName* r = &recent_[(last_hit_ + 1) % kRecentNames];
        if (!r->holds_short(name, capacity)) {
            r = &recent_[last_hit_];
            if (!r->holds_short(name, capacity)) return nullptr;
        }
        last_hit_ = static_cast<std::size_t>(r - recent_);
        return &r->column;
    }

private:
    std::size_t find_elsewhere(const char* name, std::size_t capacity) const;
    std::size_t scan(const char* name) const;

    std::string names_;                     // lower-cased names, each zero-terminated, then the names as given
    std::vector<std::size_t> name_starts_;  // where each name starts in names_
    std::string first_letters_;             // each name's first byte, for a quick scan
    std::size_t given_at_ = 0;              // where the names as given start in names_

    // Names looked up lately, as the script wrote them: a script reads the
    // same few columns through the same strings again and again, and a hit
    // costs one short comparison instead of a scan of every column. A name
    // that matches no column is remembered too (as kNoColumn). A hit is a
    // text of the same bytes, terminator included: compared within the
    // buffer's capacity, so it needs no measuring first.
    struct RecentName {
        std::uint32_t bytes = 0;  // of the text, terminator included (0: none remembered here)
        std::uint32_t column = 0;
        char text[56] = {};

        bool holds(const char* name, std::size_t capacity) const;
        // The same for a text of at most 16 bytes (false for a longer one).
        [[gnu::always_inline]] bool holds_short(const char* name, std::size_t capacity) const {
            return bytes - 1 < 16 && bytes <= capacity && same_short_bytes(text, name, bytes);
        }
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
    // the name is read within `capacity` bytes), followed by a zero byte;
    // nothing when there is no result set, no such column or no such row.
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

    // That cell's text and its terminator copied into the buffer of the
    // script string `to` when they fit its capacity (nothing written
    // otherwise). Most reads name a column read just before; the others
    // take a call of their own, so this path needs no call and few
    // registers.
    [[gnu::always_inline]] CellCopy copy_cell(std::uint64_t row, const char* name, std::size_t capacity,
                                              const ScriptString* to) {
        const std::uint32_t* recent = columns_.find_recent(name, capacity);
        if (!recent) return copy_named_cell(row, name, capacity, to);
        return copy_column_cell(row, *recent, to);
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
    CellCopy copy_named_cell(std::uint64_t row, const char* name, std::size_t capacity, const ScriptString* to);
    [[gnu::always_inline]] CellCopy copy_column_cell(std::uint64_t row, std::size_t column,
                                                     const ScriptString* to) const {
        if (column == ColumnNames::kNoColumn || row >= rows_.size()) return CellCopy::none;
        const Destination room = destination_arg(to);
        if (!room.chars) return CellCopy::none;
        const std::string_view text = rows_.cell(row, column);
        return put_text(room, text.data(), text.size()) ? CellCopy::copied : CellCopy::too_long;
    }

    ColumnNames columns_;
    StoredRows rows_;
};

}  // namespace cvx::database
