// Exports of the database family: the one session of the process, its
// statements and stored results, administration and information.
//
// While the session is not connected, gated exports return their gate value
// without calling the client library. Every error raised below an export
// becomes that export's failure value, a client library that could not be
// loaded included.
#include <cstring>

#include "database/session.h"
#include "exports.h"
#include "host/export.h"

using namespace cvx;
using namespace cvx::database;

namespace {

// Results of the family.
constexpr Word kAccepted = kOne;         // connected, statement or command carried out
constexpr Word kRefused = kZero;         // refused connection, statement or command
constexpr Word kDone = kZero;            // success of the calls that report it as 0
constexpr Word kFailed = kMinusOne;      // failure of the calls that report success as 0
constexpr Word kNotConnected = kMinusOne;  // counts and seek while not connected
constexpr Word kCellTooLong = kMinusTwo;   // the cell does not fit the destination
constexpr Word kNoCell = kZero;            // no result set, column, row or destination
// Ungated direct calls that could not be made (no client library loaded).
constexpr Word kCallFailed = kOne;  // a status call: the client's non-zero failure status 1
constexpr Word kNoText = kZero;     // a text call: the null address
constexpr Word kNoNumber = kZero;   // the protocol version

// Raised for a string argument whose buffer holds no terminator within its
// capacity; the export then returns its failure value.
struct UnterminatedText {};

// A string argument's text; a missing record or buffer reads as empty text.
// A buffer without a terminator within its capacity is refused before
// anything is read past it, sent or closed: every export reads all its
// texts before it acts.
const char* text(Word s) {
    const ScriptString* record = string_record(s);
    if (!record || !record->chars) return "";
    const char* t = terminated_text(s);
    if (!t) throw UnterminatedText{};
    return t;
}

// A count returned raw: its low 32 bits.
Word count_result(std::uint64_t count) {
    return raw_result(static_cast<std::int32_t>(static_cast<std::uint32_t>(count)));
}

MYSQL* handle() { return session().handle(); }

// Runs `work`; whatever it raises becomes `failure`.
template <typename Work>
Word attempt(Word failure, Work&& work) noexcept {
    try {
        return work();
    } catch (...) {
        return failure;
    }
}

// `gate` at once while not connected; otherwise as attempt().
template <typename Work>
Word gated(Word gate, Word failure, Work&& work) noexcept {
    if (!session().connected()) return gate;
    return attempt(failure, work);
}

// The address of the client library's text that `call` returns; the null
// address when the call could not be made.
template <typename Call>
Word text_call(Call&& call) noexcept {
    return attempt(kNoText, [&] { return address_result(call()); });
}

// A statement made of `prefix` and a script's text: accepted or refused.
Word statement(std::string_view prefix, Word text_string) noexcept {
    return gated(kRefused, kRefused, [&] {
        session().execute(prefix, text(text_string));
        return kAccepted;
    });
}

// Copies one cell of the current result into `destination` when it fits.
Word read_cell(Word destination, Word column, Word row) {
    ScriptString* dest = string_record(destination);
    StoredResult& result = session().current_result;
    const std::optional<std::string_view> cell =
        result.cell(static_cast<std::uint32_t>(whole(row)), result.find_column(text(column)));
    if (!cell || !dest || !dest->chars) return kNoCell;
    if (dest->capacity < cell->size() + 1) return kCellTooLong;
    std::memcpy(dest->chars, cell->data(), cell->size());
    dest->chars[cell->size()] = '\0';
    return kAccepted;
}

}  // namespace

// ---- session -----------------------------------------------------------------

// mysql__connect(host, user, password, database): plain connection, port 3306.
CVX_EXPORT Word mysql__connect(Word host, Word user, Word password, Word database) CVX_NOEXCEPT {
    return attempt(kRefused, [&] {
        session().connect_plain(text(database), text(host), text(user), text(password));
        return truth(session().connected());
    });
}

// mysql__real__connect(database, host, user, password): full connection.
CVX_EXPORT Word mysql__real__connect(Word database, Word host, Word user, Word password) CVX_NOEXCEPT {
    return attempt(kRefused, [&] {
        session().connect_full(text(database), text(host), text(user), text(password));
        return truth(session().connected());
    });
}

CVX_EXPORT Word mysql__connected() CVX_NOEXCEPT { return truth(session().connected()); }

CVX_EXPORT Word mysql__select__db(Word database) CVX_NOEXCEPT {
    return gated(kRefused, kRefused, [&] {
        session().select_db(text(database));
        return kAccepted;
    });
}

CVX_EXPORT Word mysql__close() CVX_NOEXCEPT {
    return gated(kRefused, kRefused, [] {
        session().close();
        return kAccepted;
    });
}

