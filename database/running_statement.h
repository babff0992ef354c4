// A statement's answer read from the link: waited for as a whole, or its
// result set's rows read a slice at a time, copied into the session's own
// storage as they arrive.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "database/outcome.h"
#include "database/socket_wait.h"
#include "database/work_slice.h"

namespace cvx::database {

// The outcome once a statement was answered (`answered`: the server
// accepted it) and its rows, if any, read: accepted when no error broke
// the rows off on the way.
StatementOutcome outcome_of(MYSQL* mysql, bool answered, std::optional<ResultSet::Builder>& rows,
                            unsigned stale_error = 0);

// Runs `text` on `mysql`, waiting, with the result read into the same
// storage (from `memory`): the outcome a statement read without waiting
// gives.
StatementOutcome run_statement(MYSQL* mysql, std::string_view text, ReleaseQueue& memory);

// The rows of a result set whose statement was answered, read without
// waiting for the network unless told to. The rows are stored in memory
// from `retired`, and go back to it when they are not kept.
class RowReader {
public:
    // `stale_error`: the error the client still shows from an earlier
    // statement when the answer was read (see outcome_of).
    RowReader(MYSQL* mysql, MYSQL_RES* set, ReleaseQueue& retired, unsigned stale_error = 0);
    ~RowReader();
    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;

    // Reads the rows that are ready until `slice` is spent; with `wait`,
    // sleeps on the socket until all have arrived. True once the last row
    // has arrived or the rows broke off.
    bool advance(const WorkSlice& slice, bool wait);
    // The outcome, once finished (once).
    StatementOutcome outcome() { return std::move(outcome_); }
    // Forgets the client's result set and the rows without a client call
    // or giving memory back: the process is exiting.
    void abandon() noexcept;

private:
    void end_rows();

    MYSQL* mysql_;
    MYSQL_RES* set_;
    ReleaseQueue& retired_;
    unsigned stale_error_;
    ClientWait wait_;
    std::optional<ResultSet::Builder> rows_;
    StatementOutcome outcome_;
};

}  // namespace cvx::database
