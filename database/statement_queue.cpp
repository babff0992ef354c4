#include "database/statement_queue.h"

#include <utility>

namespace cvx::database {
namespace {

// The most statements that may wait in the queue, and bytes of their texts.
constexpr std::size_t kMostQueued = 100'000;
constexpr std::size_t kMostQueuedBytes = 256u << 20;
// The most statements, and bytes of their texts, sent ahead of the answer
// being read. The bytes stay well within what the server's receive buffer
// and the link's send buffer hold, so a send never waits on a server that
// is itself waiting for the script to read a large result (a larger
// statement goes out alone, when nothing is in flight). 128 statements
// keep a link with a 50 ms round trip busy at 2,500 statements a second.
constexpr std::size_t kMostInFlight = 128;
constexpr std::size_t kMostBytesInFlight = 32 * 1024;

}  // namespace

bool StatementQueue::has_room(std::size_t size) const {
    return pending() < kMostQueued && size <= kMostQueuedBytes - waiting_bytes_;
}

void StatementQueue::push(std::string_view text, std::optional<StatementSyntax> bound_for) {
    entries_.push_back(Entry{std::string(text), text.size(), std::nullopt, true, bound_for});
    waiting_bytes_ += text.size();
}

std::optional<StatementOutcome> StatementQueue::advance(const WorkSlice& slice, bool wait) {
    for (;;) {
        if (step_ != Step::idle) {
            // A send that cannot go on does not hold back an outcome that is ready.
            if (!continue_step(slice, wait && !ready_)) break;
            continue;
        }
        if (!slice.spent() && send_next(wait)) continue;
        if (ready_) break;
        if (doomed_) {
            --doomed_;
            ready_ = StatementOutcome::refused(doom_);
            break;
        }
        if (sent_ == 0) break;
        begin_answer();
    }
    return std::exchange(ready_, std::nullopt);
}

void StatementQueue::send_ahead(const WorkSlice& slice) {
    if (step_ == Step::sending && !continue_step(slice, false)) return;
    while (step_ == Step::idle && !slice.spent() && send_next(false)) {
    }
}

// The next waiting statement goes out when the bounds allow it. The one
// sent with nothing in flight asks the link first, which may bring a lost
// link back (busy meanwhile) or refuse it: its outcome is then that refusal,
// in its turn, with nothing sent.
bool StatementQueue::send_next(bool wait) {
    if (doomed_ || sent_ == entries_.size()) return false;
    Entry& next = entries_[sent_];
    // (Nothing goes out behind a statement the link refused or whose send
    // failed: its turn comes first.)
    if (sent_ > 0 && (sent_ >= kMostInFlight || next.size > kMostBytesInFlight - sent_bytes_ ||
                      entries_[sent_ - 1].failure)) {
        return false;
    }
    waiting_bytes_ -= next.size;
    if (sent_ == 0) {
        switch (link_.prepare(wait)) {
            case SessionLink::Readiness::busy:
                waiting_bytes_ += next.size;
                return false;
            case SessionLink::Readiness::refused: return refuse_next(link_.refusal());
            case SessionLink::Readiness::ready: break;
        }
    }
    mysql_ = link_.handle();
    if (next.bound_for && *next.bound_for != syntax_of_link(mysql_)) {
        return refuse_next(Report{kUnknownError,
                                  "The link reads statements in another character set or quoting mode than when this "
                                  "one was started with its parameters (the link came back, or a statement changed "
                                  "them): start it again."});
    }
    link_.connection().allow_nonblocking();  // (a link brought back waiting)
    ++sent_;
    sent_bytes_ += next.size;
    step_ = Step::sending;
    wait_.set(mysql_, client().send_query_start(&send_status_, mysql_, next.text.data(), next.size));
    if (wait_.finished()) sent();
    return true;
}

bool StatementQueue::continue_step(const WorkSlice& slice, bool wait) {
    if (step_ == Step::rows) {
        if (!rows_->advance(slice, wait)) return false;
        StatementOutcome outcome = rows_->outcome();
        rows_.reset();
        step_ = Step::idle;
        complete(std::move(outcome), true);
        return true;
    }
    const int events = wait_.ready(mysql_, wait);
    if (events == 0) return false;
    if (step_ == Step::sending) {
        wait_.set(mysql_, client().send_query_cont(&send_status_, mysql_, events));
        if (wait_.finished()) sent();
    } else {
        wait_.set(mysql_, client().read_result_cont(&answer_status_, mysql_, events));
        if (wait_.finished()) answered();
    }
    return true;
}

// The next statement's outcome, in its turn, is a refusal: nothing goes out.
bool StatementQueue::refuse_next(Report why) {
    Entry& next = entries_[sent_];
    next.failure = std::move(why);
    next.went_out = false;
    next.size = 0;
    ++sent_;
    return true;
}

// A send that failed is the statement's outcome when its turn comes (the
// link learns at once that it may be lost); the text is not needed any more.
void StatementQueue::sent() {
    Entry& entry = entries_[sent_ - 1];
    if (send_status_ != 0) {
        entry.failure = Report::of(mysql_);
        link_.finished(entry.failure->number);
    }
    std::string().swap(entry.text);
    step_ = Step::idle;
}

void StatementQueue::begin_answer() {
    Entry& oldest = entries_.front();
    if (oldest.failure) {
        complete(StatementOutcome::refused(std::move(*oldest.failure)), oldest.went_out);
        return;
    }
    step_ = Step::answering;
    wait_.set(mysql_, client().read_result_start(&answer_status_, mysql_));
    if (wait_.finished()) answered();
}

// Answered: a result set is then read row by row (taking it reads nothing
// from the network).
void StatementQueue::answered() {
    step_ = Step::idle;
    MYSQL_RES* const set = answer_status_ == 0 ? client().use_result(mysql_) : nullptr;
    if (!set) {
        std::optional<ResultSet::Builder> no_rows;
        complete(outcome_of(mysql_, answer_status_ == 0, no_rows), true);
        return;
    }
    rows_.emplace(mysql_, set, retired_, client().error_number(mysql_));
    step_ = Step::rows;
}

// The oldest statement has finished. When its link broke after it went
// out, the others sent are refused with its error in their turn, and so is
// every one waiting: started before this outcome is handed back, they may
// depend on it.
void StatementQueue::complete(StatementOutcome outcome, bool went_out) {
    sent_bytes_ -= entries_.front().size;
    entries_.pop_front();
    --sent_;
    if (!went_out) {
        ready_ = std::move(outcome);
        return;
    }
    link_.finished(outcome.report.number);
    if (link_lost(outcome.report.number) && link_.recovers()) {
        doomed_ += entries_.size();
        doom_ = outcome.report;
        entries_.clear();
        sent_ = sent_bytes_ = waiting_bytes_ = 0;
    }
    ready_ = std::move(outcome);
}

bool StatementQueue::abandon() {
    const bool any = !empty();
    rows_.reset();
    entries_.clear();
    sent_ = sent_bytes_ = waiting_bytes_ = doomed_ = 0;
    ready_.reset();
    step_ = Step::idle;
    wait_ = ClientWait();
    return any;
}

void StatementQueue::abandon_for_exit() noexcept {
    if (rows_) rows_->abandon();
    if (ready_ && ready_->result) ready_->result->abandon();
    rows_.reset();
    ready_.reset();
}

}  // namespace cvx::database
