#include "database/session.h"

#include <cstring>
#include <utility>

#include "database/character_set.h"
#include "database/option_file.h"
#include "host/module.h"

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

// The client's numbers for the session's own refusals of a start.
constexpr unsigned kUnknownError = 2000;       // CR_UNKNOWN_ERROR
constexpr unsigned kOutOfMemory = 2008;        // CR_OUT_OF_MEMORY

// The most statements, and bytes of their texts, that may wait in the queue.
constexpr std::size_t kMostQueued = 100'000;
constexpr std::size_t kMostQueuedBytes = 256u << 20;

}  // namespace

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

// The unload gives up the work still going on, frees the result, closes the
// handle once and releases what the client library set up for itself. A
// process that is exiting makes no client call at all: the client library
// may already be detached, and the operating system closes the link and
// takes back the memory.
Session::~Session() {
    if (process_terminating()) {
        current_result_.abandon();
        retired_.abandon();
        if (running_) running_->abandon();
        if (attempt_) (void)attempt_->link().release();
        (void)session_connection_.release();
        return;
    }
    abandon_attempt();
    abandon_statements();
    current_result_.retire_into(retired_);
    retired_.release_all();
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
    complete_statements();
    report_.reset();
    return handle();
}

void Session::check(bool failed) {
    if (failed) throw DatabaseError(client().error(handle()));
}

void Session::refuse(unsigned number, const char* why) {
    report_ = Report{number, why};
    throw DatabaseError(why);
}

void Session::release_some() { retired_.release_some(WorkSlice(WorkSlice::kRelease)); }

// ---- connection -------------------------------------------------------------------

// The new link's handle, with the option file's settings and the statement
// timeouts read from it. The handshake bound is set first: the client
// applies the file's own connect-timeout over it when it connects.
ClientHandle Session::prepared_handle() {
    ClientHandle link = ClientHandle::make(client_started_);
    MYSQL* const mysql = link.get();
    const unsigned handshake = kHandshakeSeconds;
    client().options(mysql, MYSQL_OPT_CONNECT_TIMEOUT, &handshake);
    client().options(mysql, MYSQL_READ_DEFAULT_FILE, kOptionFile);
    const StatementTimeouts timeouts = statement_timeouts_of_file(kOptionFile);
    if (timeouts.read) client().options(mysql, MYSQL_OPT_READ_TIMEOUT, &timeouts.read);
    if (timeouts.write) client().options(mysql, MYSQL_OPT_WRITE_TIMEOUT, &timeouts.write);
    // The script's character set, else the code page's. Either is only a
    // default: the client reads the option file while it connects, and its
    // default-character-set line replaces it (the script's choice is then
    // set again once the link is up).
    if (const char* name = character_set_ ? character_set_->c_str() : code_page_character_set()) {
        client().options(mysql, MYSQL_SET_CHARSET_NAME, name);
    }
    return link;
}

ConnectTarget Session::target_of(Routine routine, const char* database, const char* host, const char* user,
                                 const char* password) const {
    // (Only change_user passes no host: the client's default host.)
    return ConnectTarget{routine, database, host ? host : "", user, password, routine == Routine::plain ? kPlainPort : 0,
                         character_set_.value_or("")};
}

void Session::refused(const ConnectTarget& target, MYSQL* mysql) {
    report_ = Report{client().error_number(mysql), client().error(mysql)};
    if (target.routine == Routine::full && !connected_) succeeded_ = false;
    throw DatabaseError(report_->text);
}

// The accepted link replaces the session's (the old one closed once, a
// statement still running on it given up).
void Session::adopt(ClientHandle link, const ConnectTarget& target) {
    abandon_statements();
    report_.reset();
    session_connection_ = std::move(link);
    connected_ = succeeded_ = true;
    last_host_ = target.host;
    affected_rows_ = client().affected_rows(session_connection_.get());
    insert_id_ = 0;
}

void Session::connect(Routine routine, const char* database, const char* host, const char* user,
                      const char* password) {
    complete_attempt();
    complete_statements();
    const ConnectTarget target = target_of(routine, database, host, user, password);
    ClientHandle link = prepared_handle();
    MYSQL* const mysql = link.get();
    if (!client().real_connect(mysql, host, user, password, database, target.port, nullptr, 0) ||
        (target.needs_character_set(mysql) && client().set_character_set(mysql, target.character_set.c_str()) != 0)) {
        refused(target, mysql);
    }
    adopt(std::move(link), target);
    if (*database) check(client().select_db(handle(), database) != 0);
}

void Session::change_user(const char* user, const char* password, const char* database) {
    complete_attempt();
    // Copied: adopting the new link replaces the remembered host.
    const std::optional<std::string> host = last_host_;
    connect(Routine::plain, database, host ? host->c_str() : nullptr, user, password);
}

void Session::start_connect(Routine routine, const char* database, const char* host, const char* user,
                            const char* password) {
    if (attempt_) refuse(kUnknownError, "A connection attempt is still going on: poll it until it has finished.");
    if (!database || !host || !user || !password) {
        refuse(kUnknownError, "No connection attempt: a string has no terminator within its buffer.");
    }
    if (!client().nonblocking()) refuse(kUnknownError, "The client library cannot connect without waiting.");
    ClientHandle link = prepared_handle();
    if (!link.allow_nonblocking()) refuse(kUnknownError, "The client library cannot connect without waiting.");
    release_some();
    attempt_.emplace(std::move(link), target_of(routine, database, host, user, password));
}

