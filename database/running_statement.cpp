#include "database/running_statement.h"

#include <utility>

namespace cvx::database {
namespace {

// Rows read between two looks at the clock: a row costs a fraction of a
// microsecond, the look a few dozen nanoseconds.
constexpr unsigned kRowsPerLook = 8;

}  // namespace

StatementOutcome outcome_of(MYSQL* mysql, bool answered, std::optional<ResultSet::Builder>& rows,
                            unsigned stale_error) {
    StatementOutcome o;
    o.report = Report::of(mysql);
    // The client clears its error when a statement goes out, not when its
    // answer is read: after statements sent ahead, the error of one answered
    // before this one may still show once this one's rows have all arrived.
    if (o.report.number != 0 && o.report.number == stale_error) o.report = Report{};
    o.accepted = answered && o.report.number == 0;
    if (o.accepted && rows) o.result = rows->finish();
    // A result set's affected rows are its rows, as a stored result reports
    // them; a refused statement's are all ones (what the client reports for
    // it when it runs alone: a statement sent after it must not show).
    o.affected_rows = o.result ? o.result->row_count()
                      : o.accepted ? client().affected_rows(mysql)
                                   : ~std::uint64_t{0};
    o.insert_id = client().insert_id(mysql);
    return o;
}

StatementOutcome run_statement(MYSQL* mysql, std::string_view text, ReleaseQueue& memory) {
    const bool answered = client().real_query(mysql, text.data(), text.size()) == 0;
    std::optional<ResultSet::Builder> rows;
    MYSQL_RES* set = answered ? client().use_result(mysql) : nullptr;
    if (set) {
        try {
            rows.emplace(set, memory);
            while (MYSQL_ROW row = client().fetch_row(set)) rows->add(row);
        } catch (...) {
            client().free_result(set);
            throw;
        }
    }
    StatementOutcome o = outcome_of(mysql, answered, rows);
    client().free_result(set);
    return o;
}

RowReader::RowReader(MYSQL* mysql, MYSQL_RES* set, ReleaseQueue& retired, unsigned stale_error)
    : mysql_(mysql), set_(set), retired_(retired), stale_error_(stale_error) {
    rows_.emplace(set_, retired_);
}

// Each row that is already in the client's buffer or the socket is taken
// at once; the slice is checked every few rows.
bool RowReader::advance(const WorkSlice& slice, bool wait) {
    if (!set_) return true;
    for (unsigned n = 1;; ++n) {
        if (n % kRowsPerLook == 0 && slice.spent()) return false;
        MYSQL_ROW row = nullptr;
        int status;
        if (wait_.finished()) {
            status = client().fetch_row_start(&row, set_);
        } else {
            const int events = wait_.ready(mysql_, wait);
            if (events == 0) return false;
            status = client().fetch_row_cont(&row, set_, events);
        }
        wait_.set(mysql_, status);
        if (status != 0) continue;
        if (!row) {
            end_rows();
            return true;
        }
        rows_->add(row);
    }
}

void RowReader::end_rows() {
    outcome_ = outcome_of(mysql_, true, rows_, stale_error_);
    client().free_result(std::exchange(set_, nullptr));
    if (rows_) rows_->retire_into(retired_);  // rows that broke off on the way
    rows_.reset();
}

void RowReader::abandon() noexcept {
    set_ = nullptr;
    if (rows_) rows_->abandon();
    rows_.reset();
    if (outcome_.result) outcome_.result->abandon();
}

// A result set given up: released without reading the rest of it from the
// link (which freeing it would otherwise do, waiting), since the link is
// closed right after; the rows read so far go to the release queue.
RowReader::~RowReader() {
    if (set_) {
        set_->handle = nullptr;
        client().free_result(set_);
    }
    if (rows_) rows_->retire_into(retired_);
}

}  // namespace cvx::database
