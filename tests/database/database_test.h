// What the database tests share on every platform: the test server's
// account, a scratch working directory per test (the client reads its
// option file "my" from the working directory), and an outside witness: a
// connection of the test program's own, through the client library's C API,
// that sees the server as any other client does. (A second private server
// that a test kills is in private_server.h.)
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>

#include "database/character_set.h"
#include "database/client_api.h"
#include "tests/library.h"
#include "tools/export_table.h"

namespace cvx::test {

inline constexpr const char* kHost = "127.0.0.1";
inline constexpr const char* kUser = "cvx";
inline constexpr const char* kPassword = "cvx-secret";

// A script string holding `text`, with room to spare.
inline GuardedString str(std::string_view text, std::uint32_t capacity = 0) {
    return GuardedString(capacity ? capacity : static_cast<std::uint32_t>(text.size() + 1), text);
}

// The text at an address result; "<null>" for a null address.
inline std::string text_at(Word address) {
    return address ? std::string(reinterpret_cast<const char*>(address)) : std::string("<null>");
}

// Bytes as the server's HEX() writes them.
inline std::string hex(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
    return out;
}

// One statement on the test server (or the server on `port`) over a fresh
// connection of the witness's own, closed afterwards. The rows come back as
// the mariadb command-line client prints them with -N -B: cells separated by
// tabs, each row ending in a newline, NULL as "NULL", and a tab, newline,
// backslash or zero byte in a cell written as \t, \n, \\, \0. A refusal
// gives "ERROR <number>: <message>\n".
inline std::string outside_query(const std::string& sql, int port = 3306) {
    const database::ClientApi& api = database::client();
    MYSQL* const link = api.init(nullptr);
    if (!link) return "ERROR: no handle\n";
    std::string out;
    const auto refusal = [&] {
        return "ERROR " + std::to_string(api.error_number(link)) + ": " + api.error(link) + "\n";
    };
    if (!api.real_connect(link, kHost, kUser, kPassword, nullptr, static_cast<unsigned>(port), nullptr, 0) ||
        api.query(link, sql.c_str()) != 0) {
        out = refusal();
    } else if (MYSQL_RES* const rows = api.store_result(link)) {
        const unsigned columns = api.num_fields(rows);
        while (MYSQL_ROW row = api.fetch_row(rows)) {
            const unsigned long* lengths = api.fetch_lengths(rows);
            for (unsigned c = 0; c < columns; ++c) {
                if (c) out += '\t';
                for (unsigned long i = 0; row[c] && i < lengths[c]; ++i) {
                    const char ch = row[c][i];
                    out += ch == '\t'   ? "\\t"
                           : ch == '\n' ? "\\n"
                           : ch == '\\' ? "\\\\"
                           : ch == '\0' ? "\\0"
                                        : std::string(1, ch);
                }
                if (!row[c]) out += "NULL";
            }
            out += '\n';
        }
        api.free_result(rows);
    } else if (api.error_number(link) != 0) {
        out = refusal();
    }
    api.close(link);
    return out;
}

// An export by name called with `n` words; a missing one fails the test.
inline Word call_words(const std::string& name, const Word* words, int n) {
    const AnyExport fn = library().symbol(name.c_str());
    if (!fn) on_missing_export(name.c_str(), library().error());
    return fn ? call_export(fn, words, n) : 0;
}

// An export called with script strings holding `texts`, in order.
inline Word call_texts(std::string_view name, std::initializer_list<std::string_view> texts) {
    GuardedValues strings;
    Word words[5] = {};
    int n = 0;
    for (std::string_view t : texts) words[n++] = strings.text(t);
    return call_words(std::string(name), words, n);
}

// A connection routine by name, waiting or started, with its strings in its
// own order (the full routines take the database first).
inline Word routine(std::string_view name, std::string_view password = kPassword, std::string_view database = "",
                    std::string_view host = kHost, std::string_view user = kUser) {
    return name.find("real") != std::string_view::npos ? call_texts(name, {database, host, user, password})
                                                       : call_texts(name, {host, user, password, database});
}

// Polls the statement queue ("mysql__query__poll") or the connection attempt
// ("mysql__connect__poll") once a `frame` until it reports; the polls that
// found it still going on (at most 40 s of them).
inline int poll_until_finished(const char* poll = "mysql__query__poll",
                               std::chrono::microseconds frame = std::chrono::microseconds(1000)) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    for (int going_on = 0;; ++going_on) {
        const Word r = call(poll);
        if (r != 0 || std::chrono::steady_clock::now() > give_up) {
            EXPECT_EQ(r, num(1)) << poll;
            return going_on;
        }
        std::this_thread::sleep_for(frame);
    }
}

