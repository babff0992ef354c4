// The process-wide database session: one link to a server (session_link.h),
// the stored result of the last statement that returned one, the session's
// two flags, the outcome the error exports report, a queue of statements
// (statement_queue.h) and at most one connection attempt going on without
// the script waiting for them.
//
// Every operation the database exports need is one call here; the exports
// only convert words. Failed client calls raise DatabaseError, which the
// exports turn into their failure values. Nothing here logs or prints.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "database/connection_attempt.h"
#include "database/outcome.h"
#include "database/session_link.h"
#include "database/statement_parameters.h"
#include "database/statement_queue.h"

namespace cvx::database {

// Where work started without waiting stands.
enum class Progress { none, running, finished };

class Session {
public:
    Session() = default;
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // A connection attempt established a link (cleared by close()).
    bool connected() const { return connected_; }
    // Outcome of the last connection attempt or statement.
    bool succeeded() const { return succeeded_; }

    // ---- connection ------------------------------------------------------
    // Every attempt connects a handle of its own (option file "my", and a
    // handshake bounded by 10 seconds unless the file says otherwise), which
    // replaces the session's link (closing the old one) only when the server
    // accepts it; a named database is then selected once more. A refused
    // attempt raises and leaves the link, the flags and the result as they
    // were; the error exports then report the refusal. An attempt started
    // without waiting is completed first.
    void connect(Routine routine, const char* database, const char* host, const char* user, const char* password);
    // A plain connection as another user to the host of the last link that
    // was established.
    void change_user(const char* user, const char* password, const char* database);
    // The same attempt started without waiting; raises (with the reason
    // reported by the error exports) when nothing was started. Meanwhile the
    // session's link, result and flags stay and serve every other call.
    void start_connect(Routine routine, const char* database, const char* host, const char* user,
                       const char* password);
    // Does the work that is ready for the attempt, never waiting for the
    // network. When it has finished, its outcome takes effect as if
    // connect() had made it: accepted, it gives up the statements pending.
    Progress poll_connect();

    void select_db(const char* database);
    // Both close the link, which then stays closed; only close() clears
    // `connected`, and it gives up a pending attempt even when no link is up
    // (false then). Neither waits for statements or an attempt going on:
    // the statements count as refused, an attempt never takes effect.
    bool close();
    void purge();
    // The client's ping; a lost link is brought back first (even one lost
    // inside a transaction), and once more when the ping itself finds it lost.
    int ping();
    // The server's id of the link; 0 without one.
    unsigned long thread_id() const;

    // ---- statements --------------------------------------------------------
    // Runs `prefix` followed by `statement` and stores its result set. A
    // refused statement raises and leaves the result as it was.
    void execute(std::string_view prefix, const char* statement);
    // Selects the database, then runs the statement; nothing is sent when
    // the database cannot be selected.
    void execute_in(const char* database, const char* statement);

    // Starts a statement and returns without waiting for the server: queued
    // (its text copied) and sent as soon as the link can take it. Raises
    // (with the reason reported by the error exports) when nothing was
    // started: not connected, no statement (null), the queue full, or a
    // client library without the non-blocking calls.
    void start(const char* statement);
    // Does the work that is ready for the statements pending, within a
    // slice of well under a millisecond, never waiting for the network. When
    // the oldest has finished, its outcome takes effect as if execute() had
    // run it.
    Progress poll();
    // Statements started and not yet reported.
    std::size_t pending() const { return queue_.pending(); }

    // ---- statements with parameters ------------------------------------------
    // The values a script set, kept until set again or cleared.
    StatementParameters& parameters() { return parameters_; }
    // The statement with the parameters bound in, run as execute() runs it
    // (after the statements pending). When its placeholders and the
    // parameters do not match, nothing is sent and it is refused as the
    // server refuses a statement.
    void execute_with_parameters(const char* statement);
    // The same, started as start() starts it; a mismatch is a refused start.
    void start_with_parameters(const char* statement);
    // Reports a refusal of the session's own (the client's "unknown error"
    // with `why`) and raises.
    [[noreturn]] void report_refusal(const char* why);

