// Fuzzes sequences of database exports against a private server: each input
// connects (or fails to: wrong password, a port nobody listens on, a
// database it names), then calls the exports with arbitrary strings
// (contents, capacities, terminators, null records and buffers) and numbers,
// statements from a dictionary or the input, started and polled or
// overtaken, escapes into any destination (the source included), parameters
// of any index and value bound into statements with placeholders, cells read
// as numbers into storage or a null address. After every call every guard
// must be intact, every string and storage hold its bytes except where the
// export may write, and the result be one that exports.txt lists. Each
// input ends with the session closed and the parameters cleared.
//
// The server: CVX_FUZZ_DB_PORT (TCP on 127.0.0.1) and CVX_FUZZ_DB_SOCKET,
// account CVX_FUZZ_DB_USER / CVX_FUZZ_DB_PASSWORD (default cvx /
// cvx-secret); the fuzzer writes the option file "my" of its working
// directory. mysql__connect asks for port 3306, and mysql__change__user
// reconnects the same way to the last accepted host; neither may reach a
// server on 127.0.0.1:3306 that is not ours, so accepted links use the unix
// socket (host "localhost" or empty) and change_user is skipped while the
// last accepted link may be over TCP. mysql__shutdown is never called,
// mysql__refresh gets only harmless masks, databases are created and
// dropped only under the fuzz_ prefix, and statements from the input that
// hold a word able to change the server, wait or run long are replaced.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <optional>

#include "fuzz/fuzz_support.h"
#include "tools/unused_port.h"