// The server's counters of links made, open, and ended without the
// client's goodbye, read over a connection of the witness's own.
inline std::map<std::string, long long> server_counters() {
    std::istringstream rows(outside_query(
        "SHOW GLOBAL STATUS WHERE Variable_name IN ('Connections', 'Threads_connected', 'Aborted_clients')"));
    std::map<std::string, long long> counters;
    std::string name;
    long long value = 0;
    while (rows >> name >> value) counters[name] = value;
    return counters;
}

// The counters once no link beyond those open in `before` is left (polled
// for at most `seconds`), "Connections" less the witness's own reads: the
// links that others made since `before`.
inline std::map<std::string, long long> settled_counters(const std::map<std::string, long long>& before,
                                                         int seconds) {
    std::map<std::string, long long> now = server_counters();
    long long reads = 1;
    for (int i = 0; i < seconds * 10 && now["Threads_connected"] > before.at("Threads_connected"); ++i, ++reads) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        now = server_counters();
    }
    now["Connections"] -= reads;
    return now;
}

#if defined(_WIN32)
// The folder of this program, with its separator: the DLLs under test are
// beside it.
inline std::string program_folder() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path, length);
    return program.substr(0, program.find_last_of("\\/") + 1);
}
#endif

// A string argument that is not a plain text.
enum class Odd { none, unterminated, null_record, no_buffer };

// Calls export `e` with plain arguments (each string the text "v" in 64
// bytes, each number the script number 1, each address 16 bytes of
// storage), the string at `odd_index` (from 0) made `odd`: 8 bytes of "v"
// without a terminator, a null record or a record without a buffer. Every
// string must keep its guards and bytes, the storage its guards.
inline Word call_plain(const ExportInfo& e, int odd_index = -1, Odd odd = Odd::none) {
    GuardedValues v;
    Word words[5] = {};
    for (int i = 0; e.args[i]; ++i) {
        const Odd how = i == odd_index ? odd : Odd::none;
        if (e.args[i] == 'n') words[i] = num(1);
        if (e.args[i] == 'a') words[i] = v.storage(16).address();
        if (e.args[i] != 's' || how == Odd::null_record) continue;
        if (how == Odd::no_buffer) {
            words[i] = v.record(64);
            continue;
        }
        GuardedString& s = v.string(how == Odd::unterminated ? 8 : 64, "v");
        if (how == Odd::unterminated) s.fill('v');
        words[i] = s.word();
    }
    v.snapshot();
    const Word result = call_words(e.name, words, static_cast<int>(std::strlen(e.args)));
    if (const char* why = v.changed(nullptr, nullptr, true)) ADD_FAILURE() << e.name << ": " << why;
    return result;
}

