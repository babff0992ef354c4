#include "database/session.h"

#include <utility>

#include "host/module.h"

namespace cvx::database {

// ---- session: unload --------------------------------------------------------------

// The unload gives up the work still going on, frees the result, closes the
// handle once and releases what the client library set up for itself. A
// process that is exiting makes no client call at all: the client library
// may already be detached, and the operating system closes the link and
// takes back the memory.
Session::~Session() {
    if (process_terminating()) {
        current_result_.abandon();
        retired_.abandon();
        queue_.abandon_for_exit();
        if (attempt_) (void)attempt_->link().release();
        link_.abandon();
        return;
    }
    abandon_attempt();
    abandon_statements();
    current_result_.retire_into(retired_);
    retired_.release_all();
    link_.close();
    if (link_.client_started()) client().library_end();
    release_client();
}

MYSQL* Session::server(bool forgiving) {
    complete_statements();
    if (link_.prepare(true, forgiving) == SessionLink::Readiness::refused) {
        report_ = link_.refusal();
        return nullptr;
    }
    return link_.handle();
}

MYSQL* Session::server_or_raise() {
    MYSQL* const mysql = server();
    if (!mysql) throw DatabaseError(report_.text);
    return mysql;
}

template <typename Call>
auto Session::talk(Call&& call) {
    MYSQL* const mysql = server_or_raise();
    const auto result = call(mysql);
    finished_call(mysql);
    return result;
}

void Session::finished_call(MYSQL* mysql) {
    report_ = Report::of(mysql);
    link_.finished(report_.number);
}

void Session::refuse(unsigned number, const char* why) {
    report_ = Report{number, why};
    throw DatabaseError(why);
}

void Session::release_some() { retired_.release_some(WorkSlice(WorkSlice::kRelease)); }

// ---- connection -------------------------------------------------------------------

void Session::refused(const ConnectTarget& target, MYSQL* mysql) {
    report_ = Report::of(mysql);
    if (target.routine == Routine::full && !connected_) succeeded_ = false;
    throw DatabaseError(report_.text);
}

// The accepted link replaces the session's (the old one closed once,
// statements still pending on it given up).
void Session::adopt(ClientHandle link, const ConnectTarget& target) {
    abandon_statements();
    link_.adopt(std::move(link), target);
    report_ = Report{};
    connected_ = succeeded_ = true;
    affected_rows_ = client().affected_rows(link_.handle());
    insert_id_ = 0;
}

void Session::connect(Routine routine, const char* database, const char* host, const char* user,
                      const char* password) {
    complete_attempt();
    complete_statements();
    ConnectTarget target = link_.target_of(routine, database, host, user, password);
    ClientHandle link = link_.prepared_handle(target);
    if (!connect_waiting(link.get(), target)) refused(target, link.get());
    adopt(std::move(link), target);
    if (!*database) return;
    MYSQL* const mysql = link_.handle();
    const bool failed = client().select_db(mysql, database) != 0;
    finished_call(mysql);
    if (failed) throw DatabaseError(report_.text);
}

void Session::change_user(const char* user, const char* password, const char* database) {
    complete_attempt();
    // Copied: adopting the new link replaces the remembered host.
    const std::optional<std::string> host = link_.last_host();
    connect(Routine::plain, database, host ? host->c_str() : nullptr, user, password);
}

void Session::start_connect(Routine routine, const char* database, const char* host, const char* user,
                            const char* password) {
    if (attempt_) refuse(kUnknownError, "A connection attempt is still going on: poll it until it has finished.");
    if (!database || !host || !user || !password) {
        refuse(kUnknownError, "No connection attempt: a string has no terminator within its buffer.");
    }
    if (!client().nonblocking()) refuse(kUnknownError, "The client library cannot connect without waiting.");
    ConnectTarget target = link_.target_of(routine, database, host, user, password);
    ClientHandle link = link_.prepared_handle(target);
    if (!link.allow_nonblocking()) refuse(kUnknownError, "The client library cannot connect without waiting.");
    release_some();
    attempt_.emplace(std::move(link), std::move(target));
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

void Session::select_db(const char* database) {
    if (talk([&](MYSQL* mysql) { return client().select_db(mysql, database); }) != 0) {
        throw DatabaseError(report_.text);
    }
}

bool Session::close() {
    abandon_attempt();
    if (!connected_) return false;
    purge();
    connected_ = false;
    return true;
}

// The next call that needs a handle gets a fresh one, so no call ever
// reaches a closed handle; nothing brings the link back.
void Session::purge() {
    abandon_attempt();
    abandon_statements();
    report_ = Report{};
    link_.close();
}

// A link that turns out lost during the ping itself comes back once, as the
// client's own ping does with its reconnect option; a ping is never a
// statement that could run twice.
int Session::ping() {
    int status = 1;  // the client's failure status
    for (int round = 0; round < 2; ++round) {
        MYSQL* const mysql = server(true);
        if (!mysql) return 1;
        status = client().ping(mysql);
        finished_call(mysql);
        if (status == 0 || !link_.lost()) break;
    }
    return status;
}

unsigned long Session::thread_id() const {
    MYSQL* const mysql = link_.existing();
    return mysql ? client().thread_id(mysql) : 0;
}

// ---- statements -------------------------------------------------------------------

void Session::execute(std::string_view prefix, const char* statement) {
    if (prefix.empty()) return run(statement);
    statement_.assign(prefix).append(statement);
    run(statement_);
}

void Session::execute_in(const char* database, const char* statement) {
    select_db(database);
    execute("", statement);
}

void Session::run(std::string_view text) { run_on(server(), text); }

// On `mysql` (null: the link refused the statement, which then counts as
// refused without anything sent).
void Session::run_on(MYSQL* mysql, std::string_view text) {
    StatementOutcome outcome = mysql ? run_statement(mysql, text, retired_) : StatementOutcome::refused(report_);
    if (mysql) link_.finished(outcome.report.number);
    const bool accepted = take(std::move(outcome));
    retired_.release_all();  // the caller waits anyway
    if (!accepted) throw DatabaseError(report_.text);
}

// A set whose rows broke off on the way (the link went down in the middle
// of them) is a refused statement, so the earlier result stays current.
bool Session::take(StatementOutcome outcome) {
    report_ = std::move(outcome.report);
    succeeded_ = outcome.accepted;
    affected_rows_ = outcome.affected_rows;
    if (outcome.insert_id) insert_id_ = *outcome.insert_id;
    if (succeeded_) {
        current_result_.retire_into(retired_);
        if (outcome.result) current_result_ = std::move(*outcome.result);
    }
    return succeeded_;
}

// ---- statements with parameters ------------------------------------------------------

// Bound once the statements pending have run and a lost link is back, so
// that the link's character set and modes are those the server reads the
// statement in. A link that cannot be brought back refuses it unbound, as
// it refuses any statement.
void Session::execute_with_parameters(const char* statement) {
    MYSQL* const mysql = server();
    if (!mysql) return run_on(nullptr, "");
    const BoundStatement& bound = bind_for_link(mysql, statement, parameters_);
    if (!bound.refusal.empty()) {
        report_ = Report{kUnknownError, bound.refusal};
        return run_on(nullptr, "");
    }
    run_on(mysql, bound.text);
}

// Bound at once, in the character set and modes the link knows now; the
// queue refuses it if the link reads statements otherwise when it goes out.
void Session::start_with_parameters(const char* statement) {
    if (!connected_ || !statement) return start(statement);  // which refuses it, saying why
    const BoundStatement& bound = bind_for_link(link_.handle(), statement, parameters_);
    if (!bound.refusal.empty()) report_refusal(bound.refusal.c_str());
    enqueue(bound.text, bound.syntax);
}

void Session::report_refusal(const char* why) { refuse(kUnknownError, why); }

// ---- statements that run while the script goes on ----------------------------------

// Until the statement's outcome is reported, the error exports report the
// last call that finished.
void Session::start(const char* statement) {
    if (!connected_) refuse(kUnknownError, "Not connected.");
    if (!statement) refuse(kUnknownError, "No statement: the string is missing or has no terminator.");
    enqueue(statement, std::nullopt);
}

void Session::enqueue(std::string_view text, std::optional<StatementSyntax> bound_for) {
    if (!client().nonblocking()) refuse(kUnknownError, "The client library cannot run a statement without waiting.");
    link_.handle();
    if (!link_.connection().allow_nonblocking()) {
        refuse(kUnknownError, "The client library cannot run a statement without waiting.");
    }
    if (!queue_.has_room(text.size())) {
        refuse(kOutOfMemory, "The queue of statements is full: poll the ones started until they are reported.");
    }
    const WorkSlice slice(WorkSlice::kPoll);
    release_some();
    queue_.push(text, bound_for);
    queue_.send_ahead(slice);
}

Progress Session::poll() {
    if (queue_.empty()) return Progress::none;
    const WorkSlice slice(WorkSlice::kPoll);
    release_some();
    std::optional<StatementOutcome> outcome = queue_.advance(slice, false);
    if (!outcome) return Progress::running;
    take(std::move(*outcome));
    return Progress::finished;
}

// Every statement pending runs to its end, each outcome taking effect in
// turn (none of them is reported by a later poll).
void Session::complete_statements() {
    while (!queue_.empty()) {
        if (std::optional<StatementOutcome> outcome = queue_.advance(WorkSlice(), true)) take(std::move(*outcome));
    }
}

// The statements pending are given up and count as refused; the link is
// closed or replaced right after, so those already sent may have run.
void Session::abandon_statements() {
    if (queue_.abandon()) succeeded_ = false;
}

// ---- administration and information -------------------------------------------------

int Session::refresh(unsigned options) {
    return talk([&](MYSQL* mysql) { return client().refresh(mysql, options); });
}

bool Session::reload() {
    return talk([](MYSQL* mysql) { return client().refresh(mysql, REFRESH_GRANT); }) == 0;
}

bool Session::shutdown() {
    return talk([](MYSQL* mysql) { return client().shutdown(mysql, SHUTDOWN_DEFAULT); }) == 0;
}

const char* Session::statistics() {
    return talk([](MYSQL* mysql) { return client().stat(mysql); });
}

// Without a client library every database call has failed: the client's
// "unknown error" number goes with the text that says why.
unsigned Session::error_number() const { return client_missing() ? kUnknownError : report_.number; }

const char* Session::error_text() const {
    if (const char* missing = client_missing()) return missing;
    return report_.text.c_str();
}

const char* Session::client_info() { return client().client_info(); }

// These only read what the handle holds of the link.
const char* Session::host_info() {
    complete_statements();
    return client().host_info(link_.handle());
}

const char* Session::server_info() {
    complete_statements();
    return client().server_info(link_.handle());
}

unsigned Session::proto_info() {
    complete_statements();
    return client().proto_info(link_.handle());
}

// Escaping only reads the link's character set: it does not wait for the
// statements pending.
std::string Session::escaped(std::string_view text) {
    std::string out(text.size() * 2 + 1, '\0');
    const unsigned long length = client().escape(link_.handle(), out.data(), text.data(), text.size());
    if (length == static_cast<unsigned long>(-1)) throw DatabaseError("the text cannot be escaped");
    out.resize(length);
    return out;
}

// ---- character set and TLS -----------------------------------------------------------

void Session::set_character_set(const char* name) {
    MYSQL* const mysql = server_or_raise();
    if (!name) refuse(kUnknownError, "No character set: the string is missing or has no terminator.");
    const bool failed = client().set_character_set(mysql, name) != 0;
    finished_call(mysql);
    if (failed) throw DatabaseError(report_.text);
    link_.keep_character_set(name);
}

// Both only read what the handle holds: they answer at once while
// statements are pending, and a closed session (no handle) has nothing to
// name, so no handle is made just to be asked.
const char* Session::character_set_name() {
    MYSQL* const mysql = link_.existing();
    return mysql ? client().character_set_name(mysql) : nullptr;
}

const char* Session::ssl_cipher() {
    MYSQL* const mysql = link_.existing();
    return mysql ? client().ssl_cipher(mysql) : nullptr;
}

// Built by the runtime's start-up when the library is loaded, before any
// export can run; torn down at unload.
namespace {
Session the_session;
}  // namespace

Session& session() { return the_session; }

}  // namespace cvx::database
