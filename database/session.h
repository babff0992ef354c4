// The process-wide database session: one link to a server, the stored
// result of the last statement that returned one, the session's two flags,
// a queue of statements and at most one connection attempt going on
// without the script waiting for them.
//
// Every operation the database exports need is one call here; the exports
// only convert words. Failed client calls raise DatabaseError, which the
// exports turn into their failure values. Nothing here logs or prints.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "database/client_handle.h"
#include "database/connection_attempt.h"
#include "database/page_memory.h"
#include "database/result_set.h"
#include "database/running_statement.h"

namespace cvx::database {

// Where work started without waiting stands.
enum class Progress { none, running, finished };

class Session {
public:
    Session();
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
    // connect() had made it: accepted, it gives up a running statement.
    Progress poll_connect();

    void select_db(const char* database);
    // Both close the link; only close() clears `connected`. Neither waits
    // for a statement or an attempt still going on: a statement counts as
    // refused, an attempt never takes effect.
    void close();
    void purge();
    int ping();

    // ---- statements --------------------------------------------------------
    // Runs `prefix` followed by `statement` and stores its result set. A
    // refused statement raises and leaves the result as it was.
    void execute(std::string_view prefix, const char* statement);
    // Selects the database, then runs the statement; nothing is sent when
    // the database cannot be selected.
    void execute_in(const char* database, const char* statement);

    // Starts a statement and returns without waiting for the server: sent at
    // once when nothing is pending, otherwise queued (its text copied) to be
    // sent when the ones before it have been reported. Raises (with the
    // reason reported by the error exports) when nothing was started: not
    // connected, no statement (null), the queue full, or a client library
    // without the non-blocking calls.
    void start(const char* statement);
    // Does the work that is ready for the oldest statement not yet reported,
    // within a slice of well under a millisecond, never waiting for the
    // network. When it has finished, its outcome takes effect as if
    // execute() had run it, and the next one is sent.
    Progress poll();
    // Statements started and not yet reported.
    std::size_t pending() const { return running_ ? 1 + queued_.size() : 0; }

    // ---- stored result (these never wait for a running statement) ----------
    std::uint64_t row_count() const { return current_result_.row_count(); }
    unsigned column_count() const { return current_result_.column_count(); }
    // The cell of `row` in the column named by the text at `name`, read
    // within `capacity` bytes.
    std::optional<std::string_view> cell(std::uint64_t row, const char* name, std::size_t capacity) {
        return current_result_.cell(row, name, capacity);
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
    unsigned error_number();
    const char* error_text();
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
    // An error the session reports instead of the handle's own.
    struct Report {
        unsigned number = 0;
        std::string text;
    };

    // The handle, made first when there is none.
    MYSQL* handle();
    // The handle for a client call: the statements pending run to their end
    // first, and the handle's own error is reported from then on.
    MYSQL* link();
    void check(bool failed);
    [[noreturn]] void refuse(unsigned number, const char* why);

    // A fresh handle with the connection options set.
    ClientHandle prepared_handle();
    ConnectTarget target_of(Routine routine, const char* database, const char* host, const char* user,
                            const char* password) const;
    // A refused attempt: its error reported, `succeeded` cleared where the
    // routine says so; raises.
    [[noreturn]] void refused(const ConnectTarget& target, MYSQL* mysql);
    // The accepted link replaces the session's (the old one closed once).
    void adopt(ClientHandle link, const ConnectTarget& target);

    // Takes a statement's outcome: true (its result current) when the
    // server accepted it and its rows all arrived.
    bool take_outcome(StatementOutcome outcome);

    void send_next();
    void finish_statement();
    void complete_statements();
    void abandon_statements();
    void finish_attempt();
    void complete_attempt();
    void abandon_attempt();
    // Gives back memory of replaced results within a poll's share of time.
    void release_some();

    ClientHandle session_connection_;
    ResultSet current_result_;
    ReleaseQueue retired_;  // the memory of results that were replaced
    bool connected_ = false;
    bool succeeded_ = false;
    std::uint64_t affected_rows_ = 0;
    std::uint64_t insert_id_ = 0;
    std::optional<std::string> last_host_;  // of the last link established
    std::string statement_;                 // the statement being sent
    std::optional<Report> report_;
    std::optional<RunningStatement> running_;  // the oldest not yet reported, sent
    std::deque<std::string> queued_;           // the ones after it, not yet sent
    std::size_t queued_bytes_ = 0;
    std::optional<ConnectionAttempt> attempt_;
    bool client_started_ = false;  // a handle was ever made: the client set itself up
    std::optional<std::string> character_set_;  // the script's choice, for every link
};

// The process-wide session, built at load.
Session& session();

}  // namespace cvx::database