// Each test runs in a fresh working directory of its own.
class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A fresh folder under the system's temporary folder.
        static std::atomic<unsigned> serial{0};
        previous_ = std::filesystem::current_path();
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        scratch_ = std::filesystem::temp_directory_path() /
                   ("cvx-db-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
        std::error_code error;
        ASSERT_TRUE(std::filesystem::create_directory(scratch_, error)) << scratch_ << ": " << error.message();
        std::filesystem::current_path(scratch_);
#if defined(_WIN32)
        // Every family's tests share one process on Windows, and an earlier
        // one may have left a link open (the all-zero mysql__connect reaches
        // the server there): each test starts from a closed session, as in
        // the fresh process of each on Linux.
        call("mysql__close");
#endif
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(scratch_);
    }

    // Writes the option file "my" into the working directory.
    void option_file(const std::string& client_section) {
        std::ofstream("my") << "[client]\n" << client_section << "\n";
    }

    static Word connect(std::string_view database = "") { return routine("mysql__connect", kPassword, database); }
    // The full routine to the server on `port` (the option file names it,
    // with `lines` after it).
    Word connect_to_port(int port, const std::string& lines = "") {
        option_file("port=" + std::to_string(port) + "\n" + lines);
        return routine("mysql__real__connect");
    }
    static Word query(std::string_view sql) { return call_texts("mysql__query", {sql}); }
    static Word start(std::string_view sql) { return call_texts("mysql__query__start", {sql}); }
    // The set a link starts with unless the script or the option file names
    // one: the code page's (Windows), else the client's own.
    static const char* default_character_set() {
        const char* name = database::code_page_character_set();
        return name ? name : "utf8mb4";
    }
    // A fresh, empty database of this name, selected.
    static void fresh_database(const std::string& name) {
        ASSERT_EQ(query("DROP DATABASE IF EXISTS " + name), num(1));
        ASSERT_EQ(query("CREATE DATABASE " + name), num(1));
        ASSERT_EQ(call_texts("mysql__select__db", {name}), num(1));
    }
    // After the link is gone: every statement and command returns its
    // failure value, all of them within 10 s.
    static void expect_statements_fail() {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(query("SELECT 1"), 0);
        EXPECT_EQ(call("mysql__success"), 0);
        EXPECT_EQ(call_texts("mysql__db__query", {"cvx_gone", "SELECT 1"}), num(-1));
        for (const char* e : {"mysql__select__db", "mysql__create__db", "mysql__drop__db"}) {
            EXPECT_EQ(call_texts(e, {"cvx_gone"}), 0) << e;
        }
        EXPECT_NE(call("mysql__ping"), 0);
        EXPECT_NE(call("mysql__refresh", Word{1}), 0);
        for (const char* e : {"mysql__reload", "mysql__shutdown"}) EXPECT_EQ(call(e), 0) << e;
        EXPECT_NE(call("mysql__errno"), 0);
        EXPECT_NE(text_at(call("mysql__error")), "");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }

    // What the last statement left, as a script reads it: success, rows,
    // fields, affected rows, insert id, error number and text, the first and
    // last cells of column v.
    using Outcome = std::tuple<Word, Word, Word, Word, Word, Word, std::string, std::string, std::string>;
    static Outcome outcome() {
        const Word rows = call("mysql__num__rows");
        return {call("mysql__success"), rows, call("mysql__num__fields"), call("mysql__affected__rows"),
                call("mysql__insert__id"), call("mysql__errno"), text_at(call("mysql__error")), cell("v", 0, 64),
                cell("v", rows > 0 ? rows - 1 : 0, 64)};
    }
    // Polls until every statement started has been reported.
    static void poll_queue() {
        while (call("mysql__query__pending") != 0) poll_until_finished();
    }

    // The text of a cell (row index whole), or a marker with the result.
    static std::string cell(std::string_view column, long long row, std::uint32_t capacity = 256) {
        return cell_at(column, num(row), capacity);
    }
    // The same with the row index as the raw word the script passes.
    static std::string cell_at(std::string_view column, Word row, std::uint32_t capacity = 256) {
        GuardedString dest(capacity), name = str(column);
        const Word r = call("mysql__result", dest, name, row);
        EXPECT_TRUE(dest.intact());
        return r == num(1) ? dest.text() : "<" + std::to_string(r) + ">";
    }

    std::filesystem::path previous_, scratch_;
};

// Seconds that `work` takes.
template <typename Work>
double seconds_of(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace cvx::test