namespace {

using namespace cvx;
using namespace cvx::fuzz;

constexpr std::int32_t kNum1 = 1024;  // the script number 1

struct Server {
    std::string port, socket, user, password, unused_port;
};

const char* env_or(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

// The option file "my": our server's port and socket, or ones where nothing
// listens; rewritten only when the other is needed.
void write_option_file(const Server& s, bool nobody) {
    static std::optional<bool> written;
    if (written == nobody) return;
    std::ofstream("my", std::ios::trunc) << "[client]\nconnect-timeout=2\nport=" << (nobody ? s.unused_port : s.port)
                                         << "\nsocket=" << s.socket << (nobody ? ".missing" : "") << "\n";
    written = nobody;
}

// ---- strings ------------------------------------------------------------------

// `bytes` filling a whole buffer: no terminator within its capacity.
Word unterminated(Values& s, std::string_view bytes) {
    std::string b(bytes);
    std::replace(b.begin(), b.end(), '\0', 'u');
    if (b.empty()) b = "u";
    return s.string(static_cast<std::uint32_t>(b.size()), b).word();
}

// ---- choices ------------------------------------------------------------------

const char* const kStatements[] = {
    "SELECT 1 AS a, NULL AS b, 'x\\0y' AS c",
    "SELECT CONCAT('p', CHAR(0), 'q') AS z, '' AS e, NULL AS n",
    "SELECT 1 AS a UNION ALL SELECT 2 UNION ALL SELECT NULL",
    "SELECT 'a' AS a, 'b' AS A, 'c' AS a",
    "SELECT REPEAT('w', 300) AS long_col, 'short' AS s",
    "SELECT SLEEP(0.01) AS s",
    "INSERT INTO fuzz_scratch.t (a, b) VALUES ('row', NULL)",
    "INSERT INTO fuzz_scratch.t (a, b) VALUES ('x\\0y', 'it''s')",
    "SELECT id, a, b FROM fuzz_scratch.t ORDER BY id DESC LIMIT 3",
    "UPDATE fuzz_scratch.t SET a = 'u' ORDER BY id LIMIT 2",
    "DELETE FROM fuzz_scratch.t",
    "SELECT * FROM fuzz_scratch.missing", "SHOW DATABASES LIKE 'fuzz%'", "SELEC 1", "SELECT 1; SELECT 2",
    "", "DO 1", "SELECT 1 AS a WHERE 1 = 0", "CREATE TABLE IF NOT EXISTS fz (x INT)",
    "SELECT DATABASE() AS d, @@version_comment AS v",
};

const char* const kColumns[] = {"a", "b", "c", "z", "e", "n", "id", "s", "long_col", "A", "d", "", "missing"};

// Statements with placeholders (some inside quotes, names and comments,
// which are none), for the parameters set before them.
const char* const kParameterStatements[] = {
    "SELECT ? AS a",
    "SELECT ? AS a, ? AS b, ? AS c",
    "SELECT '?' AS a, ? AS b -- ?",
    "SELECT ? AS a /* ? */, `?` # ?\n FROM (SELECT 1 AS `?`) q",
    "INSERT INTO fuzz_scratch.t (a, b) VALUES (?, ?)",
    "SELECT id, a, b FROM fuzz_scratch.t WHERE a = ? OR b = ? ORDER BY id DESC LIMIT 3",
    "SELECT \"?\" AS a, 'it''s ?' AS b, ? AS c",
    "SELECT CONCAT(?, '\\\\', ?) AS a",
};

// Values for text parameters: quotes, backslashes, placeholders and
// comment markers, statements of their own.
const char* const kParameterTexts[] = {
    "plain", "", "it's", "\\", "\\'", "?", "'; DROP TABLE fuzz_scratch.t; -- ", "\" OR 1=1 #",
    "/* ? */", "\xBF'", "\xBF\\", "NULL",
};

const char* const kDatabases[] = {"fuzz_scratch", "fuzz_a", "fuzz_b", "fuzz_missing", "", "fuzz a"};

// Names for mysql__create__db and mysql__drop__db: never a database of the
// server's own, nor fuzz_scratch.
const char* const kCreateDrop[] = {"fuzz_a", "fuzz_b", "IF EXISTS fuzz_a", "IF NOT EXISTS fuzz_b",
                                   "fuzz_a CHARACTER SET latin1", "", "fuzz bad", "fuzz_c; SELECT 1"};

// Words that let a statement change the server, its accounts or data other
// than the scratch table, wait, or run long.
const char* const kRefusedWords[] = {
    "shutdown", "kill",     "drop",    "grant",   "revoke",  "user",     "global",  "sleep",   "benchmark",
    "lock",     "mysql",    "flush",   "set",     "load",    "outfile",  "dumpfile", "alter",  "rename",
    "handler",  "install",  "plugin",  "create",  "delete",  "truncate", "update",  "replace", "call",
    "prepare",  "execute",  "recursive", "join",  "from",    "repeat",   "space",   "pad",     "seq",
    "wait",     "xa",       "binlog",  "master",  "slave",   "replica",  "purge",   "reset",   "event",
    "server",   "optimize", "analyze", "repair",  "check",   "backup",   "cache",   "insert",  "into",
    "with",     "help",     "change",  "do",      "begin",   "start",    "commit",  "rollback", "savepoint",
    "release",  "use",      "procedure", "function", "trigger", "view",  "table",   "index",   "role",
    "password", "encode",   "compress", "uuid",   "rand",    "value",    "lag",     "over",    "window",
    "get_lock", "binary",  "cast",    "convert", "json",     "xml",     "regexp",  "like",
    "rlike",    "match",    "soundex", "format",  "elt",     "field",    "export",  "make",    "column_",
};

bool harmless(std::string_view statement) {
    std::string lower(statement);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* w : kRefusedWords) {
        if (lower.find(w) != std::string::npos) return false;
    }
    return true;
}

// Shapes of a string argument. Texts come from `pick` (a dictionary entry)
// or from the input. Without `may_cut` no zero byte is put inside the text:
// a host name must stay whole ("127.0.0.1" cut to "127.0" is another
// address, and "localhost" cut to "local" a name to look up).
template <typename Pick>
Word text_argument(Input& in, Values& s, Pick pick, bool may_cut = true) {
    const std::uint8_t shape = in.byte();
    const std::uint32_t extra = shape & 0x10 ? in.byte() % 32 : 0;
    const unsigned char fill = shape & 0x20 ? 0 : 0x7E;
    switch (may_cut || shape % 16 != 4 ? shape % 16 : 5) {
        case 0: return 0;
        case 1: return s.record(in.byte());
        case 2: return s.string(0).word();
        case 3: return unterminated(s, pick());
        case 4: {  // a zero byte inside: the text ends there
            std::string t(pick());
            t.insert(in.byte() % (t.size() + 1), 1, '\0');
            return s.text(t, extra, fill);
        }
        default: return s.text(pick(), extra, fill);
    }
}

std::string input_text(Input& in, std::size_t max) {
    const std::size_t n = in.byte() % (max + 1);
    return std::string(in.bytes(n));
}

// An entry of `table` (for a pick byte below `below`), or `other()`.
template <std::size_t N, typename Other>
std::string pick_text(Input& in, const char* const (&table)[N], std::uint8_t below, Other other) {
    const std::uint8_t pick = in.byte();
    return pick < below ? std::string(table[pick % N]) : other(pick);
}

std::string statement_text(Input& in) {
    return pick_text(in, kStatements, 220, [&](std::uint8_t) {
        std::string t = input_text(in, 48);
        return harmless(t) ? t : "SELECT 1";
    });
}
std::string database_text(Input& in) {
    return pick_text(in, kDatabases, 230, [&](std::uint8_t) { return "fuzz_" + input_text(in, 12); });
}
std::string create_drop_text(Input& in) {
    return pick_text(in, kCreateDrop, 240, [](std::uint8_t p) { return std::string("fuzz_") + char('a' + p % 4); });
}
std::string parameter_statement_text(Input& in) {
    return pick_text(in, kParameterStatements, 230, [&](std::uint8_t) { return statement_text(in); });
}
std::string parameter_text(Input& in) {
    return pick_text(in, kParameterTexts, 200, [&](std::uint8_t) { return input_text(in, 40); });
}

// A parameter index: 1 to 4 mostly, then the edges of the range.
Word parameter_index(Input& in) {
    static const std::int32_t edges[] = {0, -kNum1, 65535 * kNum1, 65536 * kNum1, kNum1 + kNum1 / 2, INT32_MIN,
                                         INT32_MAX};
    const std::uint8_t pick = in.byte();
    if (pick < 200) return raw_result((1 + pick % 4) * kNum1);
    return raw_result(edges[pick % std::size(edges)]);
}

std::string column_text(Input& in) {
    return pick_text(in, kColumns, 230, [&](std::uint8_t) { return input_text(in, 12); });
}

// Destination strings: sizes around the cells of the dictionary.
Word destination(Input& in, Values& s) {
    static const std::uint32_t capacities[] = {1, 2, 3, 4, 6, 8, 16, 40, 300, 301, 302, 700};
    const std::uint8_t shape = in.byte();
    if (shape == 0xFF) return 0;
    if (shape == 0xFE) return s.record(64);
    if (shape == 0xFD) return s.string(0).word();
    GuardedString& d = s.string(capacities[shape % std::size(capacities)]);
    d.fill(static_cast<unsigned char>(in.byte() | 1));
    if (in.byte() % 4 == 0) d.chars()[0] = 0;
    return d.word();
}

// A script number for a row or a seek: small rows mostly, then the edges.
Word row_number(Input& in, bool raw) {
    const std::uint8_t pick = in.byte();
    if (pick < 160) return raw_result(raw ? pick % 5 : (pick % 5) * kNum1);
    return raw_result(number(in));
}

// Undoes the escaping of a quoted SQL literal; false when `escaped` holds
// a quote that would end the literal.
bool unescape(std::string_view escaped, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c == '\\') {
            if (++i == escaped.size()) return false;
            switch (escaped[i]) {
                case '0': out->push_back('\0'); break;
                case 'n': out->push_back('\n'); break;
                case 'r': out->push_back('\r'); break;
                case 'Z': out->push_back('\032'); break;
                default: out->push_back(escaped[i]);
            }
        } else if (c == '\'') {
            if (++i == escaped.size() || escaped[i] != '\'') return false;
            out->push_back('\'');
        } else {
            out->push_back(c);
        }
    }
    return true;
}

