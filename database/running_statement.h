// A statement run while the script goes on: sent, then its result set read
// from the link row by row into the session's own storage, each call doing
// the work that is ready within its slice of time and never waiting for
// the network unless told to. The session owns it and takes its outcome
// when it has finished.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "database/result_set.h"
#include "database/socket_wait.h"
#include "database/work_slice.h"

namespace cvx::database {

// What a finished statement left: whether the server accepted it and all
// its rows arrived, its result set (none for a statement without one), and
// its affected rows, insert id and error as the client reported them right
// then (the next statement on the link changes what the client reports).
struct StatementOutcome {
    bool accepted = false;
    std::optional<ResultSet> result;
    std::uint64_t affected_rows = 0;
    std::uint64_t insert_id = 0;
    unsigned error_number = 0;
    std::string error;
};

class RunningStatement {
public:
    // Starts `text` on `mysql`, a link that allows non-blocking calls. The
    // memory of rows that are not kept goes to `retired`.
    RunningStatement(MYSQL* mysql, std::string text, ReleaseQueue& retired);
    ~RunningStatement();
    RunningStatement(const RunningStatement&) = delete;
    RunningStatement& operator=(const RunningStatement&) = delete;

    // Continues with the work that is ready until `slice` is spent; with
    // `wait`, sleeps on the socket until the statement has finished. True
    // once it has finished.
    bool advance(const WorkSlice& slice, bool wait);

    // The outcome of a finished statement (once).
    StatementOutcome outcome();

    // Forgets the client's result set and the rows without a client call
    // or giving memory back: the process is exiting.
    void abandon() noexcept;

private:
    enum class Stage { query, rows, finished };

    void read_rows(const WorkSlice& slice, bool wait);
    void end_rows();

    MYSQL* mysql_;
    ReleaseQueue& retired_;
    std::string text_;  // the client sends from it while the query stage lasts
    Stage stage_ = Stage::query;
    ClientWait wait_;
    int query_status_ = 0;
    MYSQL_RES* set_ = nullptr;
    std::optional<ResultSet::Builder> rows_;
    StatementOutcome outcome_;
};

// Runs `text` on `mysql`, waiting, with the result read into the same
// storage: the outcome a RunningStatement gives for the same statement.
StatementOutcome run_statement(MYSQL* mysql, const std::string& text);

}  // namespace cvx::database