// mysql__change__user(user, password, database): 0 when reconnected, -1 not.
CVX_EXPORT Word mysql__change__user(Word user, Word password, Word database) CVX_NOEXCEPT {
    return gated(kFailed, kFailed, [&] {
        session().change_user(text(user), text(password), text(database));
        return session().connected() ? kDone : kFailed;
    });
}

CVX_EXPORT Word mysql__ping() CVX_NOEXCEPT {
    return attempt(kCallFailed, [] { return scaled(client().ping(handle())); });
}

// mysql__purge(): closes the link but leaves the session's flags; 0.
CVX_EXPORT Word mysql__purge() CVX_NOEXCEPT {
    return attempt(kDone, [] {
        session().purge();
        return kDone;
    });
}

// ---- statements and results --------------------------------------------------

CVX_EXPORT Word mysql__query(Word text_string) CVX_NOEXCEPT { return statement("", text_string); }

// mysql__db__query(database, statement): 0 when run, -1 when the database
// could not be selected (nothing sent) or the statement was refused.
CVX_EXPORT Word mysql__db__query(Word database, Word text_string) CVX_NOEXCEPT {
    return gated(kFailed, kFailed, [&] {
        const char* const name = text(database);
        const char* const sql = text(text_string);
        session().select_db(name);
        session().execute("", sql);
        return kDone;
    });
}

// mysql__result(destination, column, row): 1 copied, -2 too long, 0 no cell.
CVX_EXPORT Word mysql__result(Word destination, Word column, Word row) CVX_NOEXCEPT {
    return attempt(kNoCell, [&] { return read_cell(destination, column, row); });
}

CVX_EXPORT Word mysql__success() CVX_NOEXCEPT { return truth(session().session_connection.succeeded); }

CVX_EXPORT Word mysql__num__rows() CVX_NOEXCEPT {
    return gated(kNotConnected, kNotConnected, [] { return count_result(session().current_result.row_count()); });
}

CVX_EXPORT Word mysql__num__fields() CVX_NOEXCEPT {
    return gated(kNotConnected, kNotConnected, [] { return scaled(session().current_result.column_count()); });
}

// mysql__data__seek(row): the row number is raw; 0.
CVX_EXPORT Word mysql__data__seek(Word row) CVX_NOEXCEPT {
    return gated(kNotConnected, kNotConnected, [&] {
        session().current_result.seek(raw_unsigned(row));
        return kDone;
    });
}

CVX_EXPORT Word mysql__affected__rows() CVX_NOEXCEPT {
    return gated(kNotConnected, kNotConnected, [] { return count_result(client().affected_rows(handle())); });
}

// ---- administration and information ------------------------------------------

CVX_EXPORT Word mysql__create__db(Word name) CVX_NOEXCEPT { return statement("CREATE database ", name); }

CVX_EXPORT Word mysql__drop__db(Word name) CVX_NOEXCEPT { return statement("DROP DATABASE ", name); }

// mysql__refresh(options): the raw word is the option bit mask; scaled status.
CVX_EXPORT Word mysql__refresh(Word options) CVX_NOEXCEPT {
    return attempt(kCallFailed, [&] { return scaled(client().refresh(handle(), raw_unsigned(options))); });
}

CVX_EXPORT Word mysql__reload() CVX_NOEXCEPT {
    return attempt(kRefused, [] { return truth(client().refresh(handle(), REFRESH_GRANT) == 0); });
}

CVX_EXPORT Word mysql__shutdown() CVX_NOEXCEPT {
    return attempt(kRefused, [] { return truth(client().shutdown(handle(), SHUTDOWN_DEFAULT) == 0); });
}

CVX_EXPORT Word mysql__get__stat() CVX_NOEXCEPT { return text_call([] { return client().stat(handle()); }); }

CVX_EXPORT Word mysql__errno() CVX_NOEXCEPT {
    return gated(kZero, kZero, [] { return scaled(client().error_number(handle())); });
}

// The last error's text; without a client library, the text that says so
// and names the libraries tried.
CVX_EXPORT Word mysql__error() CVX_NOEXCEPT {
    return text_call([] {
        const char* missing = client_missing();
        return missing ? missing : client().error(handle());
    });
}

CVX_EXPORT Word mysql__get__client__info() CVX_NOEXCEPT { return text_call([] { return client().client_info(); }); }

CVX_EXPORT Word mysql__get__host__info() CVX_NOEXCEPT { return text_call([] { return client().host_info(handle()); }); }

CVX_EXPORT Word mysql__get__server__info() CVX_NOEXCEPT { return text_call([] { return client().server_info(handle()); }); }

CVX_EXPORT Word mysql__proto__info() CVX_NOEXCEPT {
    return attempt(kNoNumber, [] { return scaled(client().proto_info(handle())); });
}
