// What the database tests share on every platform: the test server's
// account, a scratch working directory per test (the client reads its
// option file "my" from the working directory), and an outside witness: a
// connection of the test program's own, through the client library's C API,
// that sees the server as any other client does. (What only Linux can do,
// a second private server that a test kills, is in linux_server.h.)
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>

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

// A string argument that is not a plain text.
enum class Odd { none, unterminated, null_record, no_buffer };

// Calls export `e` of `lib` with plain arguments (each string the text "v"
// in 64 bytes, each number the script number 1, each address 16 bytes of
// storage), the string at `odd_index` (from 0) made `odd`: 8 bytes of "v"
// without a terminator, a null record or a record without a buffer. Every
// string must keep its guards and bytes, the storage its guards.
inline Word call_plain(const ExportInfo& e, int odd_index = -1, Odd odd = Odd::none,
                       const LoadedLibrary& lib = library()) {
    std::deque<GuardedString> strings;
    std::deque<GuardedRecord> records;  // without a buffer
    std::deque<Guarded> storage;
    std::deque<std::string> before;
    Word words[5] = {};
    for (int i = 0; e.args[i]; ++i) {
        if (e.args[i] == 'n') words[i] = num(1);
        if (e.args[i] == 'a') words[i] = storage.emplace_back(16).address();
        if (e.args[i] != 's' || (i == odd_index && odd == Odd::null_record)) continue;
        if (i == odd_index && odd == Odd::no_buffer) {
            words[i] = records.emplace_back(nullptr, 64).word();
            continue;
        }
        GuardedString& s = i == odd_index && odd == Odd::unterminated ? strings.emplace_back(8)
                                                                      : strings.emplace_back(64, "v");
        if (i == odd_index && odd == Odd::unterminated) s.fill('v');
        before.push_back(s.bytes());
        words[i] = s.word();
    }
    const AnyExport fn = lib.symbol(e.name);
    if (!fn) {
        ADD_FAILURE() << "no export " << e.name;
        return 0;
    }
    const Word result = call_export(fn, words, static_cast<int>(std::strlen(e.args)));
    for (std::size_t i = 0; i < strings.size(); ++i) {
        EXPECT_TRUE(strings[i].intact()) << e.name;
        EXPECT_EQ(strings[i].bytes(), before[i]) << e.name;
    }
    for (const GuardedRecord& r : records) EXPECT_TRUE(r.intact()) << e.name;
    for (const Guarded& g : storage) EXPECT_TRUE(g.intact()) << e.name;
    return result;
}

// One statement on the test server (or the server on `port`) over a fresh
// connection of the witness's own, closed afterwards. The rows come back as
// the mariadb command-line client prints them with -N -B: cells separated by
// tabs, each row ending in a newline, NULL as "NULL", and a tab, newline or
// backslash in a cell written as \t, \n, \\. A refusal gives
// "ERROR <number>: <message>\n".
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
                if (!row[c]) {
                    out += "NULL";
                    continue;
                }
                for (unsigned long i = 0; i < lengths[c]; ++i) {
                    const char ch = row[c][i];
                    if (ch == '\t') out += "\\t";
                    else if (ch == '\n') out += "\\n";
                    else if (ch == '\\') out += "\\\\";
                    else if (ch == '\0') out += "\\0";
                    else out += ch;
                }
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

// Each test runs in a fresh working directory of its own.
class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A fresh folder under the system's temporary folder (/tmp, or the
        // user's Temp folder on Windows).
        static std::atomic<unsigned> serial{0};
        previous_ = std::filesystem::current_path();
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        scratch_ = std::filesystem::temp_directory_path() /
                   ("cvx-db-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
        std::error_code error;
        ASSERT_TRUE(std::filesystem::create_directory(scratch_, error)) << scratch_ << ": " << error.message();
        std::filesystem::current_path(scratch_);
#if defined(_WIN32)
        // On Windows every family's tests share one process and so one
        // session, in order, and an earlier test may have left a link open
        // (there the all-zero mysql__connect of the export convention test
        // reaches the server: see README). Each test starts from a closed
        // session, as it does on Linux, where each runs in a fresh process.
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

    Word connect(const char* database = "") {
        GuardedString host = str(kHost), user = str(kUser), password = str(kPassword), db = str(database);
        return call("mysql__connect", host, user, password, db);
    }
    Word query(std::string_view sql) {
        GuardedString s = str(sql);
        return call("mysql__query", s);
    }
    // A fresh, empty database of this name, selected.
    void fresh_database(const std::string& name) {
        ASSERT_EQ(query("DROP DATABASE IF EXISTS " + name), num(1));
        ASSERT_EQ(query("CREATE DATABASE " + name), num(1));
        GuardedString db = str(name);
        ASSERT_EQ(call("mysql__select__db", db), num(1));
    }
    // After the link is gone: every statement and command returns its
    // failure value, all of them within 10 s.
    void expect_statements_fail() {
        GuardedString name = str("cvx_gone"), sql = str("SELECT 1");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(query("SELECT 1"), 0);
        EXPECT_EQ(call("mysql__success"), 0);
        EXPECT_EQ(call("mysql__db__query", name, sql), num(-1));
        EXPECT_EQ(call("mysql__select__db", name), 0);
        EXPECT_EQ(call("mysql__create__db", name), 0);
        EXPECT_EQ(call("mysql__drop__db", name), 0);
        EXPECT_NE(call("mysql__ping"), 0);
        EXPECT_NE(call("mysql__refresh", Word{1}), 0);
        EXPECT_EQ(call("mysql__reload"), 0);
        EXPECT_EQ(call("mysql__shutdown"), 0);
        EXPECT_NE(call("mysql__errno"), 0);
        EXPECT_NE(text_at(call("mysql__error")), "");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }

    // The text of a cell (row index whole), or a marker with the result.
    std::string cell(std::string_view column, long long row, std::uint32_t capacity = 256) {
        return cell_at(column, num(row), capacity);
    }
    // The same with the row index as the raw word the script passes.
    std::string cell_at(std::string_view column, Word row, std::uint32_t capacity = 256) {
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
