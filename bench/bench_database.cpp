// Database cases: reading a stored result cell by cell through mysql__result
// against a raw client loop over the same result, and a statement round trip
// against the client calls it stands for. Needs the private server
// (scripts/bench starts it).
#include <mysql.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"

namespace cvx::bench {
namespace {


const Export result_export("mysql__result"), query_export("mysql__query"), num_rows_export("mysql__num__rows"),
    start_export("mysql__query__start"), poll_export("mysql__query__poll"), param_text("mysql__param__text"),
    param_number("mysql__param__number"), param_integer("mysql__param__integer"),
    query_params("mysql__query__params"), result_number("mysql__result__number");

constexpr const char* kHost = "127.0.0.1";
constexpr const char* kUser = "cvx";
constexpr const char* kPassword = "cvx-secret";
constexpr int kColumns = 8;
const char* const kColumnNames[kColumns] = {"id", "name", "price", "note", "flag", "created", "code", "blob"};

// One raw connection for the baselines, and the tables both sides read.
MYSQL* raw_connection() {
    static MYSQL* db = [] {
        MYSQL* m = mysql_init(nullptr);
        if (!mysql_real_connect(m, kHost, kUser, kPassword, nullptr, 3306, nullptr, 0)) return m;
        const char* setup[] = {
            "CREATE DATABASE IF NOT EXISTS cvx_bench",
            "DROP TABLE IF EXISTS cvx_bench.cells",
            "CREATE TABLE cvx_bench.cells AS SELECT seq AS id, CONCAT('name-', seq) AS name,"
            " IF(seq % 7 = 0, NULL, seq * 1.25) AS price, REPEAT('n', seq % 60) AS note,"
            " IF(seq % 3 = 0, NULL, seq % 2) AS flag, '2026-12-06 12:00:00' AS created,"
            " LPAD(HEX(seq), 12, '0') AS code, IF(seq % 5 = 0, NULL, REPEAT('b', 200)) AS `blob`"
            " FROM cvx_bench.seq_0_to_9999",
            "DROP TABLE IF EXISTS cvx_bench.big",
            "CREATE TABLE cvx_bench.big AS SELECT seq AS id, CONCAT('v', seq) AS v FROM cvx_bench.seq_0_to_99999",
        };
        for (const char* q : setup) mysql_query(m, q);
        return m;
    }();
    return db;
}

// The library's session, connected once.
void connect_library() {
    static bool done = [] {
        GuardedValues keep;
        raw_connection();
        call("mysql__connect", keep.text(kHost), keep.text(kUser), keep.text(kPassword), keep.text(""));
        return true;
    }();
    (void)done;
}

void library_query(const std::string& statement) {
    GuardedValues keep;
    call("mysql__query", keep.text(statement));
}

// Every cell of the 10,000 x 8 result, row by row, into a script string.
void cells_ours(benchmark::State& state) {
    connect_library();
    library_query("SELECT * FROM cvx_bench.cells ORDER BY id");
    GuardedValues names;
    std::vector<Word> columns;
    for (const char* n : kColumnNames) columns.push_back(names.text(n));
    GuardedString destination(256);
    const Word rows = call("mysql__num__rows");
    for (auto _ : state) {
        for (Word row = 0; row < rows; ++row) {
            for (Word column : columns) benchmark::DoNotOptimize(result_export(destination, column, scaled(row)));
        }
    }
    state.SetItemsProcessed(state.iterations() * rows * kColumns);
}

void cells_base(benchmark::State& state) {
    MYSQL* db = raw_connection();
    mysql_query(db, "SELECT * FROM cvx_bench.cells ORDER BY id");
    MYSQL_RES* result = mysql_store_result(db);
    if (!result) {
        state.SkipWithError(mysql_error(db));  // the server went away
        return;
    }
    char destination[256];
    for (auto _ : state) {
        mysql_data_seek(result, 0);
        while (MYSQL_ROW row = mysql_fetch_row(result)) {
            const unsigned long* lengths = mysql_fetch_lengths(result);
            for (int c = 0; c < kColumns; ++c) {
                const char* cell = row[c] ? row[c] : "NULL";
                const std::size_t n = row[c] ? lengths[c] : 4;
                std::memcpy(destination, cell, n);
                destination[n] = 0;
                benchmark::DoNotOptimize(destination);
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(mysql_num_rows(result)) * kColumns);
    mysql_free_result(result);
}

// One cell of a 100,000-row result, by row index.
void one_cell(benchmark::State& state, long row) {
    connect_library();
    library_query("SELECT id, v FROM cvx_bench.big ORDER BY id");
    GuardedValues keep;
    const Word column = keep.text("v");
    GuardedString destination(64);
    for (auto _ : state) benchmark::DoNotOptimize(result_export(destination, column, scaled(row)));
}

// The same column named in two spellings.
void column_case(benchmark::State& state, const char* name) {
    connect_library();
    library_query("SELECT * FROM cvx_bench.cells WHERE id < 100 ORDER BY id");
    GuardedValues keep;
    const Word column = keep.text(name);
    GuardedString destination(256);
    for (auto _ : state) benchmark::DoNotOptimize(result_export(destination, column, scaled(50)));
}

void round_trip_ours(benchmark::State& state) {
    connect_library();
    GuardedValues keep;
    const Word statement = keep.text("SELECT 1");
    for (auto _ : state) {
        benchmark::DoNotOptimize(query_export(statement));
        benchmark::DoNotOptimize(num_rows_export());
    }
}

void round_trip_base(benchmark::State& state) {
    MYSQL* db = raw_connection();
    for (auto _ : state) {
        mysql_query(db, "SELECT 1");
        MYSQL_RES* result = mysql_store_result(db);
        if (!result) {
            state.SkipWithError(mysql_error(db));
            return;
        }
        benchmark::DoNotOptimize(mysql_num_rows(result));
        mysql_free_result(result);
    }
}

// SELECT 1 on a link that is looked at before every statement (whether the
// server has closed it: one look at the socket), against the same with that
// switched off (reconnect=0 in the option file, read when connecting).
void round_trip_link_checked(benchmark::State& state, bool checked) {
    connect_library();
    GuardedValues keep;
    const auto reconnect = [&] {
        call("mysql__connect", keep.text(kHost), keep.text(kUser), keep.text(kPassword), keep.text(""));
    };
    if (!checked) std::ofstream("my") << "[client]\nreconnect=0\n";
    reconnect();
    std::remove("my");
    round_trip_ours(state);
    if (!checked) reconnect();
}

// SELECT 1 started and polled until it has finished (no pause between
// polls), against the same statement through mysql__query (round_trip_ours).
void start_poll_ours(benchmark::State& state) {
    connect_library();
    GuardedValues keep;
    const Word statement = keep.text("SELECT 1");
    for (auto _ : state) {
        benchmark::DoNotOptimize(start_export(statement));
        while (poll_export() == 0) {
        }
        benchmark::DoNotOptimize(num_rows_export());
    }
}

// A script at 60 frames a second polling SELECT SLEEP(0.2): the longest
// single poll call and the number of polls, as counters.
void poll_frames(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    connect_library();
    GuardedValues keep;
    const Word statement = keep.text("SELECT SLEEP(0.2)");
    double longest_running_us = 0;  // a poll that found it still running
    double longest_final_us = 0;    // the poll that took the result
    double polls = 0;
    for (auto _ : state) {
        start_export(statement);
        for (;;) {
            const auto before = Clock::now();
            const Word r = poll_export();
            const double us = std::chrono::duration<double, std::micro>(Clock::now() - before).count();
            ++polls;
            if (r != 0) {
                longest_final_us = std::max(longest_final_us, us);
                break;
            }
            longest_running_us = std::max(longest_running_us, us);
            std::this_thread::sleep_for(std::chrono::microseconds(16'667));
        }
    }
    state.counters["running_poll_us"] = longest_running_us;
    state.counters["final_poll_us"] = longest_final_us;
    state.counters["polls"] = polls / static_cast<double>(state.iterations());
}
const int poll_frames_registered = [] {
    benchmark::RegisterBenchmark("database/poll_at_60fps_sleep_0.2", poll_frames)->Iterations(5)->UseRealTime();
    return 0;
}();

// A statement with four values: set (two texts, a number, an integer) and
// bound by the library, against the same text written by hand and sent
// through mysql__query.
void params_ours(benchmark::State& state) {
    connect_library();
    GuardedValues keep;
    const Word statement = keep.text("SELECT ? AS name, ? AS gold, ? AS id, ? AS guild");
    const Word name = keep.text("O'Hara"), guild = keep.text("Lanterns");
    for (auto _ : state) {
        param_text(scaled(1), name);
        param_number(scaled(2), Word{1536256});  // 1500.25
        param_integer(scaled(3), Word{42});
        param_text(scaled(4), guild);
        benchmark::DoNotOptimize(query_params(statement));
    }
}

void params_by_hand(benchmark::State& state) {
    connect_library();
    GuardedValues keep;
    const Word statement = keep.text("SELECT 'O\\'Hara' AS name, 1500.25 AS gold, 42 AS id, 'Lanterns' AS guild");
    for (auto _ : state) benchmark::DoNotOptimize(query_export(statement));
}

// The id and price cells of 10,000 rows (every seventh price NULL) read as
// script numbers, against the same cells copied as text.
void numbers(benchmark::State& state, bool as_number) {
    connect_library();
    library_query("SELECT * FROM cvx_bench.cells ORDER BY id");
    GuardedValues keep;
    const Word columns[] = {keep.text("id"), keep.text("price")};
    GuardedString destination(64);
    Guarded value(4);
    const Word rows = call("mysql__num__rows");
    for (auto _ : state) {
        for (Word row = 0; row < rows; ++row) {
            for (Word column : columns) {
                benchmark::DoNotOptimize(as_number ? result_number(value, column, scaled(row))
                                                   : result_export(destination, column, scaled(row)));
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * rows * 2);
}

const Pair cells("database/cells_10000x8", 2.0, cells_ours, cells_base);
const Pair far_row("database/row_99999_vs_row_0", 1.5, [](benchmark::State& s) { one_cell(s, 99999); },
                   [](benchmark::State& s) { one_cell(s, 0); });
const Pair name_case("database/column_NAME_vs_name", 1.1, [](benchmark::State& s) { column_case(s, "NAME"); },
                     [](benchmark::State& s) { column_case(s, "name"); });
const Pair round_trip("database/select_1_round_trip", 1.05, round_trip_ours, round_trip_base);
// Wall time: the look at the socket is a system call, and a round trip is
// what the script waits for.
const Pair link_check("database/select_1_link_checked_vs_not", 1.02,
                      [](benchmark::State& s) { round_trip_link_checked(s, true); },
                      [](benchmark::State& s) { round_trip_link_checked(s, false); }, true);
// Wall time: polling keeps the processor busy while the server works, so
// its CPU time says nothing about how soon the result is there.
const Pair params("database/params_4_vs_query_by_hand", 1.05, params_ours, params_by_hand);
const Pair numbers_pair("database/result_number_vs_result", 2.0, [](benchmark::State& s) { numbers(s, true); },
                        [](benchmark::State& s) { numbers(s, false); });
const Pair start_poll("database/select_1_start_poll_vs_query", 1.10, start_poll_ours, round_trip_ours, true);

}  // namespace
}  // namespace cvx::bench
