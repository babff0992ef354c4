// The statements a script starts without waiting: sent ahead on the
// session's link, up to a bound of statements and bytes in flight, without
// waiting for the answers of the ones before them; the server reads a
// link's commands one after another and answers each in turn, so they run
// exactly as they would one at a time, only the waiting goes. Their
// outcomes are handed back one at a time, in the order they were started,
// each complete (a large result read a slice at a time first).
//
// A statement whose link breaks after it was sent is refused with the
// client's error (it may have run); so is every other statement sent and
// not yet answered, and every one started before that outcome is handed
// back is refused in its turn without being sent: they may depend on it.
// Nothing is ever sent twice.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

#include "database/running_statement.h"
#include "database/session_link.h"
#include "database/statement_parameters.h"

namespace cvx::database {

class StatementQueue {
public:
    StatementQueue(SessionLink& link, ReleaseQueue& retired) : link_(link), retired_(retired) {}
    StatementQueue(const StatementQueue&) = delete;
    StatementQueue& operator=(const StatementQueue&) = delete;

    // Statements started and not yet handed back.
    std::size_t pending() const { return doomed_ + entries_.size() + (ready_ ? 1 : 0); }
    bool empty() const { return pending() == 0; }
    // Room for one more statement of `size` bytes.
    bool has_room(std::size_t size) const;
    // Adds a statement, its text copied; `bound_for`: the syntax a statement
    // with parameters was bound for, which the link must still read it in
    // when it goes out (a link brought back, or a statement that changed the
    // character set or the quoting mode in between, refuses it instead).
    void push(std::string_view text, std::optional<StatementSyntax> bound_for = std::nullopt);

    // Does the work that is ready (sending ahead, reading the oldest
    // statement's answer) until `slice` is spent; with `wait`, sleeps on the
    // socket until the oldest has finished. Its outcome once it has.
    std::optional<StatementOutcome> advance(const WorkSlice& slice, bool wait);
    // Only sends what may go out ahead, within `slice` (a start does that
    // much: an outcome waits for the poll).
    void send_ahead(const WorkSlice& slice);

    // Gives every statement up (the link is closed or replaced right after);
    // true when one was pending. None of them is handed back.
    bool abandon();
    // The same without a client call or giving memory back: the process is
    // exiting.
    void abandon_for_exit() noexcept;

private:
    enum class Step { idle, sending, answering, rows };
    struct Entry {
        std::string text;  // given back once it has been sent
        std::size_t size;  // of the text, counted while it is in flight
        // Its outcome without an answer: a send that failed, or the link's
        // refusal (then nothing went out).
        std::optional<Report> failure;
        bool went_out = true;
        std::optional<StatementSyntax> bound_for;
    };

    bool send_next(bool wait);
    bool refuse_next(Report why);
    bool continue_step(const WorkSlice& slice, bool wait);
    void sent();
    void begin_answer();
    void answered();
    void complete(StatementOutcome outcome, bool went_out);

    SessionLink& link_;
    ReleaseQueue& retired_;
    // The statements not yet handed back, oldest first: the first `sent_`
    // went out (the last of them perhaps still going), the rest wait.
    std::deque<Entry> entries_;
    std::size_t sent_ = 0;
    std::size_t sent_bytes_ = 0;
    std::size_t waiting_bytes_ = 0;
    // Older than every entry: refused in their turn, never sent, with the
    // error of the statement whose link broke.
    std::size_t doomed_ = 0;
    Report doom_;
    std::optional<StatementOutcome> ready_;  // the oldest's, to be handed back

    // The client call in progress on the link, one at a time.
    Step step_ = Step::idle;
    MYSQL* mysql_ = nullptr;
    ClientWait wait_;
    int send_status_ = 0;
    my_bool answer_status_ = 0;
    std::optional<RowReader> rows_;
};

}  // namespace cvx::database
