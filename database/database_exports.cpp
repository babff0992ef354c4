// Exports of the database family: the one session of the process, its
// statements and stored results, administration and information. Each
// converts its words, makes one call into the session and converts the
// outcome.
//
// While the session is not connected, gated exports return their gate value
// without calling the client library. Every error raised below an export
// becomes that export's failure value, a client library that could not be
// loaded included.
#include <cstring>

#include "database/cell_values.h"
#include "database/session.h"
#include "exports.h"
#include "host/export.h"
#include "host/script_string.h"

using namespace cvx;
using namespace cvx::database;

namespace {

// Results of the family.
constexpr Word kAccepted = kOne;           // connected, statement or command carried out
constexpr Word kRefused = kZero;           // refused connection, statement or command
constexpr Word kDone = kZero;              // success of the calls that report it as 0
constexpr Word kFailed = kMinusOne;        // failure of the calls that report success as 0
constexpr Word kNotConnected = kMinusOne;  // counts and seek while not connected
constexpr Word kCellTooLong = kMinusTwo;   // the cell does not fit the destination
constexpr Word kNoCell = kZero;            // no result set, column, row or destination
constexpr Word kNothingPending = kMinusOne;  // poll: nothing is pending
constexpr Word kNullCell = kMinusOne;        // a cell read as a value is SQL NULL
constexpr Word kNotThatKind = kMinusTwo;     // its text is no number of that kind, or out of range
constexpr Word kNotNull = kZero;             // mysql__result__is__null: a cell with a value
constexpr Word kNoCellToTest = kMinusOne;    // mysql__result__is__null: no such cell
constexpr Word kRunning = kZero;             // poll: still going on
// Ungated direct calls that could not be made (no client library loaded).
constexpr Word kCallFailed = kOne;  // a status call: the client's non-zero failure status 1
constexpr Word kNoText = kZero;     // a text call: the null address
constexpr Word kNoNumber = kZero;   // the protocol version, the error number, the thread id

// Raised for a string argument whose buffer holds no terminator within its
// capacity; the export then returns its failure value.
struct UnterminatedText {};

// A string argument's text for work started without waiting, which the
// session refuses and reports when a text is null: without a terminator.
const char* text_or_null(Word s) {
    const ScriptString* record = string_record(s);
    if (!record || !record->chars) return "";
    return terminated_text(s);
}

// A string argument's text; a missing record or buffer reads as empty text.
// A buffer without a terminator within its capacity is refused before
// anything is read past it, sent or closed: every export reads all its
// texts before it acts.
const char* text(Word s) {
    const char* t = text_or_null(s);
    if (!t) throw UnterminatedText{};
    return t;
}

// A count returned raw: its low 32 bits.
Word count_result(std::uint64_t count) {
    return raw_result(static_cast<std::int32_t>(static_cast<std::uint32_t>(count)));
}

// `gate` at once while not connected; otherwise the work, failing as `gate`.
template <typename Work>
Word gated(Word gate, Work&& work) noexcept {
    if (!session().connected()) return gate;
    return failing_as(gate, work);
}

// The address of the client library's text that `call` returns; the null
// address when the call could not be made.
template <typename Call>
Word text_call(Call&& call) noexcept {
    return failing_as(kNoText, [&] { return address_result(call()); });
}

// A statement made of `prefix` and a script's text: accepted or refused.
Word statement(std::string_view prefix, Word text_string) noexcept {
    return gated(kRefused, [&] {
        session().execute(prefix, text(text_string));
        return kAccepted;
    });
}

// A connection routine, waiting: accepted or refused.
Word connection(Routine routine, Word database, Word host, Word user, Word password) noexcept {
    return failing_as(kRefused, [&] {
        session().connect(routine, text(database), text(host), text(user), text(password));
        return kAccepted;
    });
}

// The same routine started without waiting: started or not.
Word connection_start(Routine routine, Word database, Word host, Word user, Word password) noexcept {
    return failing_as(kRefused, [&] {
        session().start_connect(routine, text_or_null(database), text_or_null(host), text_or_null(user),
                                text_or_null(password));
        return kAccepted;
    });
}

// A parameter setter: 1 when set; 0 when the index is out of range,
// reported.
Word parameter_set(bool set) {
    if (!set) session().report_refusal(StatementParameters::kNoSuchIndex);
    return kAccepted;
}

// The cell that mysql__result reads for the same column and row.
std::optional<std::string_view> stored_cell(Word column, Word row) {
    const TextRoom name = text_room(column);
    return session().cell(static_cast<std::uint32_t>(whole(row)), name.chars, name.capacity);
}

// A cell read as a value of 32 bits into the storage at `to`: 1 stored,
// 0 no cell (or no storage), -1 SQL NULL, -2 not a value `read` takes.
template <typename Read>
Word cell_value(Word to, Word column, Word row, Read&& read) noexcept {
    return failing_as(kNoCell, [&] {
        const auto cell = stored_cell(column, row);
        if (!cell || !to) return kNoCell;
        if (StoredRows::is_null(*cell)) return kNullCell;
        const std::optional<std::int32_t> value = read(*cell);
        if (!value) return kNotThatKind;
        std::memcpy(address<unsigned char>(to), &*value, sizeof *value);
        return kAccepted;
    });
}

// What a poll reports.
Word progress(Progress p) {
    switch (p) {
        case Progress::running: return kRunning;
        case Progress::finished: return kAccepted;
        case Progress::none: break;
    }
    return kNothingPending;
}

}  // namespace