Progress Session::poll_connect() {
    if (!attempt_) return Progress::none;
    release_some();
    if (!attempt_->advance(false)) return Progress::running;
    finish_attempt();
    return Progress::finished;
}

// The outcome of a finished attempt takes effect as the waiting routine's
// would have; a refusal is reported, not raised (the poll has finished).
void Session::finish_attempt() {
    ConnectionAttempt& a = *attempt_;
    const ConnectTarget target = a.target();
    if (a.accepted()) {
        adopt(std::move(a.link()), target);
    } else {
        try {
            refused(target, a.link().get());
        } catch (const DatabaseError&) {
        }
    }
    attempt_.reset();
}

void Session::complete_attempt() {
    if (!attempt_) return;
    while (!attempt_->advance(true)) {
    }
    finish_attempt();
}

void Session::abandon_attempt() { attempt_.reset(); }

void Session::select_db(const char* database) { check(client().select_db(link(), database) != 0); }

void Session::close() {
    purge();
    connected_ = false;
}

// The next call that needs a handle makes a fresh one, so no call ever
// reaches a closed handle.
void Session::purge() {
    abandon_attempt();
    abandon_statements();
    report_.reset();
    session_connection_.close();
}

int Session::ping() { return client().ping(link()); }

// ---- statements -------------------------------------------------------------------

void Session::execute(std::string_view prefix, const char* statement) {
    MYSQL* const mysql = link();
    statement_.assign(prefix).append(statement);
    succeeded_ = false;
    const bool accepted = take_outcome(run_statement(mysql, statement_));
    retired_.release_all();  // the caller waits anyway
    check(!accepted);
}

void Session::execute_in(const char* database, const char* statement) {
    select_db(database);
    execute("", statement);
}

// A set whose rows broke off on the way (the link went down in the middle
// of them) is a refused statement, so the earlier result stays current.
bool Session::take_outcome(StatementOutcome outcome) {
    succeeded_ = outcome.accepted;
    affected_rows_ = outcome.affected_rows;
    insert_id_ = outcome.insert_id;
    if (succeeded_) {
        current_result_.retire_into(retired_);
        if (outcome.result) current_result_ = std::move(*outcome.result);
    }
    return succeeded_;
}

// ---- statements that run while the script goes on ----------------------------------

void Session::start(const char* statement) {
    if (!connected_) refuse(kUnknownError, "Not connected.");
    if (!statement) refuse(kUnknownError, "No statement: the string is missing or has no terminator.");
    if (!client().nonblocking()) refuse(kUnknownError, "The client library cannot run a statement without waiting.");
    MYSQL* const mysql = handle();
    if (!session_connection_.allow_nonblocking()) {
        refuse(kUnknownError, "The client library cannot run a statement without waiting.");
    }
    release_some();
    if (running_) {
        const std::size_t size = std::strlen(statement);
        if (queued_.size() >= kMostQueued || size > kMostQueuedBytes - queued_bytes_) {
            refuse(kOutOfMemory, "The queue of statements is full: poll the ones started until they are reported.");
        }
        queued_.emplace_back(statement, size);
        queued_bytes_ += size;
        return;
    }
    // Until it finishes, the error exports report the last call that did.
    if (!report_) report_ = Report{client().error_number(mysql), client().error(mysql)};
    running_.emplace(mysql, statement, retired_);
}

// The next statement of the queue goes to the server (nothing waits for it).
void Session::send_next() {
    if (queued_.empty()) return;
    std::string text = std::move(queued_.front());
    queued_.pop_front();
    queued_bytes_ -= text.size();
    running_.emplace(session_connection_.get(), std::move(text), retired_);
}

Progress Session::poll() {
    if (!running_) return Progress::none;
    const WorkSlice slice(WorkSlice::kPoll);
    release_some();
    if (!running_->advance(slice, false)) return Progress::running;
    finish_statement();
    return Progress::finished;
}

// The outcome takes effect, its error included, which the error exports
// report until the next call that waits; then the next statement is sent.
void Session::finish_statement() {
    StatementOutcome outcome = running_->outcome();
    running_.reset();
    report_ = Report{outcome.error_number, std::move(outcome.error)};
    take_outcome(std::move(outcome));
    send_next();
}

// Every statement pending runs to its end, each outcome taking effect in
// turn (none of them is reported by a later poll).
void Session::complete_statements() {
    while (running_) {
        while (!running_->advance(WorkSlice(), true)) {
        }
        finish_statement();
    }
}

// The statement running is given up and counts as refused; the link is
// closed right after. The ones queued behind it are never sent.
void Session::abandon_statements() {
    queued_.clear();
    queued_bytes_ = 0;
    if (!running_) return;
    running_.reset();
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

// Escaping only reads the link's character set: it does not wait for the
// statements pending.
std::string Session::escaped(std::string_view text) {
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

// Both only read what the handle holds: they answer at once while
// statements are pending, and a closed session (no handle) has nothing to
// name, so no handle is made just to be asked.
const char* Session::character_set_name() {
    MYSQL* const mysql = session_connection_.get();
    return mysql ? client().character_set_name(mysql) : nullptr;
}

const char* Session::ssl_cipher() {
    MYSQL* const mysql = session_connection_.get();
    return mysql ? client().ssl_cipher(mysql) : nullptr;
}

// Built by the runtime's start-up when the library is loaded, before any
// export can run; torn down at unload.
namespace {
Session the_session;
}  // namespace

Session& session() { return the_session; }

}  // namespace cvx::database
