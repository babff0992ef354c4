#include "database/session_link.h"

#include <utility>

#include "database/character_set.h"
#include "database/option_file.h"
#include "database/socket_wait.h"

namespace cvx::database {
namespace {

constexpr unsigned kPlainPort = 3306;
// The client library reads its connection options from this file, in the
// current directory, on every connection.
constexpr const char* kOptionFile = "my";
// A handshake the server never answers gives up after this long unless the
// option file names a connect-timeout (the server's own default for a
// client's handshake).
constexpr unsigned kHandshakeSeconds = 10;
// After a failed attempt to bring a link back, the next waits this long:
// a server that stays away costs a game at most one attempt a second.
constexpr std::chrono::seconds kRetryAfter{1};

}  // namespace

// Where the client library is linked in, the handle is made at load; where
// it is loaded at run time, loading it here (inside the system's loader) is
// not allowed, so the handle waits for the first export that needs it.
SessionLink::SessionLink() {
    if (!client_linked()) return;
    try {
        connection_ = ClientHandle::make(client_started_);
    } catch (const DatabaseError&) {
        // Made at the first export that needs it.
    }
}

MYSQL* SessionLink::handle() {
    if (!connection_.get()) connection_ = ClientHandle::make(client_started_);
    return connection_.get();
}

// ---- making links ---------------------------------------------------------------

// The handshake bound is set first: the client applies the file's own
// connect-timeout over it when it connects.
ClientHandle SessionLink::prepared_handle(ConnectTarget& target) {
    ClientHandle link = ClientHandle::make(client_started_);
    MYSQL* const mysql = link.get();
    const unsigned handshake = kHandshakeSeconds;
    client().options(mysql, MYSQL_OPT_CONNECT_TIMEOUT, &handshake);
    client().options(mysql, MYSQL_READ_DEFAULT_FILE, kOptionFile);
    const OptionFileSettings settings = option_file_settings_of(kOptionFile);
    if (settings.read_timeout) client().options(mysql, MYSQL_OPT_READ_TIMEOUT, &settings.read_timeout);
    if (settings.write_timeout) client().options(mysql, MYSQL_OPT_WRITE_TIMEOUT, &settings.write_timeout);
    target.reconnect = settings.reconnect;
    // The script's character set, else the code page's. Either is only a
    // default: the client reads the option file while it connects, and its
    // default-character-set line replaces it (the script's choice is then
    // set again once the link is up).
    if (const char* name = !character_set_.empty() ? character_set_.c_str() : code_page_character_set()) {
        client().options(mysql, MYSQL_SET_CHARSET_NAME, name);
    }
    return link;
}

ConnectTarget SessionLink::target_of(Routine routine, const char* database, const char* host, const char* user,
                                     const char* password) const {
    // (Only change_user passes no host: the client's default host.)
    ConnectTarget t{routine, database, host ? host : "", user, password, routine == Routine::plain ? kPlainPort : 0,
                    character_set_};
    return t;
}

// The client's own reconnect is turned off whatever the option file said:
// it would send a statement again on a new link behind everyone's back.
void SessionLink::adopt(ClientHandle link, const ConnectTarget& target) {
    attempt_.reset();
    retry_at_.reset();
    target_ = target;
    last_host_ = target.host;
    replace(std::move(link));
    const bool can_tell = client().nonblocking() && client().get_info;
    state_ = target.reconnect && can_tell ? State::up : State::kept;
}

void SessionLink::replace(ClientHandle link) {
    const my_bool off = 0;
    client().options(link.get(), MYSQL_OPT_RECONNECT, &off);
    connection_ = std::move(link);
    bound_loopback_window(client().socket(connection_.get()));
}

void SessionLink::close() noexcept {
    attempt_.reset();
    connection_.close();
    state_ = State::closed;
}

void SessionLink::abandon() noexcept {
    if (attempt_) (void)attempt_->link().release();
    (void)connection_.release();
}

// ---- a lost link ------------------------------------------------------------------

const char* SessionLink::transaction_lost_text() {
    return "The link to the server was lost inside a transaction, which the server rolled back: nothing more is "
           "sent until the script connects again or calls mysql__ping.";
}

// Nothing is in flight when this is asked, so anything waiting on the
// socket (the server's close, or the error packet it sends before closing)
// means the server has ended the link.
bool SessionLink::closed_by_server() {
    const my_socket socket = client().socket(connection_.get());
    if (socket == static_cast<my_socket>(-1)) return true;
    return socket_events(socket, MYSQL_WAIT_READ, 0) != 0;
}

// Taken the moment the loss is noticed, before any other call on the handle:
// the server's status in its last reply (a transaction open, autocommit
// off) and the database selected then.
void SessionLink::note_lost() {
    MYSQL* const mysql = connection_.get();
    unsigned status = SERVER_STATUS_AUTOCOMMIT;
    const char* schema = nullptr;
    client().get_info(mysql, MARIADB_CONNECTION_SERVER_STATUS, &status);
    if (client().get_info(mysql, MARIADB_CONNECTION_SCHEMA, &schema) == 0) target_.database = schema ? schema : "";
    const bool in_transaction = (status & SERVER_STATUS_IN_TRANS) || !(status & SERVER_STATUS_AUTOCOMMIT);
    state_ = in_transaction ? State::lost_in_transaction : State::lost;
}

SessionLink::Readiness SessionLink::prepare(bool wait, bool forgiving) {
    if (state_ == State::up) {
        if (!closed_by_server()) return Readiness::ready;
        note_lost();
    }
    if (forgiving && state_ == State::lost_in_transaction) state_ = State::lost;
    switch (state_) {
        case State::lost: return bring_back(wait);
        case State::lost_in_transaction:
            refusal_ = Report{kServerGone, transaction_lost_text()};
            return Readiness::refused;
        default: return Readiness::ready;
    }
}

SessionLink::Readiness SessionLink::bring_back(bool wait) {
    if (!attempt_) {
        if (retry_at_ && Clock::now() < *retry_at_) {
            refusal_ = failure_;
            return Readiness::refused;
        }
        ConnectTarget target = target_;
        target.character_set = character_set_;
        ClientHandle link = prepared_handle(target);
        // Waiting, the routine a script's connection makes; otherwise its
        // polled stages.
        if (wait || !link.allow_nonblocking()) return settle(link, connect_waiting(link.get(), target));
        attempt_.emplace(std::move(link), std::move(target));
    }
    if (!attempt_->advance(wait)) return Readiness::busy;
    const Readiness r = settle(attempt_->link(), attempt_->accepted());
    attempt_.reset();
    return r;
}

// An accepted link replaces the lost one (the statements pending and the
// session's state untouched) and ends the wait between attempts; a refused
// one starts it.
SessionLink::Readiness SessionLink::settle(ClientHandle& link, bool accepted) {
    if (accepted) {
        replace(std::move(link));
        state_ = State::up;
        retry_at_.reset();
        return Readiness::ready;
    }
    failure_ = Report::of(link.get());
    retry_at_ = Clock::now() + kRetryAfter;
    refusal_ = failure_;
    return Readiness::refused;
}

}  // namespace cvx::database
