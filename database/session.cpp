#include "database/session.h"

#include <cstring>

#include "host/module.h"

namespace cvx::database {
namespace {

constexpr unsigned kPlainPort = 3306;
// The client library reads its connection options from this file, in the
// current directory, on every connection.
constexpr const char* kOptionFile = "my";

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

// ---- connection -------------------------------------------------------------

// Built at load where the client library is linked in; where it is loaded
// at run time, loading it here (inside the system's loader) is not allowed,
// so the handle waits for the first export that needs it.
SessionConnection::SessionConnection() {
    if (client_linked()) init_handle();
}

// The unload closes the handle once and releases what the client library
// set up for itself on the first mysql_init. A handle that was never set up
// needs neither (and the client library may never have been loaded). When
// the whole process is ending nothing is called: the client library may
// already be detached, and the system closes the link.
SessionConnection::~SessionConnection() {
    if (!handle || process_terminating()) return;
    client().close(handle);
    client().library_end();
}

// In place on the embedded handle (the result is that same handle), or
// allocated by a library loaded at run time (null when it cannot be).
void SessionConnection::init_handle() {
    MYSQL* const place = client_linked() ? &embedded_ : nullptr;
    MYSQL* const made = client().init(place);
    handle = place ? place : made;
}

MYSQL* SessionConnection::prepared_handle() {
    if (!handle) init_handle();
    if (!handle) throw DatabaseError("the client library could not set up a handle");
    return handle;
}

void SessionConnection::close_handle() {
    if (handle) client().close(handle);  // also frees an allocated handle
    handle = nullptr;
    prepared_handle();
}

void SessionConnection::check(bool failed) {
    if (failed && raise_errors) throw DatabaseError(client().error(handle));
}

// ---- stored result ----------------------------------------------------------

void StoredResult::replace(MYSQL_RES* set) {
    if (set_) client().free_result(set_);
    set_ = set;
    names_.clear();
    name_starts_.clear();
    first_letters_.clear();
    column_count_ = 0;
    zero_bytes_ = false;
    for (RecentName& r : recent_) r = RecentName{};
    next_recent_ = 0;
    last_hit_ = kRecentNames - 1;
    // A fresh vector, not "= {}": assigning an empty list keeps the old
    // capacity, and the index's memory must go with the set.
    rows_ = std::vector<MYSQL_ROW>();
    lengths_ = std::vector<std::uint32_t>();
    indexed_ = false;
    row_count_ = set_ ? client().num_rows(set_) : 0;
    if (!set_) return;
    column_count_ = client().num_fields(set_);
    for (unsigned i = 0; i < column_count_; ++i) {
        const MYSQL_FIELD* field = client().fetch_field_direct(set_, i);
        name_starts_.push_back(names_.size());
        for (const char* c = field && field->name ? field->name : ""; *c; ++c) names_.push_back(lower(*c));
        names_.push_back('\0');
        first_letters_.push_back(names_[name_starts_.back()]);
    }
}

std::size_t StoredResult::find_column(const char* name) const {
    // A hit is the same buffer holding the same bytes as when it was looked
    // up. Scripts read columns in a steady order, so the search starts at
    // the entry after the last hit.
    for (std::size_t i = 0; i < kRecentNames; ++i) {
        const std::size_t slot = (last_hit_ + 1 + i) % kRecentNames;
        const RecentName& r = recent_[slot];
        if (r.where == name && std::strcmp(r.text, name) == 0) {
            last_hit_ = slot;
            return r.column;
        }
    }
    const std::size_t column = scan_columns(name);
    const std::size_t length = std::strlen(name);
    if (length < sizeof recent_[0].text) {
        last_hit_ = next_recent_;
        RecentName& r = recent_[next_recent_];
        next_recent_ = (next_recent_ + 1) % kRecentNames;
        r.where = name;
        std::memcpy(r.text, name, length + 1);
        r.column = column;
    }
    return column;
}

// Names are stored zero-terminated, so the requested name is compared in
// the same pass that lower-cases it, without measuring it first.
std::size_t StoredResult::scan_columns(const char* name) const {
    const char first = lower(name[0]);
    for (std::size_t i = 0; i < column_count_; ++i) {
        if (first_letters_[i] != first) continue;
        const char* stored = names_.data() + name_starts_[i];
        std::size_t k = 0;
        while (stored[k] != '\0' && stored[k] == lower(name[k])) ++k;
        if (stored[k] == '\0' && name[k] == '\0') return i;
    }
    return kNoColumn;
}

// Walks the rows once, keeping each row's cells and their lengths, and
// noting whether any cell holds a zero byte: when none does, a cell's text
// is its whole length and reads need not look for one.
void StoredResult::index_rows() {
    rows_.reserve(static_cast<std::size_t>(row_count_));
    lengths_.reserve(static_cast<std::size_t>(row_count_) * column_count_);
    client().data_seek(set_, 0);
    for (std::uint64_t i = 0; i < row_count_; ++i) {
        const MYSQL_ROW cells = client().fetch_row(set_);
        const unsigned long* lengths = cells ? client().fetch_lengths(set_) : nullptr;
        if (!lengths) break;
        rows_.push_back(cells);
        for (unsigned c = 0; c < column_count_; ++c) {
            lengths_.push_back(static_cast<std::uint32_t>(lengths[c]));
            zero_bytes_ = zero_bytes_ || (cells[c] && std::memchr(cells[c], 0, lengths[c]));
        }
    }
    indexed_ = true;
}

void StoredResult::seek(std::uint64_t row) {
    if (set_) client().data_seek(set_, row);
}

std::optional<std::string_view> StoredResult::cell(std::uint64_t row, std::size_t column) {
    if (!set_ || column >= column_count_ || row >= row_count_) return std::nullopt;
    if (!indexed_) index_rows();
    if (row >= rows_.size()) return std::nullopt;
    const std::size_t r = static_cast<std::size_t>(row);
    const char* text = rows_[r][column];
    if (!text) return std::string_view("NULL");
    const std::size_t length = lengths_[r * column_count_ + column];
    const void* zero = zero_bytes_ ? std::memchr(text, 0, length) : nullptr;
    return std::string_view(text, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text) : length);
}

// ---- session ----------------------------------------------------------------

// The client library refuses to connect a handle that already holds a link,
// so every attempt starts from a fresh handle: a link still up is dropped
// first, and options of an earlier attempt do not pile up.
void Session::connect(const char* database, const char* host, const char* user, const char* password,
                      unsigned port, const char* socket, unsigned long flags, bool refusal_clears_flags) {
    SessionConnection& c = session_connection;
    client().options(c.handle, MYSQL_READ_DEFAULT_FILE, kOptionFile);
    if (!client().real_connect(c.handle, host, user, password, database, port, socket, flags)) {
        if (refusal_clears_flags) c.connected = c.succeeded = false;
        c.check(true);
        return;
    }
    c.connected = c.succeeded = true;
    c.last_host = host ? std::optional<std::string>(host) : std::nullopt;
    if (database && *database) c.check(client().select_db(c.handle, database) != 0);
}

void Session::connect_plain(const char* database, const char* host, const char* user, const char* password) {
    session_connection.close_handle();
    connect(database, host, user, password, kPlainPort, nullptr, 0, false);
}

void Session::connect_full(const char* database, const char* host, const char* user, const char* password) {
    SessionConnection& c = session_connection;
    const ConnectSettings& s = connect_settings;
    c.close_handle();
    if (s.compress) client().options(c.handle, MYSQL_OPT_COMPRESS, nullptr);
    const unsigned timeout = s.connect_timeout;
    client().options(c.handle, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    connect(database, host, user, password, s.port, s.unix_socket, s.client_flag, true);
}

void Session::change_user(const char* user, const char* password, const char* database) {
    session_connection.close_handle();
    // Copied: connecting replaces the remembered host.
    const std::optional<std::string> host =
        connect_settings.change_user_host ? std::optional<std::string>(connect_settings.change_user_host)
                                          : session_connection.last_host;
    connect(database, host ? host->c_str() : nullptr, user, password, kPlainPort, nullptr, 0, false);
}

void Session::select_db(const char* database) {
    session_connection.check(client().select_db(handle(), database) != 0);
}

void Session::close() {
    session_connection.close_handle();
    session_connection.connected = false;
}

void Session::purge() { session_connection.close_handle(); }

void Session::execute(std::string_view prefix, const char* statement) {
    session_query.clear();
    session_query << prefix << statement;
    run_statement();
}

void Session::run_statement() {
    SessionConnection& c = session_connection;
    c.succeeded = false;
    const int status = client().query(c.handle, session_query.text());
    session_query.clear();
    c.succeeded = status == 0;
    c.check(status != 0);
    MYSQL_RES* const set = client().store_result(c.handle);
    // No set and an error: the rows broke off on the way (the link went down
    // in the middle of them). That is a refused statement, so the earlier
    // result stays the current one.
    if (!set && client().error_number(c.handle) != 0) {
        c.succeeded = false;
        c.check(true);
        return;
    }
    current_result.replace(set);
}

// Built by the runtime's start-up when the library is loaded, before any
// export can run; torn down at unload.
namespace {
Session the_session;
}  // namespace

Session& session() { return the_session; }

}  // namespace cvx::database
