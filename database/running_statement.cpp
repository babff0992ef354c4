#include "database/running_statement.h"

#include <utility>

namespace cvx::database {
namespace {

// Rows read between two looks at the clock: a row costs a fraction of a
// microsecond, the look a few dozen nanoseconds.
constexpr unsigned kRowsPerLook = 8;

// The outcome once the statement was sent and its rows read: accepted when
// the server accepted it and no error broke the rows off on the way.
StatementOutcome outcome_of(MYSQL* mysql, bool sent, std::optional<ResultSet::Builder>& rows) {
    StatementOutcome o;
    o.accepted = sent && client().error_number(mysql) == 0;
    if (o.accepted && rows) o.result = rows->finish();
    // A result set's affected rows are its rows, as a stored result reports them.
    o.affected_rows = o.result ? o.result->row_count() : client().affected_rows(mysql);
    o.insert_id = client().insert_id(mysql);
    o.error_number = client().error_number(mysql);
    o.error = client().error(mysql);
    return o;
}

}  // namespace

StatementOutcome run_statement(MYSQL* mysql, const std::string& text) {
    const bool sent = client().real_query(mysql, text.data(), text.size()) == 0;
    std::optional<ResultSet::Builder> rows;
    MYSQL_RES* set = sent ? client().use_result(mysql) : nullptr;
    if (set) {
        try {
            rows.emplace(set);
            while (MYSQL_ROW row = client().fetch_row(set)) rows->add(row);
        } catch (...) {
            client().free_result(set);
            throw;
        }
    }
    StatementOutcome o = outcome_of(mysql, sent, rows);
    client().free_result(set);
    return o;
}

RunningStatement::RunningStatement(MYSQL* mysql, std::string text, ReleaseQueue& retired)
    : mysql_(mysql), retired_(retired), text_(std::move(text)) {
    wait_.set(mysql_, client().query_start(&query_status_, mysql_, text_.data(), text_.size()));
}

bool RunningStatement::advance(const WorkSlice& slice, bool wait) {
    while (stage_ != Stage::finished) {
        if (stage_ == Stage::rows) {
            read_rows(slice, wait);
            if (stage_ != Stage::finished) return false;
            break;
        }
        if (!wait_.finished()) {
            const int events = wait_.ready(mysql_, wait);
            if (events == 0) return false;
            wait_.set(mysql_, client().query_cont(&query_status_, mysql_, events));
            continue;
        }
        // Sent and answered: a result set is then read row by row (taking
        // it reads nothing from the network).
        set_ = query_status_ == 0 ? client().use_result(mysql_) : nullptr;
        if (!set_) {
            outcome_ = outcome_of(mysql_, query_status_ == 0, rows_);
            stage_ = Stage::finished;
            break;
        }
        rows_.emplace(set_);
        stage_ = Stage::rows;
    }
    return true;
}

// Each row that is already in the client's buffer or the socket is taken
// at once; the slice is checked every few rows.
void RunningStatement::read_rows(const WorkSlice& slice, bool wait) {
    for (unsigned n = 1;; ++n) {
        if (n % kRowsPerLook == 0 && slice.spent()) return;
        MYSQL_ROW row = nullptr;
        int status;
        if (wait_.finished()) {
            status = client().fetch_row_start(&row, set_);
        } else {
            const int events = wait_.ready(mysql_, wait);
            if (events == 0) return;
            status = client().fetch_row_cont(&row, set_, events);
        }
        wait_.set(mysql_, status);
        if (status != 0) continue;
        if (!row) return end_rows();
        rows_->add(row);
    }
}

void RunningStatement::end_rows() {
    outcome_ = outcome_of(mysql_, true, rows_);
    client().free_result(std::exchange(set_, nullptr));
    if (rows_) rows_->retire_into(retired_);  // rows that broke off on the way
    rows_.reset();
    stage_ = Stage::finished;
}

StatementOutcome RunningStatement::outcome() { return std::move(outcome_); }

void RunningStatement::abandon() noexcept {
    set_ = nullptr;
    if (rows_) rows_->abandon();
    rows_.reset();
    if (outcome_.result) outcome_.result->abandon();
}

// A statement given up: a result set that is still arriving is released
// without reading the rest of it from the link (which freeing it would
// otherwise do, waiting), since the link is closed right after; the rows
// read so far go to the release queue.
RunningStatement::~RunningStatement() {
    if (set_) {
        set_->handle = nullptr;
        client().free_result(set_);
    }
    if (rows_) rows_->retire_into(retired_);
}

}  // namespace cvx::database