class Fuzzer {
public:
    Fuzzer() {
        server_ = {env_or("CVX_FUZZ_DB_PORT", ""), env_or("CVX_FUZZ_DB_SOCKET", ""), env_or("CVX_FUZZ_DB_USER", "cvx"),
                   env_or("CVX_FUZZ_DB_PASSWORD", "cvx-secret"), std::to_string(unused_port())};
        if (server_.port.empty() || server_.socket.empty()) {
            std::fprintf(stderr, "fuzz_database: CVX_FUZZ_DB_PORT and CVX_FUZZ_DB_SOCKET name no server\n");
            std::exit(1);
        }
        for (const Target& t : targets(library(), {"database"})) {
            if (std::string_view(t.info->name) == "mysql__shutdown") continue;  // never
            by_name_[t.info->name] = t;
            all_.push_back(t);
        }
        write_option_file(server_, false);
        prepare_scratch();
    }

    void run(Input& in) {
        connect_first(in, false);
        const int calls = 1 + in.byte() % 12;
        for (int i = 0; i < calls && !in.empty(); ++i) one_call(in);
        call("mysql__close", nullptr);
        call("mysql__purge", nullptr);
        call("mysql__param__clear", nullptr);
        echoes_.clear();
        write_option_file(server_, false);
    }

private:
    // The scratch database and table that dictionary statements use.
    void prepare_scratch() {
        const auto text = [&](const char* name, std::initializer_list<std::string_view> texts) {
            return call(name, [&](Values& s, Word* a) {
                for (std::string_view t : texts) *a++ = s.text(t);
            });
        };
        if (text("mysql__real__connect", {"", "localhost", server_.user, server_.password}) != kNum1 ||
            text("mysql__query", {"CREATE DATABASE IF NOT EXISTS fuzz_scratch"}) != kNum1 ||
            text("mysql__query", {"CREATE TABLE IF NOT EXISTS fuzz_scratch.t (id INT AUTO_INCREMENT PRIMARY KEY, "
                                  "a VARCHAR(40), b BLOB NULL)"}) != kNum1) {
            std::fprintf(stderr, "fuzz_database: cannot make the scratch table at %s\n", server_.socket.c_str());
            std::exit(1);
        }
        call("mysql__close", nullptr);
    }

