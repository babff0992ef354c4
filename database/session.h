// The process-wide database session: one connection to a server, the text
// of the statement being composed, the stored result of the last statement
// that returned one, and the fixed connection settings.
//
// Failed client calls raise DatabaseError; the exports turn it into their
// failure values. Nothing here logs or prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "database/client_api.h"

namespace cvx::database {

// The session's one error: a client call that failed, with the client
// library's message for the handle at that moment.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The connection: the client handle and the session's flags.
struct SessionConnection {
    // Failed client calls raise DatabaseError. Always on.
    bool raise_errors = true;
    // The one client handle; every call is made on it. Where the client
    // library is linked in it is the embedded one, initialised in place at
    // load. Where the library is loaded at run time it is null until an
    // export first needs it, and then that library allocates it, so its size
    // is the loaded library's own.
    MYSQL* handle = nullptr;
    // A connection attempt established a link (cleared by a close and by a
    // refused full connection).
    bool connected = false;
    // Outcome of the last connection attempt or statement.
    bool succeeded = false;
    // Host of the last link that was established (none before the first).
    std::optional<std::string> last_host;

    SessionConnection();
    ~SessionConnection();
    SessionConnection(const SessionConnection&) = delete;
    SessionConnection& operator=(const SessionConnection&) = delete;

    // The handle, set up first when it is not yet (raises DatabaseError or
    // ClientMissing when it cannot be).
    MYSQL* prepared_handle();
    // Closes the link (if any) and initialises the handle again, so the
    // handle is never used after it was closed.
    void close_handle();
    // Raises DatabaseError with the handle's message when `status` is a
    // failure.
    void check(bool failed);

private:
    void init_handle();

    MYSQL embedded_{};
};

// The statement being composed; empty between exports.
class SessionQuery {
public:
    SessionQuery& operator<<(std::string_view part) {
        text_.append(part);
        return *this;
    }
    const char* text() const { return text_.c_str(); }
    void clear() { text_.clear(); }  // keeps the buffer for the next statement

private:
    std::string text_;
};

// A stored result set, or none. Column names are lower-cased once when the
// set arrives; rows are indexed once, on first read, so reaching any row
// costs the same wherever it stands.
class StoredResult {
public:
    static constexpr std::size_t kNoColumn = static_cast<std::size_t>(-1);

    StoredResult() = default;
    ~StoredResult() { replace(nullptr); }
    StoredResult(const StoredResult&) = delete;
    StoredResult& operator=(const StoredResult&) = delete;

    // Frees the set held (if any) and takes `set` (null for none).
    void replace(MYSQL_RES* set);

    bool holds() const { return set_ != nullptr; }
    std::uint64_t row_count() const { return row_count_; }
    unsigned column_count() const { return column_count_; }

    // The first column whose lower-cased name equals `name` with A-Z
    // lower-cased; kNoColumn when none does.
    std::size_t find_column(const char* name) const;

    // Positions the set's row cursor on `row` (past the end: no current row).
    // Reading cells does not use the cursor.
    void seek(std::uint64_t row);

    // The text of one cell up to its first zero byte ("NULL" for SQL NULL);
    // nothing when there is no such row or column.
    std::optional<std::string_view> cell(std::uint64_t row, std::size_t column);

private:
    void index_rows();

    MYSQL_RES* set_ = nullptr;
    std::uint64_t row_count_ = 0;
    unsigned column_count_ = 0;
    std::string names_;                     // lower-cased names, each zero-terminated
    std::vector<std::size_t> name_starts_;  // where each name starts in names_
    std::string first_letters_;             // each name's first byte, for a quick scan

    // Names looked up lately, as the script wrote them: a script reads the
    // same few columns through the same strings again and again, and a hit
    // costs one short comparison instead of a scan of every column. A name
    // that matches no column is remembered too (as kNoColumn).
    struct RecentName {
        const char* where = nullptr;  // the script's buffer
        char text[24] = {};           // its bytes at the time, terminator included
        std::size_t column = 0;
    };
    static constexpr std::size_t kRecentNames = 8;
    mutable RecentName recent_[kRecentNames];
    mutable std::size_t next_recent_ = 0;
    mutable std::size_t last_hit_ = kRecentNames - 1;
    std::size_t scan_columns(const char* name) const;

    // Once indexed: every row's cells (they stay in place while the set is
    // held) and every cell's length, row after row, so reading any cell is
    // two array lookups wherever its row stands.
    std::vector<MYSQL_ROW> rows_;
    std::vector<std::uint32_t> lengths_;
    bool indexed_ = false;
    bool zero_bytes_ = false;  // some cell holds a zero byte (known once indexed)
};

// Fixed connection settings of the full connection routine.
struct ConnectSettings {
    std::uint32_t port = 0;             // 0: the client library's default
    std::uint8_t compress = 0;
    std::uint32_t connect_timeout = 0;  // seconds; 0: none of the client's own
    std::uint32_t client_flag = 0;
    const char* unix_socket = nullptr;  // none: the client's default socket
    // Host for the reconnection of a change of user; none: the host of the
    // last link that was established.
    const char* change_user_host = nullptr;
};

class Session {
public:
    // Built in this order at load and torn down in reverse at unload: the
    // result is freed, then the statement buffer, then the handle closed.
    SessionConnection session_connection;
    SessionQuery session_query;
    StoredResult current_result;
    const ConnectSettings connect_settings{};

    bool connected() const { return session_connection.connected; }
    MYSQL* handle() { return session_connection.prepared_handle(); }

    // Option file "my", port 3306, then the repeated selection of a
    // non-empty database. A refusal leaves both flags as they were.
    void connect_plain(const char* database, const char* host, const char* user, const char* password);
    // Compression and timeout from the settings, option file "my", the
    // settings' port, socket and flags. A refusal clears both flags.
    void connect_full(const char* database, const char* host, const char* user, const char* password);
    // Closes the link and connects again as another user.
    void change_user(const char* user, const char* password, const char* database);
    void select_db(const char* database);
    // Closes the link; `connected` is cleared only by close(), not purge().
    void close();
    void purge();

    // Composes `prefix` followed by `statement`, runs it and stores its
    // result set. A refused statement raises and leaves the result as it was.
    void execute(std::string_view prefix, const char* statement);

private:
    void run_statement();
    // Opens the link on a handle prepared by the caller; on success sets
    // both flags and selects a non-empty database once more.
    void connect(const char* database, const char* host, const char* user, const char* password,
                 unsigned port, const char* socket, unsigned long flags, bool refusal_clears_flags);
};

// The process-wide session, built at load.
Session& session();

}  // namespace cvx::database
