// The session's link to the server: the client handle its calls run on,
// what the last accepted connection was made with, and bringing the link
// back when the server has closed it or an earlier call lost it.
//
// Before a call goes out on the link, prepare() looks, without waiting and
// without a round trip, whether the server has already closed it (its close
// or its last error packet is then waiting on the socket). A lost link is
// connected again with the last accepted connection's routine and
// arguments, the option file read again, the database selected when it was
// lost and the script's character set; waiting, or through the stages of a
// polled attempt. Nothing that was sent is ever sent again: that is the
// caller's rule, since only it knows what went out.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "database/client_handle.h"
#include "database/connection_attempt.h"
#include "database/outcome.h"

namespace cvx::database {

class SessionLink {
public:
    SessionLink();
    SessionLink(const SessionLink&) = delete;
    SessionLink& operator=(const SessionLink&) = delete;

    // The handle, made first when there is none (unconnected then).
    MYSQL* handle();
    // The handle, or null when none was made: for calls that only read it.
    MYSQL* existing() const { return connection_.get(); }
    ClientHandle& connection() { return connection_; }
    // A handle was ever made: the client library set itself up.
    bool client_started() const { return client_started_; }

    // ---- making links --------------------------------------------------------
    // A fresh handle with the connection options set (option file, handshake
    // bound, statement timeouts, character set); what the option file says
    // of bringing a lost link back goes into `target`.
    ClientHandle prepared_handle(ConnectTarget& target);
    ConnectTarget target_of(Routine routine, const char* database, const char* host, const char* user,
                            const char* password) const;
    // The accepted link replaces the session's (the old one closed once) and
    // is the one brought back when it is lost.
    void adopt(ClientHandle link, const ConnectTarget& target);
    // The host of the last link established (none before any).
    const std::optional<std::string>& last_host() const { return last_host_; }
    // The script closed the link: nothing brings it back.
    void close() noexcept;
    // Gives everything up without a client call (the process is exiting).
    void abandon() noexcept;

    // The script's character set, for every later link (empty: none chosen).
    const std::string& character_set() const { return character_set_; }
    void keep_character_set(std::string name) { character_set_ = std::move(name); }

    // ---- a lost link -----------------------------------------------------------
    enum class Readiness {
        ready,    // the call may go out
        busy,     // a polled attempt to bring the link back is going on
        refused,  // the call is refused without reaching the server: refusal()
    };
    // Before a call goes out on the link: a link found lost is brought back
    // first (with `wait`, waiting; otherwise a polled attempt advanced by
    // each call). Within a second of a failed attempt the call is refused at
    // once with that attempt's error; after a link lost while a transaction
    // was open, with an error of the library's own, unless `forgiving` (the
    // script asks for the link itself: ping).
    Readiness prepare(bool wait, bool forgiving = false);
    const Report& refusal() const { return refusal_; }
    // After a call on the link finished with `error_number`: the errors of a
    // link that is gone mark it lost.
    void finished(unsigned error_number) {
        if (state_ == State::up && link_lost(error_number)) note_lost();
    }
    // Known to be lost (and not back yet).
    bool lost() const { return state_ == State::lost || state_ == State::lost_in_transaction; }
    // A lost link is brought back at all (the option file did not say
    // reconnect=0, and the client library can tell).
    bool recovers() const { return state_ != State::kept && state_ != State::closed; }
    // What the session reports when a link lost inside a transaction refuses.
    static const char* transaction_lost_text();

private:
    enum class State {
        closed,               // no link, or the script closed it
        kept,                 // up; lost stays lost (reconnect=0, or the client cannot tell)
        up,                   // up as far as anyone knows
        lost,                 // comes back before the next call
        lost_in_transaction,  // refuses until the script connects or pings
    };
    using Clock = std::chrono::steady_clock;

    bool closed_by_server();
    void note_lost();
    Readiness bring_back(bool wait);
    Readiness settle(ClientHandle& link, bool accepted);
    // The recovered link replaces the lost one, the queue and the state kept.
    void replace(ClientHandle link);

    ClientHandle connection_;
    bool client_started_ = false;
    std::optional<std::string> last_host_;
    std::string character_set_;
    State state_ = State::closed;
    ConnectTarget target_;  // of the last accepted link, database as selected when lost
    std::optional<ConnectionAttempt> attempt_;  // bringing it back, polled
    std::optional<Clock::time_point> retry_at_;  // after a failed attempt
    Report failure_;                             // that attempt's error
    Report refusal_;
};

}  // namespace cvx::database