    // Builds the arguments with `build` (nullptr: none), calls, and checks
    // the outcome.
    template <typename Builder>
    std::int32_t call(const char* name, Builder&& build) {
        const auto it = by_name_.find(name);
        if (it == by_name_.end()) return 0;
        return checked(it->second, build);
    }

    template <typename Builder>
    std::int32_t checked(const Target& t, Builder&& build_args) {
        Values s;
        Word args[5] = {};
        const std::string_view kinds = t.info->args;
        const std::string_view name = t.info->name;
        if constexpr (!std::is_same_v<std::decay_t<Builder>, std::nullptr_t>) {
            build_args(s, args);
        }
        // The destination the export may write, and what it must then hold.
        const GuardedString* dest = nullptr;
        std::optional<std::string> source_before;
        if (name == "mysql__result" || name == "mysql__field__name") dest = s.find(args[0]);
        if (name == "mysql__real__escape__string") {
            dest = s.find(args[1]);
            if (const GuardedString* src = s.find(args[0])) {
                const std::string b = src->bytes();
                const std::size_t k = b.find('\0');
                if (k != std::string::npos) source_before = b.substr(0, k);
            }
        }
        s.snapshot();
        const Word word = call_export(t.fn, args, static_cast<int>(kinds.size()));
        if (word == kNum1) note_parameter(name, args);
        const auto result = static_cast<std::int32_t>(word);
        if (!expected(t.info->results).allows(word)) fail(t.info->name, "a result it cannot give", result);
        std::string written;
        if (const char* why = s.changed(result == kNum1 ? dest : nullptr, &written, result == kNum1 && kinds[0] == 'a'))
            fail(t.info->name, why, result);
        if (name == "mysql__query__params" && result == kNum1) check_echo(args[0]);
        if (name == "mysql__real__escape__string" && result == kNum1) {
            std::string back;
            if (!source_before) fail(t.info->name, "accepted a source without a terminator", result);
            if (!unescape(written, &back)) fail(t.info->name, "wrote a quote that ends the literal", result);
            if (back != *source_before) fail(t.info->name, "the escaped text does not read back as the source", result);
        }
        return result;
    }