// ---- session -----------------------------------------------------------------

// mysql__connect(host, user, password, database): plain connection, port 3306.
CVX_EXPORT Word mysql__connect(Word host, Word user, Word password, Word database) CVX_NOEXCEPT {
    return connection(Routine::plain, database, host, user, password);
}

// mysql__real__connect(database, host, user, password): full connection.
CVX_EXPORT Word mysql__real__connect(Word database, Word host, Word user, Word password) CVX_NOEXCEPT {
    return connection(Routine::full, database, host, user, password);
}

// mysql__connect__start(host, user, password, database) and
// mysql__real__connect__start(database, host, user, password): the same
// attempts started without waiting; 1 when started, 0 when nothing was.
CVX_EXPORT Word mysql__connect__start(Word host, Word user, Word password, Word database) CVX_NOEXCEPT {
    return connection_start(Routine::plain, database, host, user, password);
}

CVX_EXPORT Word mysql__real__connect__start(Word database, Word host, Word user, Word password) CVX_NOEXCEPT {
    return connection_start(Routine::full, database, host, user, password);
}

// mysql__connect__poll(): -1 nothing pending, 0 still going on, 1 finished.
CVX_EXPORT Word mysql__connect__poll() CVX_NOEXCEPT {
    return failing_as(kNothingPending, [] { return progress(session().poll_connect()); });
}

CVX_EXPORT Word mysql__connected() CVX_NOEXCEPT { return truth(session().connected()); }

CVX_EXPORT Word mysql__select__db(Word database) CVX_NOEXCEPT {
    return gated(kRefused, [&] {
        session().select_db(text(database));
        return kAccepted;
    });
}

// mysql__close(): 1 when a link was up, 0 when not (a pending connection
// attempt is given up either way).
CVX_EXPORT Word mysql__close() CVX_NOEXCEPT {
    return failing_as(kRefused, [] { return truth(session().close()); });
}

// mysql__change__user(user, password, database): 0 when reconnected, -1 not.
CVX_EXPORT Word mysql__change__user(Word user, Word password, Word database) CVX_NOEXCEPT {
    return gated(kFailed, [&] {
        session().change_user(text(user), text(password), text(database));
        return kDone;
    });
}

CVX_EXPORT Word mysql__ping() CVX_NOEXCEPT {
    return failing_as(kCallFailed, [] { return scaled(session().ping()); });
}

// mysql__thread__id(): the server's id of the link, raw; 0 without one.
CVX_EXPORT Word mysql__thread__id() CVX_NOEXCEPT {
    return gated(kNoNumber, [] { return count_result(session().thread_id()); });
}

// mysql__purge(): closes the link but leaves the session's flags; 0.
CVX_EXPORT Word mysql__purge() CVX_NOEXCEPT {
    return failing_as(kDone, [] {
        session().purge();
        return kDone;
    });
}

// ---- statements and results --------------------------------------------------

CVX_EXPORT Word mysql__query(Word text_string) CVX_NOEXCEPT { return statement("", text_string); }

// mysql__db__query(database, statement): 0 when run, -1 when the database
// could not be selected (nothing sent) or the statement was refused.
CVX_EXPORT Word mysql__db__query(Word database, Word text_string) CVX_NOEXCEPT {
    return gated(kFailed, [&] {
        session().execute_in(text(database), text(text_string));
        return kDone;
    });
}

// mysql__query__start(statement): 1 when started, 0 when nothing was.
CVX_EXPORT Word mysql__query__start(Word text_string) CVX_NOEXCEPT {
    return failing_as(kRefused, [&] {
        session().start(terminated_text(text_string));
        return kAccepted;
    });
}

// mysql__query__poll(): -1 nothing running, 0 still running, 1 finished.
CVX_EXPORT Word mysql__query__poll() CVX_NOEXCEPT {
    return failing_as(kNothingPending, [] { return progress(session().poll()); });
}

