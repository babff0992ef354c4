#include "database/result_set.h"

#include <cstring>
#include <utility>

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
    // The names as given, each as long as its lower-cased form, so at the
    // same offsets from given_at_.
    given_at_ = names_.size();
    for (unsigned i = 0; i < count; ++i) {
        const MYSQL_FIELD* field = client().fetch_field_direct(set, i);
        names_.append(field && field->name ? field->name : "").push_back('\0');
    }
}

bool ColumnNames::RecentName::holds(const char* name, std::size_t capacity) const {
    if (bytes == 0 || bytes > capacity) return false;
    std::size_t at = 0;
    for (; bytes - at > 16; at += 16) {
        if (!same_short_bytes(text + at, name + at, 16)) return false;
    }
    return same_short_bytes(text + at, name + at, bytes - at);
}

// The other names remembered, then every column; the name is remembered
// in place of the oldest.
std::size_t ColumnNames::find_elsewhere(const char* name, std::size_t capacity) const {
    for (std::size_t i = 0; i < kRecentNames; ++i) {
        const std::size_t slot = (last_hit_ + i) % kRecentNames;
        if (recent_[slot].holds(name, capacity)) {
            last_hit_ = slot;
            return recent_[slot].column;
        }
    }
    const void* end = std::memchr(name, 0, capacity);
    if (!end) return kNoColumn;
    const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(end) - name);
    const std::size_t column = scan(name);
    if (length < sizeof recent_[0].text) {
        last_hit_ = next_recent_;
        RecentName& r = recent_[next_recent_];
        next_recent_ = (next_recent_ + 1) % kRecentNames;
        r.bytes = static_cast<std::uint32_t>(length + 1);
        r.column = static_cast<std::uint32_t>(column);
        std::memcpy(r.text, name, length + 1);
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

// ---- result set -----------------------------------------------------------------

[[gnu::noinline]] CellCopy ResultSet::copy_named_cell(std::uint64_t row, const char* name, std::size_t capacity,
                                                     const ScriptString* to) {
    return copy_column_cell(row, columns_.find(name, capacity), to);
}

void ResultSet::retire_into(ReleaseQueue& queue) {
    rows_.retire_into(queue);
    columns_ = ColumnNames();
}

ResultSet::Builder::Builder(MYSQL_RES* set, ReleaseQueue& memory)
    : columns_(set), rows_(columns_.size(), memory), set_(set) {}

void ResultSet::Builder::add(MYSQL_ROW row) { rows_.append(row, client().fetch_lengths(set_)); }

ResultSet ResultSet::Builder::finish() {
    ResultSet result;
    result.columns_ = std::move(columns_);
    result.rows_ = std::move(rows_);
    return result;
}

}  // namespace cvx::database