    // What a cell of "SELECT ?" must read for each parameter set: its text
    // (when plain ASCII, which any character set keeps), its decimal, NULL.
    void note_parameter(std::string_view name, const Word* args) {
        const std::int32_t index = whole(args[0]);
        if (name == "mysql__param__clear") {
            echoes_.clear();
        } else if (name == "mysql__param__text") {
            const ScriptString* r = string_record(args[1]);
            const std::string text = r && r->chars ? r->chars : "";
            const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return c > 0; });
            echoes_[index] = ascii ? std::optional<std::string>(text) : std::nullopt;
        } else if (name == "mysql__param__integer") {
            echoes_[index] = std::to_string(raw(args[1]));
        } else if (name == "mysql__param__null") {
            echoes_[index] = "NULL";
        } else if (name == "mysql__param__number") {
            echoes_[index] = std::nullopt;
        }
    }
    // After an accepted "SELECT ? AS a[, ? AS b, ? AS c]": each value read
    // back as it was set, so none left its literal.
    void check_echo(Word statement) {
        const ScriptString* r = string_record(statement);
        const std::string text = r && r->chars ? r->chars : "";
        const int columns = text == "SELECT ? AS a" ? 1 : text == "SELECT ? AS a, ? AS b, ? AS c" ? 3 : 0;
        for (int i = 0; i < columns; ++i) {
            const auto expected = echoes_.find(i + 1);
            if (expected == echoes_.end() || !expected->second) continue;
            GuardedString cell(4096), column(2, std::string(1, static_cast<char>('a' + i)));
            const Word words[] = {cell.word(), column.word(), 0};
            if (call_export(by_name_.at("mysql__result").fn, words, 3) != kNum1 || cell.text() != *expected->second)
                fail("mysql__query__params", "a value did not come back as it was set", kNum1);
        }
    }

    // A connection attempt, or none; sets the option file it needs. Started
    // without waiting, it is polled a few times and may go on meanwhile.
    void connect_first(Input& in, bool start) {
        const std::uint8_t how = in.byte();
        const bool real = how & 0x80;
        const std::string name = std::string(real ? "mysql__real__connect" : "mysql__connect") + (start ? "__start" : "");
        std::string host = "localhost", user = server_.user, password = server_.password;
        std::string database = "";
        const std::uint8_t db_pick = in.byte();
        if (db_pick < 96) database = "fuzz_scratch";
        else if (db_pick < 128) database = "fuzz_missing";
        else if (db_pick < 160) database = input_text(in, 16);
        bool nobody = false;
        switch (how % 8) {
            case 0: case 1: case 2: break;
            case 3: host = ""; break;
            case 4: password = "wrong"; break;
            case 5: user = "fuzz_nobody"; break;
            case 6:  // nothing listens there
                nobody = true;
                if (how & 0x40) host = "127.0.0.1";
                break;
            case 7:
                if (real) {
                    host = "127.0.0.1";  // the option file's port: ours, over TCP
                } else {
                    return;  // no connection at all
                }
                break;
        }
        // mysql__connect asks for port 3306: never over TCP.
        if (!real && host == "127.0.0.1") host = "localhost";
        write_option_file(server_, nobody);
        const bool odd_strings = (how & 0x30) == 0x30;  // a null or broken argument somewhere
        const auto str = [&](Values& s, const std::string& t) {
            if (odd_strings) return text_argument(in, s, [&] { return t; }, &t != &host);
            return s.text(t);
        };
        const bool tcp = host == "127.0.0.1" && !nobody;
        const std::int32_t r = call(name.c_str(), [&](Values& s, Word* a) {
            if (real) {
                a[0] = str(s, database), a[1] = str(s, host), a[2] = str(s, user), a[3] = str(s, password);
            } else {
                a[0] = str(s, host), a[1] = str(s, user), a[2] = str(s, password), a[3] = str(s, database);
            }
        });
        // An accepted link (even one whose database could not be selected)
        // sets the host change_user reconnects to.
        if (tcp) tcp_link_possible_ = true;
        else if (r == kNum1 && !start) tcp_link_possible_ = false;
        write_option_file(server_, false);
        if (start && r == kNum1) poll_a_few(in, "mysql__connect__poll");
    }

    // Some polls of work just started, a few milliseconds apart; the
    // sequence may also go on to other exports while it runs.
    void poll_a_few(Input& in, const char* poll) {
        for (int polls = in.byte() % 4; polls > 0 && call(poll, nullptr) == 0; --polls) usleep(in.byte() % 8 * 1000);
    }

    void one_call(Input& in) {
        const Target& t = all_[in.byte() % all_.size()];
        const std::string_view name = t.info->name;
        if (name.ends_with("connect") || name.ends_with("connect__start")) return connect_first(in, name.ends_with("start"));
        if (name == "mysql__change__user") {
            if (tcp_link_possible_) return;  // it would reconnect to 127.0.0.1:3306
            const std::uint8_t how = in.byte();
            (void)checked(t, [&](Values& s, Word* a) {
                a[0] = text_argument(in, s, [&] { return how & 1 ? "fuzz_nobody" : server_.user; });
                a[1] = text_argument(in, s, [&] { return how & 2 ? "wrong" : server_.password; });
                a[2] = text_argument(in, s, [&] { return how & 4 ? database_text(in) : ""; });
            });
            return;
        }
        if (name == "mysql__query__start" || name == "mysql__query__params__start") {
            const bool params = name == "mysql__query__params__start";
            if (checked(t, [&](Values& s, Word* a) {
                    a[0] = text_argument(in, s, [&] { return params ? parameter_statement_text(in) : statement_text(in); });
                }) == kNum1) {
                poll_a_few(in, "mysql__query__poll");
            }
            return;
        }
        (void)checked(t, [&](Values& s, Word* a) {
            if (name == "mysql__query") {
                a[0] = text_argument(in, s, [&] { return statement_text(in); });
            } else if (name == "mysql__query__params") {
                a[0] = text_argument(in, s, [&] { return parameter_statement_text(in); });
            } else if (name == "mysql__param__text") {
                a[0] = parameter_index(in);
                a[1] = text_argument(in, s, [&] { return parameter_text(in); });
            } else if (name == "mysql__param__number" || name == "mysql__param__integer") {
                a[0] = parameter_index(in);
                a[1] = raw_result(number(in));
            } else if (name == "mysql__param__null") {
                a[0] = parameter_index(in);
            } else if (name == "mysql__result__number" || name == "mysql__result__integer") {
                Guarded& to = s.storage(4);
                std::memset(to.data(), 0x5A, 4);
                a[0] = in.byte() == 0xFF ? 0 : to.address();
                a[1] = text_argument(in, s, [&] { return column_text(in); });
                a[2] = row_number(in, false);
            } else if (name == "mysql__result__is__null") {
                a[0] = text_argument(in, s, [&] { return column_text(in); });
                a[1] = row_number(in, false);
            } else if (name == "mysql__field__name") {
                a[0] = destination(in, s);
                a[1] = row_number(in, false);
            } else if (name == "mysql__db__query") {
                a[0] = text_argument(in, s, [&] { return database_text(in); });
                a[1] = text_argument(in, s, [&] { return statement_text(in); });
            } else if (name == "mysql__select__db") {
                a[0] = text_argument(in, s, [&] { return database_text(in); });
            } else if (name == "mysql__create__db" || name == "mysql__drop__db") {
                a[0] = text_argument(in, s, [&] { return create_drop_text(in); });
            } else if (name == "mysql__result") {
                a[0] = destination(in, s);
                a[1] = text_argument(in, s, [&] { return column_text(in); });
                a[2] = row_number(in, false);
            } else if (name == "mysql__data__seek") {
                a[0] = row_number(in, true);
            } else if (name == "mysql__refresh") {
                static const Word masks[] = {0, 1, 4};
                a[0] = masks[in.byte() % 3];
            } else if (name == "mysql__real__escape__string") {
                const std::uint8_t how = in.byte();
                a[0] = text_argument(in, s, [&] { return input_text(in, 40); });
                a[1] = how & 1 ? a[0] : destination(in, s);  // the source itself, or another string
            }
        });
    }

    Server server_;
    std::map<std::string, Target, std::less<>> by_name_;
    std::vector<Target> all_;
    bool tcp_link_possible_ = false;
    std::map<std::int32_t, std::optional<std::string>> echoes_;  // by parameter index
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fuzzer fuzzer;
    Input in(data, size);
    fuzzer.run(in);
    return 0;
}