// mysql__query__pending(): statements started and not yet reported.
CVX_EXPORT Word mysql__query__pending() CVX_NOEXCEPT {
    return failing_as(kZero, [] { return scaled(static_cast<std::int32_t>(session().pending())); });
}

// mysql__result(destination, column, row): 1 copied, -2 too long, 0 no cell.
CVX_EXPORT Word mysql__result(Word destination, Word column, Word row) CVX_NOEXCEPT {
    return failing_as(kNoCell, [&] {
        const TextRoom name = text_room(column);
        switch (session().copy_cell(static_cast<std::uint32_t>(whole(row)), name.chars, name.capacity,
                                    string_record(destination))) {
            case CellCopy::copied: return kAccepted;
            case CellCopy::too_long: return kCellTooLong;
            case CellCopy::none: break;
        }
        return kNoCell;
    });
}

// The other cell reads have the column lookup built into them (flatten):
// with several exports calling it, the compiler would otherwise call it
// out of line, about 8 instructions more a cell.

// mysql__result__number(address, column, row) and
// mysql__result__integer(address, column, row): the cell as a script number
// (rounded to 1/1024) or as a raw 32-bit integer; 1 stored, 0 no cell,
// -1 SQL NULL, -2 not such a number.
CVX_EXPORT __attribute__((flatten)) Word mysql__result__number(Word to, Word column, Word row) CVX_NOEXCEPT {
    return cell_value(to, column, row, script_number_of);
}

CVX_EXPORT __attribute__((flatten)) Word mysql__result__integer(Word to, Word column, Word row) CVX_NOEXCEPT {
    return cell_value(to, column, row, integer_of);
}

// mysql__result__is__null(column, row): 1 SQL NULL, 0 not, -1 no cell.
CVX_EXPORT __attribute__((flatten)) Word mysql__result__is__null(Word column, Word row) CVX_NOEXCEPT {
    return failing_as(kNoCellToTest, [&] {
        const auto cell = stored_cell(column, row);
        if (!cell) return kNoCellToTest;
        return StoredRows::is_null(*cell) ? kAccepted : kNotNull;
    });
}

// mysql__field__name(destination, index): the name of column index (from
// 0) as the server gave it; 1 copied, -2 too long, 0 no such column.
CVX_EXPORT Word mysql__field__name(Word destination, Word index) CVX_NOEXCEPT {
    return failing_as(kNoCell, [&] {
        const auto name = session().column_name(static_cast<std::uint32_t>(whole(index)));
        const Destination room = destination_arg(destination);
        if (!name || !room.chars) return kNoCell;
        return put(room, 0, name->data(), name->size()) ? kAccepted : kCellTooLong;
    });
}

CVX_EXPORT Word mysql__success() CVX_NOEXCEPT { return truth(session().succeeded()); }

CVX_EXPORT Word mysql__num__rows() CVX_NOEXCEPT {
    return gated(kNotConnected, [] { return count_result(session().row_count()); });
}

CVX_EXPORT Word mysql__num__fields() CVX_NOEXCEPT {
    return gated(kNotConnected, [] { return scaled(session().column_count()); });
}

// mysql__data__seek(row): 0. Every cell read names its own row, so there
// is no cursor for the row (raw) to move.
CVX_EXPORT Word mysql__data__seek(Word /*row*/) CVX_NOEXCEPT {
    return gated(kNotConnected, [] { return kDone; });
}

CVX_EXPORT Word mysql__affected__rows() CVX_NOEXCEPT {
    return gated(kNotConnected, [] { return count_result(session().affected_rows()); });
}

// mysql__insert__id(): the AUTO_INCREMENT value of the last statement, raw.
CVX_EXPORT Word mysql__insert__id() CVX_NOEXCEPT {
    return gated(kNotConnected, [] { return count_result(session().insert_id()); });
}

// ---- statements with parameters ------------------------------------------------

// mysql__param__text(index, text), mysql__param__number(index, number),
// mysql__param__integer(index, raw), mysql__param__null(index): parameter
// index (whole, from 1) set to a copy of the value; 1 when set, 0 refused.
CVX_EXPORT Word mysql__param__text(Word index, Word value) CVX_NOEXCEPT {
    return failing_as(kRefused, [&] {
        const ScriptString* record = string_record(value);
        const auto t = record && record->chars ? text_arg(record) : std::string_view();
        if (!t) session().report_refusal("No parameter set: the text has no terminator within its buffer.");
        return parameter_set(session().parameters().set_text(whole(index), *t));
    });
}

CVX_EXPORT Word mysql__param__number(Word index, Word value) CVX_NOEXCEPT {
    return failing_as(kRefused, [&] {
        return parameter_set(session().parameters().set_number(whole(index), raw(value)));
    });
}

