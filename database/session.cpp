#include "database/session.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "database/character_set.h"
#include "database/option_file.h"
#include "database/socket_wait.h"
#include "host/module.h"

namespace cvx::database {
namespace {

constexpr unsigned kPlainPort = 3306;
// The client library reads its connection options from this file, in the
// current directory, on every connection.
constexpr const char* kOptionFile = "my";

// The client's numbers for the session's own refusals of a start.
constexpr unsigned kUnknownError = 2000;       // CR_UNKNOWN_ERROR
constexpr unsigned kCommandsOutOfSync = 2014;  // CR_COMMANDS_OUT_OF_SYNC

}  // namespace

// ---- client handle ------------------------------------------------------------

ClientHandle ClientHandle::make(bool& started) {
    MYSQL* const mysql = client().init(nullptr);
    started = true;  // the client library has set itself up
    if (!mysql) throw DatabaseError("the client library could not set up a handle");
    return ClientHandle(mysql);
}

ClientHandle& ClientHandle::operator=(ClientHandle&& other) noexcept {
    if (this != &other) {
        close();
        nonblocking_ = other.nonblocking_;
        mysql_ = other.release();
    }
    return *this;
}

bool ClientHandle::allow_nonblocking() {
    if (!nonblocking_) nonblocking_ = client().options(mysql_, MYSQL_OPT_NONBLOCK, nullptr) == 0;
    return nonblocking_;
}

void ClientHandle::close() noexcept {
    if (MYSQL* const mysql = release()) client().close(mysql);  // also frees the handle
}

MYSQL* ClientHandle::release() noexcept {
    nonblocking_ = false;
    return std::exchange(mysql_, nullptr);
}

// ---- session: load and unload ---------------------------------------------------

// Where the client library is linked in, the handle is made at load; where
// it is loaded at run time, loading it here (inside the system's loader) is
// not allowed, so the handle waits for the first export that needs it.
Session::Session() {
    if (!client_linked()) return;
    try {
        session_connection_ = ClientHandle::make(client_started_);
    } catch (const DatabaseError&) {
        // Made at the first export that needs it.
    }
}

// The unload frees the result, closes the handle once and releases what
// the client library set up for itself. A process that is exiting makes no
// client call at all: the client library may already be detached, and the
// operating system closes the link.
Session::~Session() {
    if (process_terminating()) {
        current_result_.abandon();
        (void)session_connection_.release();
        return;
    }
    abandon_pending();
    current_result_ = ResultSet();
    session_connection_.close();
    if (client_started_) client().library_end();
    release_client();
}

MYSQL* Session::handle() {
    if (!session_connection_.get()) {
        session_connection_ = ClientHandle::make(client_started_);
    }
    return session_connection_.get();
}

MYSQL* Session::link() {
    complete_pending();
    report_.reset();
    return handle();
}

MYSQL* Session::existing_link() {
    complete_pending();
    report_.reset();
    return session_connection_.get();
}

void Session::check(bool failed) {
    if (failed) throw DatabaseError(client().error(handle()));
}

void Session::refuse(unsigned number, const char* why) {
    report_ = Report{number, why};
    throw DatabaseError(why);
}

// ---- connection -------------------------------------------------------------------

// The new link is made on a handle of its own with the option file's
// settings and the statement timeouts read from it. When the server refuses
// it, its error is what the session reports, and the handle goes.
ClientHandle Session::attempt(const char* database, const char* host, const char* user, const char* password,
                              unsigned port) {
    complete_pending();
    ClientHandle link = ClientHandle::make(client_started_);
    MYSQL* const mysql = link.get();
    client().options(mysql, MYSQL_READ_DEFAULT_FILE, kOptionFile);
    const StatementTimeouts timeouts = statement_timeouts_of_file(kOptionFile);
    if (timeouts.read) client().options(mysql, MYSQL_OPT_READ_TIMEOUT, &timeouts.read);
    if (timeouts.write) client().options(mysql, MYSQL_OPT_WRITE_TIMEOUT, &timeouts.write);
    // The script's character set, else the code page's. Either is only a
    // default: the client reads the option file while it connects, and its
    // default-character-set line replaces it.
    if (const char* name = character_set_ ? character_set_->c_str() : code_page_character_set()) {
        client().options(mysql, MYSQL_SET_CHARSET_NAME, name);
    }
    const auto refused = [&] {
        report_ = Report{client().error_number(mysql), client().error(mysql)};
        throw DatabaseError(report_->text);
    };
    if (!client().real_connect(mysql, host, user, password, database, port, nullptr, 0)) refused();
    // The script's choice stands above the option file's.
    if (character_set_ && *character_set_ != client().character_set_name(mysql) &&
        client().set_character_set(mysql, character_set_->c_str()) != 0) {
        refused();
    }
    return link;
}

// The accepted link replaces the session's (the old one closed once); a
// named database is selected once more.
void Session::adopt(ClientHandle link, const char* host, const char* database) {
    report_.reset();
    session_connection_ = std::move(link);
    connected_ = succeeded_ = true;
    last_host_ = host ? std::optional<std::string>(host) : std::nullopt;
    if (database && *database) check(client().select_db(handle(), database) != 0);
}

void Session::connect_plain(const char* database, const char* host, const char* user, const char* password) {
    adopt(attempt(database, host, user, password, kPlainPort), host, database);
}

void Session::connect_full(const char* database, const char* host, const char* user, const char* password) {
    ClientHandle link;
    try {
        link = attempt(database, host, user, password, 0);
    } catch (const DatabaseError&) {
        if (!connected_) succeeded_ = false;
        throw;
    }
    adopt(std::move(link), host, database);
}

void Session::change_user(const char* user, const char* password, const char* database) {
    // Copied: adopting the new link replaces the remembered host.
    const std::optional<std::string> host = last_host_;
    const char* const h = host ? host->c_str() : nullptr;
    adopt(attempt(database, h, user, password, kPlainPort), h, database);
}

void Session::select_db(const char* database) { check(client().select_db(link(), database) != 0); }

void Session::close() {
    purge();
    connected_ = false;
}

// The next call that needs a handle makes a fresh one, so no call ever
// reaches a closed handle.
void Session::purge() {
    abandon_pending();
    report_.reset();
    session_connection_.close();
}

int Session::ping() { return client().ping(link()); }

// ---- statements -------------------------------------------------------------------

void Session::execute(std::string_view prefix, const char* statement) {
    MYSQL* const mysql = link();
    statement_.assign(prefix).append(statement);
    succeeded_ = false;
    const int status = client().query(mysql, statement_.c_str());
    check(!take_outcome(status, status == 0 ? client().store_result(mysql) : nullptr));
}

void Session::execute_in(const char* database, const char* statement) {
    select_db(database);
    execute("", statement);
}

// A set that did not arrive while the handle reports an error means the
// rows broke off on the way (the link went down in the middle of them):
// that is a refused statement, so the earlier result stays current.
bool Session::take_outcome(int status, MYSQL_RES* set) {
    succeeded_ = status == 0 && (set != nullptr || client().error_number(handle()) == 0);
    if (succeeded_) current_result_ = ResultSet(set);
    return succeeded_;
}

std::uint64_t Session::affected_rows() { return client().affected_rows(link()); }

// ---- statements that run while the script goes on ----------------------------------

void Session::start(const char* statement) {
    if (pending_) refuse(kCommandsOutOfSync, "A statement is still running: poll it until it has finished.");
    if (!connected_) refuse(kUnknownError, "Not connected.");
    if (!statement) refuse(kUnknownError, "No statement: the string is missing or has no terminator.");
    if (!client().nonblocking()) refuse(kUnknownError, "The client library cannot run a statement without waiting.");
    MYSQL* const mysql = handle();
    if (!session_connection_.allow_nonblocking()) {
        refuse(kUnknownError, "The client library cannot run a statement without waiting.");
    }
    // Until it finishes, the error exports report the last call that did.
    report_ = Report{client().error_number(mysql), client().error(mysql)};
    PendingStatement& p = pending_.emplace();
    p.text = statement;
    wait_for(client().query_start(&p.query_status, mysql, p.text.data(), p.text.size()));
}

// What the client now waits for; a wait it bounds by a timeout gets a
// deadline, which the polls turn into the timeout event when it passes.
void Session::wait_for(int events) {
    PendingStatement& p = *pending_;
    p.waiting = events;
    p.deadline.reset();
    if (events & MYSQL_WAIT_TIMEOUT) {
        p.deadline = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(client().timeout_ms(session_connection_.get()));
    }
}

Progress Session::poll() {
    if (!pending_) return Progress::none;
    if (!advance(false)) return Progress::running;
    finish_pending();
    return Progress::finished;
}

// Continues the running statement with the events that have happened;
// true once it has finished. Without `wait` it only looks at the socket.
bool Session::advance(bool wait) {
    PendingStatement& p = *pending_;
    MYSQL* const mysql = session_connection_.get();
    for (;;) {
        if (p.waiting == 0) {
            if (p.stage == PendingStatement::Stage::store || p.query_status != 0) return true;
            p.stage = PendingStatement::Stage::store;
            wait_for(client().store_start(&p.set, mysql));
        } else {
            const int events = ready_events(wait);
            if (events == 0) return false;
            wait_for(p.stage == PendingStatement::Stage::query ? client().query_cont(&p.query_status, mysql, events)
                                                               : client().store_cont(&p.set, mysql, events));
        }
    }
}

// The events the client waits for that have happened; a passed deadline
// is the timeout event. Waiting, it sleeps on the socket until one comes.
int Session::ready_events(bool wait) {
    const PendingStatement& p = *pending_;
    const auto now = std::chrono::steady_clock::now();
    int limit_ms = wait ? -1 : 0;
    if (p.deadline) {
        if (now >= *p.deadline) return MYSQL_WAIT_TIMEOUT;
        if (wait) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*p.deadline - now).count();
            limit_ms = static_cast<int>(std::min<long long>(left, 60'000));
        }
    }
    const int events = socket_events(client().socket(session_connection_.get()), p.waiting, limit_ms);
    if (events == 0 && p.deadline && std::chrono::steady_clock::now() >= *p.deadline) return MYSQL_WAIT_TIMEOUT;
    return events;
}

void Session::finish_pending() {
    const PendingStatement p = std::move(*pending_);
    pending_.reset();
    report_.reset();
    take_outcome(p.query_status, p.set);
}

void Session::complete_pending() {
    if (!pending_) return;
    while (!advance(true)) {
    }
    finish_pending();
}

// A statement given up counts as refused; the link is closed right after.
void Session::abandon_pending() {
    if (!pending_) return;
    pending_.reset();
    succeeded_ = false;
}

// ---- administration and information -------------------------------------------------

int Session::refresh(unsigned options) { return client().refresh(link(), options); }

bool Session::reload() { return client().refresh(link(), REFRESH_GRANT) == 0; }

bool Session::shutdown() { return client().shutdown(link(), SHUTDOWN_DEFAULT) == 0; }

const char* Session::statistics() { return client().stat(link()); }

// Without a client library every database call has failed: the client's
// "unknown error" number goes with the text that says why.
unsigned Session::error_number() {
    if (client_missing()) return kUnknownError;
    return report_ ? report_->number : client().error_number(handle());
}

const char* Session::error_text() {
    if (const char* missing = client_missing()) return missing;
    return report_ ? report_->text.c_str() : client().error(handle());
}

const char* Session::client_info() { return client().client_info(); }

const char* Session::host_info() { return client().host_info(link()); }

const char* Session::server_info() { return client().server_info(link()); }

unsigned Session::proto_info() { return client().proto_info(link()); }

std::string Session::escaped(std::string_view text) {
    complete_pending();
    std::string out(text.size() * 2 + 1, '\0');
    const unsigned long length = client().escape(handle(), out.data(), text.data(), text.size());
    if (length == static_cast<unsigned long>(-1)) throw DatabaseError("the text cannot be escaped");
    out.resize(length);
    return out;
}

// ---- character set and TLS -----------------------------------------------------------

void Session::set_character_set(const char* name) {
    MYSQL* const mysql = link();
    if (!name) refuse(kUnknownError, "No character set: the string is missing or has no terminator.");
    check(client().set_character_set(mysql, name) != 0);
    character_set_ = name;
}

const char* Session::character_set_name() {
    MYSQL* const mysql = existing_link();
    return mysql ? client().character_set_name(mysql) : nullptr;
}

const char* Session::ssl_cipher() {
    MYSQL* const mysql = existing_link();
    return mysql ? client().ssl_cipher(mysql) : nullptr;
}

// Built by the runtime's start-up when the library is loaded, before any
// export can run; torn down at unload.
namespace {
Session the_session;
}  // namespace

Session& session() { return the_session; }

}  // namespace cvx::database