    // ---- stored result (these never wait for a running statement) ----------
    std::uint64_t row_count() const { return current_result_.row_count(); }
    unsigned column_count() const { return current_result_.column_count(); }
    // The cell of `row` in the column named by the text at `name`, read
    // within `capacity` bytes.
    std::optional<std::string_view> cell(std::uint64_t row, const char* name, std::size_t capacity) {
        return current_result_.cell(row, name, capacity);
    }
    // Column `index`'s name as the server gave it.
    std::optional<std::string_view> column_name(std::uint64_t index) const {
        return current_result_.column_name(index);
    }
    // The same cell's text copied into `to` when it fits.
    [[gnu::always_inline]] CellCopy copy_cell(std::uint64_t row, const char* name, std::size_t capacity,
                                              const ScriptString* to) {
        return current_result_.copy_cell(row, name, capacity, to);
    }
    // Of the statement whose outcome took effect last.
    std::uint64_t affected_rows() const { return affected_rows_; }
    std::uint64_t insert_id() const { return insert_id_; }

    // ---- administration and information ------------------------------------
    int refresh(unsigned options);
    bool reload();
    bool shutdown();
    const char* statistics();
    // The last finished call's error: a refused connection attempt or start
    // included; 0 and the empty text when it succeeded.
    unsigned error_number() const;
    const char* error_text() const;
    const char* client_info();
    const char* host_info();
    const char* server_info();
    unsigned proto_info();

    // `text` escaped for a quoted SQL string literal, in the link's
    // character set (or the client's default while not connected).
    std::string escaped(std::string_view text);

    // ---- character set and TLS ---------------------------------------------
    // Switches the link to the character set `name` (null: refused) and keeps
    // it for every later link, above the option file and the code page. A
    // refusal raises and leaves the link's character set as it was.
    void set_character_set(const char* name);
    // The link's character set and TLS cipher; null without a link (and
    // the cipher null for a link without TLS).
    const char* character_set_name();
    const char* ssl_cipher();

private:
    // The handle for a call that talks to the server: the statements
    // pending run to their end first, and a lost link is brought back
    // (waiting). Null when the link refuses the call, which is then reported.
    MYSQL* server(bool forgiving = false);
    MYSQL* server_or_raise();
    // A direct client call on the server's link: its error reported.
    template <typename Call>
    auto talk(Call&& call);
    void finished_call(MYSQL* mysql);
    [[noreturn]] void refuse(unsigned number, const char* why);

    // A refused attempt: its error reported, `succeeded` cleared where the
    // routine says so; raises.
    [[noreturn]] void refused(const ConnectTarget& target, MYSQL* mysql);
    // The accepted link replaces the session's (the old one closed once).
    void adopt(ClientHandle link, const ConnectTarget& target);

    // The one place a waited statement goes out: the link brought back
    // first if it was lost.
    void run(std::string_view text);
    void run_on(MYSQL* mysql, std::string_view text);
    // The one place a started statement is queued.
    void enqueue(std::string_view text, std::optional<StatementSyntax> bound_for);
    // A statement's outcome takes effect: true (its result current) when the
    // server accepted it and its rows all arrived.
    bool take(StatementOutcome outcome);

    void complete_statements();
    void abandon_statements();
    void finish_attempt();
    void complete_attempt();
    void abandon_attempt();
    // Gives back memory of replaced results within a poll's share of time.
    void release_some();

    SessionLink link_;
    ResultSet current_result_;
    ReleaseQueue retired_;  // the memory of results: replaced ones, and what is kept of them
    StatementQueue queue_{link_, retired_};
    bool connected_ = false;
    bool succeeded_ = false;
    std::uint64_t affected_rows_ = 0;
    std::uint64_t insert_id_ = 0;
    std::string statement_;  // a waited statement with a prefix
    Report report_;          // of the last call that finished
    std::optional<ConnectionAttempt> attempt_;  // the script's, polled
    StatementParameters parameters_;
};

// The process-wide session, built at load.
Session& session();

}  // namespace cvx::database
