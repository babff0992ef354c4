#include "database/result_set.h"

#include <cstring>

namespace cvx::database {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

// ---- column names -------------------------------------------------------------

ColumnNames::ColumnNames(MYSQL_RES* set) {
    const unsigned count = client().num_fields(set);
    for (unsigned i = 0; i < count; ++i) {
        const MYSQL_FIELD* field = client().fetch_field_direct(set, i);
        name_starts_.push_back(names_.size());
        for (const char* c = field && field->name ? field->name : ""; *c; ++c) names_.push_back(lower(*c));
        names_.push_back('\0');
        first_letters_.push_back(names_[name_starts_.back()]);
    }
}

std::size_t ColumnNames::find(TextRoom name) const {
    // A hit is the same buffer holding the same bytes, terminator included,
    // as when it was looked up: compared within the buffer's capacity, so
    // it needs no measuring first. Scripts read columns in a steady order,
    // so the search starts at the entry after the last hit.
    for (std::size_t i = 0; i < kRecentNames; ++i) {
        const std::size_t slot = (last_hit_ + 1 + i) % kRecentNames;
        const RecentName& r = recent_[slot];
        if (r.where == name.chars && r.length < name.capacity && std::memcmp(r.text, name.chars, r.length + 1) == 0) {
            last_hit_ = slot;
            return r.column;
        }
    }
    const void* end = std::memchr(name.chars, 0, name.capacity);
    if (!end) return kNoColumn;
    const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(end) - name.chars);
    const std::size_t column = scan(name.chars);
    if (length < sizeof recent_[0].text) {
        last_hit_ = next_recent_;
        RecentName& r = recent_[next_recent_];
        next_recent_ = (next_recent_ + 1) % kRecentNames;
        r.where = name.chars;
        std::memcpy(r.text, name.chars, length + 1);
        r.length = static_cast<std::uint32_t>(length);
        r.column = column;
    }
    return column;
}

// Names are stored zero-terminated, so the requested name is compared in
// the same pass that lower-cases it, without measuring it first.
std::size_t ColumnNames::scan(const char* name) const {
    const char first = lower(name[0]);
    for (std::size_t i = 0; i < first_letters_.size(); ++i) {
        if (first_letters_[i] != first) continue;
        const char* stored = names_.data() + name_starts_[i];
        std::size_t k = 0;
        while (stored[k] != '\0' && stored[k] == lower(name[k])) ++k;
        if (stored[k] == '\0' && name[k] == '\0') return i;
    }
    return kNoColumn;
}

// ---- row index ------------------------------------------------------------------

// Walks the rows once, keeping each row's cells and their lengths, and
// noting whether any cell holds a zero byte: when none does, a cell's text
// is its whole length and reads need not look for one.
RowIndex::RowIndex(MYSQL_RES* set, std::uint64_t rows, std::size_t columns) : columns_(columns) {
    rows_.reserve(static_cast<std::size_t>(rows));
    lengths_.reserve(static_cast<std::size_t>(rows) * columns);
    client().data_seek(set, 0);
    for (std::uint64_t i = 0; i < rows; ++i) {
        const MYSQL_ROW cells = client().fetch_row(set);
        const unsigned long* lengths = cells ? client().fetch_lengths(set) : nullptr;
        if (!lengths) break;
        rows_.push_back(cells);
        for (std::size_t c = 0; c < columns; ++c) {
            lengths_.push_back(static_cast<std::uint32_t>(lengths[c]));
            zero_bytes_ = zero_bytes_ || (cells[c] && std::memchr(cells[c], 0, lengths[c]));
        }
    }
}

std::string_view RowIndex::cell(std::size_t row, std::size_t column) const {
    const char* text = rows_[row][column];
    if (!text) return "NULL";
    const std::size_t length = lengths_[row * columns_ + column];
    const void* zero = zero_bytes_ ? std::memchr(text, 0, length) : nullptr;
    return {text, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text) : length};
}

// ---- result set -----------------------------------------------------------------

void ResultSet::Free::operator()(MYSQL_RES* set) const { client().free_result(set); }

ResultSet::ResultSet(MYSQL_RES* set) : set_(set) {
    if (!set) return;
    row_count_ = client().num_rows(set);
    columns_ = ColumnNames(set);
}

void ResultSet::seek(std::uint64_t row) {
    if (set_) client().data_seek(set_.get(), row);
}

std::optional<std::string_view> ResultSet::cell(std::uint64_t row, TextRoom column) {
    const std::size_t c = columns_.find(column);
    if (!set_ || c == ColumnNames::kNoColumn) return std::nullopt;
    if (!rows_) rows_.emplace(set_.get(), row_count_, columns_.size());
    if (row >= rows_->size()) return std::nullopt;
    return rows_->cell(static_cast<std::size_t>(row), c);
}

}  // namespace cvx::database
