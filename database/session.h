// The process-wide database session: one link to a server, the stored
// result of the last statement that returned one, the session's two flags,
// and at most one statement running without the script waiting for it.
//
// Every operation the database exports need is one call here; the exports
// only convert words. Failed client calls raise DatabaseError, which the
// exports turn into their failure values. Nothing here logs or prints.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "database/client_api.h"
#include "database/result_set.h"

namespace cvx::database {

// The session's one error: a client call that failed, with the client
// library's message for the handle at that moment.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One client handle, allocated by the client library (so its size is always
// the loaded library's own) and closed exactly once.
class ClientHandle {
public:
    ClientHandle() = default;
    // A fresh handle; raises DatabaseError when the client cannot make one.
    // `started` is set once the client library has set itself up.
    static ClientHandle make(bool& started);

    ~ClientHandle() { close(); }
    ClientHandle(ClientHandle&& other) noexcept : nonblocking_(other.nonblocking_), mysql_(other.release()) {}
    ClientHandle& operator=(ClientHandle&& other) noexcept;

    MYSQL* get() const { return mysql_; }
    // Lets the handle run statements without waiting (set on its first
    // use); false when the client library refuses.
    bool allow_nonblocking();
    // Closes the link, if any, and frees the handle.
    void close() noexcept;
    // Gives the handle up without a client call (the process is exiting).
    MYSQL* release() noexcept;

private:
    explicit ClientHandle(MYSQL* mysql) : mysql_(mysql) {}
    bool nonblocking_ = false;
    MYSQL* mysql_ = nullptr;
};

// Where a statement started without waiting stands.
enum class Progress { none, running, finished };

// A statement started without waiting: the text the client library sends
// from, the stage it is in and what the client waits for.
struct PendingStatement {
    enum class Stage { query, store } stage = Stage::query;
    std::string text;
    int waiting = 0;  // the client's MYSQL_WAIT_* events; 0 when the stage is done
    std::optional<std::chrono::steady_clock::time_point> deadline;
    int query_status = 0;
    MYSQL_RES* set = nullptr;
};

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
    // Every attempt connects a handle of its own, which replaces the
    // session's link (closing the old one) only when the server accepts it.
    // A refused attempt raises and leaves the link, the flags and the
    // result as they were; the error exports then report the refusal.
    //
    // Plain: option file "my", port 3306, then the named database selected
    // once more.
    void connect_plain(const char* database, const char* host, const char* user, const char* password);
    // Full: option file "my", the client's default port and socket. A
    // refusal while no link is up also clears `succeeded`.
    void connect_full(const char* database, const char* host, const char* user, const char* password);
    // A plain connection as another user to the host of the last link that
    // was established.
    void change_user(const char* user, const char* password, const char* database);
    void select_db(const char* database);
    // Both close the link; only close() clears `connected`. Neither waits
    // for a statement that is still running: it counts as refused.
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

    // Starts a statement and returns without waiting for the server; raises
    // (with the reason reported by the error exports) when nothing was
    // started: not connected, no statement (null), one already running, or
    // a client library without the non-blocking calls.
    void start(const char* statement);
    // Does the work that is ready for the running statement, never waiting
    // for the network. When it has finished, its outcome takes effect as if
    // execute() had run it.
    Progress poll();

    // ---- stored result (these never wait for a running statement) ----------
    std::uint64_t row_count() const { return current_result_.row_count(); }
    unsigned column_count() const { return current_result_.column_count(); }
    void seek(std::uint64_t row) { current_result_.seek(row); }
    std::optional<std::string_view> cell(std::uint64_t row, TextRoom column) {
        return current_result_.cell(row, column);
    }
    std::uint64_t affected_rows();

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
    // The handle for a client call: a running statement completed first,
    // and the handle's own error reported from then on.
    MYSQL* link();
    // The same, but null when the session has no handle (closed): no new
    // one is made just to be asked about.
    MYSQL* existing_link();
    void check(bool failed);
    [[noreturn]] void refuse(unsigned number, const char* why);

    ClientHandle attempt(const char* database, const char* host, const char* user, const char* password,
                         unsigned port);
    void adopt(ClientHandle link, const char* host, const char* database);
    // Takes a statement's outcome: true (the new result current) when the
    // server accepted it and its rows all arrived.
    bool take_outcome(int status, MYSQL_RES* set);

    void wait_for(int events);
    bool advance(bool wait);
    int ready_events(bool wait);
    void finish_pending();
    void complete_pending();
    void abandon_pending();

    ClientHandle session_connection_;
    ResultSet current_result_;
    bool connected_ = false;
    bool succeeded_ = false;
    std::optional<std::string> last_host_;  // of the last link established
    std::string statement_;                 // the statement being sent
    std::optional<Report> report_;
    std::optional<PendingStatement> pending_;
    bool client_started_ = false;   // a handle was ever made: the client set itself up
    std::optional<std::string> character_set_;  // the script's choice, for every link
};

// The process-wide session, built at load.
Session& session();

}  // namespace cvx::database