CVX_EXPORT Word mysql__param__integer(Word index, Word value) CVX_NOEXCEPT {
    return failing_as(kRefused, [&] {
        return parameter_set(session().parameters().set_integer(whole(index), raw(value)));
    });
}

CVX_EXPORT Word mysql__param__null(Word index) CVX_NOEXCEPT {
    return failing_as(kRefused, [&] { return parameter_set(session().parameters().set_null(whole(index))); });
}

// mysql__param__clear(): every parameter unset; 1.
CVX_EXPORT Word mysql__param__clear() CVX_NOEXCEPT {
    session().parameters().clear();
    return kAccepted;
}

// mysql__query__params(statement): each ? replaced by the parameter of its
// place, then run as mysql__query runs a statement; 1 accepted, 0 refused.
CVX_EXPORT Word mysql__query__params(Word text_string) CVX_NOEXCEPT {
    return gated(kRefused, [&] {
        session().execute_with_parameters(text(text_string));
        return kAccepted;
    });
}

// mysql__query__params__start(statement): the same, started as
// mysql__query__start starts it; 1 when started, 0 when nothing was.
CVX_EXPORT Word mysql__query__params__start(Word text_string) CVX_NOEXCEPT {
    return failing_as(kRefused, [&] {
        session().start_with_parameters(terminated_text(text_string));
        return kAccepted;
    });
}

// mysql__real__escape__string(source, destination): the source escaped
// for a quoted SQL string literal; 1 when written, 0 when refused.
CVX_EXPORT Word mysql__real__escape__string(Word source, Word destination) CVX_NOEXCEPT {
    return failing_as(kRefused, [&] {
        const auto source_text = text_arg(source);
        const Destination room = destination_arg(destination);
        if (!source_text || !room.chars) return kRefused;
        const std::string escaped = session().escaped(*source_text);
        return put(room, 0, escaped.data(), escaped.size()) ? kAccepted : kRefused;
    });
}

// ---- administration and information ------------------------------------------

CVX_EXPORT Word mysql__create__db(Word name) CVX_NOEXCEPT { return statement("CREATE database ", name); }

CVX_EXPORT Word mysql__drop__db(Word name) CVX_NOEXCEPT { return statement("DROP DATABASE ", name); }

// mysql__refresh(options): the raw word is the option bit mask; scaled status.
CVX_EXPORT Word mysql__refresh(Word options) CVX_NOEXCEPT {
    return failing_as(kCallFailed, [&] { return scaled(session().refresh(raw_unsigned(options))); });
}

CVX_EXPORT Word mysql__reload() CVX_NOEXCEPT {
    return failing_as(kRefused, [] { return truth(session().reload()); });
}

CVX_EXPORT Word mysql__shutdown() CVX_NOEXCEPT {
    return failing_as(kRefused, [] { return truth(session().shutdown()); });
}

CVX_EXPORT Word mysql__get__stat() CVX_NOEXCEPT { return text_call([] { return session().statistics(); }); }

CVX_EXPORT Word mysql__errno() CVX_NOEXCEPT {
    return failing_as(kNoNumber, [] { return scaled(session().error_number()); });
}

// The last error's text; without a client library, the text that says so
// and names the libraries tried.
CVX_EXPORT Word mysql__error() CVX_NOEXCEPT { return text_call([] { return session().error_text(); }); }

CVX_EXPORT Word mysql__get__client__info() CVX_NOEXCEPT { return text_call([] { return session().client_info(); }); }

CVX_EXPORT Word mysql__get__host__info() CVX_NOEXCEPT { return text_call([] { return session().host_info(); }); }

CVX_EXPORT Word mysql__get__server__info() CVX_NOEXCEPT {
    return text_call([] { return session().server_info(); });
}

CVX_EXPORT Word mysql__proto__info() CVX_NOEXCEPT {
    return failing_as(kNoNumber, [] { return scaled(session().proto_info()); });
}

// ---- character set and TLS ------------------------------------------------------

// mysql__set__character__set(name): 0 when the link now uses it (and every
// later link will), -1 when refused.
CVX_EXPORT Word mysql__set__character__set(Word name) CVX_NOEXCEPT {
    return gated(kFailed, [&] {
        session().set_character_set(terminated_text(name));
        return kDone;
    });
}

CVX_EXPORT Word mysql__character__set__name() CVX_NOEXCEPT {
    return gated(kNoText, [] { return address_result(session().character_set_name()); });
}

// The link's TLS cipher; the null address for a link without TLS.
CVX_EXPORT Word mysql__get__ssl__cipher() CVX_NOEXCEPT {
    return gated(kNoText, [] { return address_result(session().ssl_cipher()); });
}
