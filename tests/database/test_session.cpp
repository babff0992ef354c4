// The session: gates while not connected, odd strings, the connection
// routines (a change of user included) and their flags, the option file,
// and the ways a link is lost.
#include <atomic>
#include <functional>

#include "tests/database/private_server.h"

namespace cvx::test {
namespace {

using Session = DatabaseTest;

// Every landed export whose column of exports.txt gives a value.
template <typename Check>
void for_each_listed(const char* ExportInfo::*column, Check&& check) {
    for (const ExportInfo* e : landed_exports()) {
        if (const Expected x = expected(e->*column); !x.values.empty()) check(*e, x);
    }
}

// The error a call leaves when nothing reached the server: none, or the
// library's own refusal (2000).
::testing::AssertionResult nothing_reached_the_server() {
    const Word error = call("mysql__errno");
    if (error == 0 || error == num(2000)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "errno " << error / 1024 << ": " << text_at(call("mysql__error"));
}

// While not connected (before any connection, and after a close with a
// result stored) every gated export answers its gate value and touches
// neither the server nor the stored result.
TEST_F(Session, WhileNotConnectedEveryGatedExportAnswersItsGateValue) {
    const auto expect_gates = [](const char* when) {
        for_each_listed(&ExportInfo::gate, [&](const ExportInfo& e, const Expected& gate) {
            EXPECT_EQ(call_plain(e), gate.values[0]) << e.name << " " << when;
            EXPECT_TRUE(nothing_reached_the_server()) << e.name << " " << when;
        });
        EXPECT_EQ(call("mysql__connected"), 0) << when;
    };
    expect_gates("before any connection");
    // Ungated calls reach the unconnected handle: a failure, no link to describe.
    EXPECT_NE(call("mysql__ping"), 0);
    EXPECT_EQ(call("mysql__get__host__info"), 0);

    ASSERT_EQ(connect(), num(1));
    ASSERT_EQ(query("SELECT 'kept' AS v"), num(1));
    ASSERT_EQ(call("mysql__close"), num(1));
    expect_gates("after a close");
    EXPECT_EQ(call("mysql__success"), num(1));
    EXPECT_EQ(cell("v", 0), "kept");
    EXPECT_EQ(start("SELECT 1"), 0);  // says why
    EXPECT_EQ(text_at(call("mysql__error")), "Not connected.");
}

// A string without a terminator within its capacity, a null record, a
// record without a buffer: every export with a value for it in exports.txt
// answers that value for each string it applies to, and the session stays
// exactly as it was (the same link, the flags, the stored result).
TEST_F(Session, OddStringsAreAnsweredWithTheirValueAndChangeNothing) {
    ASSERT_EQ(connect(), num(1));
    // Two rows of two columns, so that each export finds what it reads
    // (row 1, column 1) when its strings are plain.
    ASSERT_EQ(query("SELECT CONNECTION_ID() AS v, 2 AS w UNION ALL SELECT CONNECTION_ID(), 2"), num(1));
    const std::string link = cell("v", 0);
    const struct {
        Odd odd;
        const char* ExportInfo::*column;
        const char* label;
    } kinds[] = {{Odd::unterminated, &ExportInfo::unterminated, "unterminated"},
                 {Odd::null_record, &ExportInfo::null_string, "a null record"},
                 {Odd::no_buffer, &ExportInfo::null_string, "without a buffer"}};
    for (const auto& kind : kinds) {
        for_each_listed(kind.column, [&](const ExportInfo& e, const Expected& value) {
            for (int i = 0; e.args[i]; ++i) {
                if (e.args[i] != 's' || !value.covers(i)) continue;
                const std::string what = std::string(e.name) + " argument " + std::to_string(i + 1) + " " + kind.label;
                EXPECT_EQ(call_plain(e, i, kind.odd), value.values[0]) << what;
                EXPECT_EQ(call("mysql__connected"), num(1)) << what;
                EXPECT_EQ(call("mysql__success"), num(1)) << what;
                EXPECT_TRUE(nothing_reached_the_server()) << what;
                EXPECT_EQ(cell("v", 0), link) << what;
            }
        });
    }
    ASSERT_EQ(query("SELECT CONNECTION_ID() AS v"), num(1));
    EXPECT_EQ(cell("v", 0), link);
}

// A change of user replaces the link only when the server accepts it (the
// routines: test_nonblocking.cpp): refused, the link, its database, the
// flags and the stored result stay as they were and both error exports
// report the refusal; accepted, the new link replaces the old one, which
// is closed.
TEST_F(Session, AChangeOfUserReplacesTheLinkOnlyWhenAccepted) {
    ASSERT_EQ(connect(), num(1));
    ASSERT_EQ(query("CREATE DATABASE IF NOT EXISTS cvx_kept"), num(1));
    ASSERT_EQ(connect("cvx_kept"), num(1));
    ASSERT_EQ(query("SELECT CONNECTION_ID() AS id"), num(1));
    const std::string id = cell("id", 0);
    EXPECT_EQ(call_texts("mysql__change__user", {kUser, "wrong", ""}), num(-1));
    EXPECT_EQ(call("mysql__connected"), num(1));
    EXPECT_EQ(call("mysql__success"), num(1));
    EXPECT_EQ(call("mysql__errno"), num(1045));
    EXPECT_NE(text_at(call("mysql__error")).find("Access denied"), std::string::npos);
    EXPECT_EQ(cell("id", 0), id);  // the stored result
    ASSERT_EQ(query("SELECT CONNECTION_ID() AS id, DATABASE() AS d"), num(1));
    EXPECT_EQ(cell("id", 0), id);
    EXPECT_EQ(cell("d", 0), "cvx_kept");
    EXPECT_EQ(call("mysql__errno"), 0);
    // Accepted: to the host of the last link and the database named.
    ASSERT_EQ(query("DROP USER IF EXISTS 'cvx_other'@'127.0.0.1'"), num(1));
    ASSERT_EQ(query("CREATE USER 'cvx_other'@'127.0.0.1' IDENTIFIED BY 'other-pw'"), num(1));
    ASSERT_EQ(query("GRANT ALL ON cvx_kept.* TO 'cvx_other'@'127.0.0.1'"), num(1));
    EXPECT_EQ(call_texts("mysql__change__user", {"cvx_other", "other-pw", "cvx_kept"}), 0);
    ASSERT_EQ(query("SELECT CONNECTION_ID() AS id, CURRENT_USER() AS u, DATABASE() AS d"), num(1));
    EXPECT_NE(cell("id", 0), id);
    EXPECT_EQ(cell("u", 0), "cvx_other@127.0.0.1");
    EXPECT_EQ(cell("d", 0), "cvx_kept");
    const std::string old_link = "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = " + id;
    std::string left;  // (the server forgets the old link a moment after its goodbye)
    for (int i = 0; i < 100 && (left = outside_query(old_link)) != "0\n"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(left, "0\n");
    ASSERT_EQ(connect(), num(1));
    EXPECT_EQ(query("DROP USER 'cvx_other'@'127.0.0.1'"), num(1));
    EXPECT_EQ(query("DROP DATABASE cvx_kept"), num(1));
    // Each report is of the last call that finished: a close too.
    EXPECT_EQ(query("SELECT nonsense FROM"), 0);
    EXPECT_EQ(call("mysql__errno"), num(1064));
    EXPECT_EQ(call("mysql__close"), num(1));
    EXPECT_EQ(call("mysql__errno"), 0);
}

// A refused selection leaves `succeeded` and the database as they were.
// The full routine takes its port from the option file; the plain one
// always asks for 3306.
TEST_F(Session, ARefusedSelectionKeepsTheDatabaseAndOnlyTheFullRoutineTakesThePort) {
    ASSERT_EQ(connect("mysql"), num(1));
    EXPECT_EQ(call_texts("mysql__select__db", {"cvx_missing"}), 0);
    EXPECT_EQ(call("mysql__errno"), num(1049));
    EXPECT_EQ(call("mysql__success"), num(1));
    ASSERT_EQ(query("SELECT DATABASE() AS d"), num(1));
    EXPECT_EQ(cell("d", 0), "mysql");
    option_file("port=1");
    EXPECT_EQ(routine("mysql__real__connect"), 0);
    EXPECT_EQ(connect(), num(1));
}

// A link lost for good (purged) or while nothing answers (a server
// of the test's own stopped, killed, shut down by the script, or killed
// while it sends a large result, that statement waited for or polled):
// every statement and command fails within seconds, the stored result
// stays, the session says connected through a refused attempt, and
// connecting works once a server answers. A server stopped by SIGSTOP under
// a statement: the read timeout (either group, dashes or underscores) ends
// it with 2013, and the next statement brings the link back once the server
// answers (as test_lost_link.cpp's losses while the server is there).
TEST_F(Session, HoweverTheLinkIsLostStatementsFailAndTheStoredResultStays) {
    enum How { purged, server_stopped, server_killed, server_shut_down, killed_mid_result, frozen };
    const struct {
        How how;
        bool polled = false;  // the statement that meets the loss
        const char* lines = "";
    } rows[] = {
        {purged},
#if !defined(_WIN32)  // the plain routine reaches the stopped server by its unix socket
        {server_stopped},
#endif
        {server_killed}, {server_shut_down}, {killed_mid_result, false}, {killed_mid_result, true},
        {frozen, false, "read-timeout=2\nwrite-timeout=2"}, {frozen, true, "[client-mariadb]\nread_timeout = 2"},
    };
    PrivateServer server(kPrivatePort);
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.how) + (row.polled ? " polled" : ""));
        const auto connect_again = [&] {
            if (row.how == server_stopped) option_file("socket=" + server.socket());
            if (row.how == server_stopped) return routine("mysql__connect", kPassword, "", "localhost");
            if (row.how > server_stopped) return connect_to_port(server.port(), row.lines);
            return connect();
        };
        // A statement that meets the loss, waited for (on a thread of its
        // own) or polled, with `meanwhile` done while it runs: refused.
        const auto meet = [&](const std::function<void()>& meanwhile) {
            const char* sql = "SELECT seq AS n, IF(seq = 100000, SLEEP(60), 0) AS s FROM mysql.seq_1_to_200000";
            std::atomic<Word> outcome{0};
            std::thread waited;
            if (row.polled) {
                EXPECT_EQ(start(sql), num(1));
            } else {
                waited = std::thread([&] { outcome = query(sql); });
            }
            meanwhile();
            if (row.polled) poll_until_finished();
            if (!row.polled) waited.join();
            EXPECT_EQ(outcome.load(), 0);
            EXPECT_EQ(call("mysql__success"), 0);
        };
        ASSERT_EQ(connect_again(), num(1));
        ASSERT_EQ(query("SELECT CONNECTION_ID() AS id, 'stored' AS w"), num(1));
        switch (row.how) {
            case purged: EXPECT_EQ(call("mysql__purge"), 0); break;
            case server_stopped: ASSERT_TRUE(server.stop()); break;
            case server_killed: ASSERT_TRUE(server.kill_now()); break;
            case server_shut_down: EXPECT_EQ(call("mysql__shutdown"), num(1)); break;
            case killed_mid_result:
                meet([&] {
                    bool sleeping = false;
                    for (int i = 0; i < 400 && !sleeping; ++i) {
                        if (row.polled) { EXPECT_EQ(call("mysql__query__poll"), 0); }
                        sleeping = outside_query("SELECT COUNT(*) FROM information_schema.PROCESSLIST "
                                                 "WHERE STATE = 'User sleep'", server.port()) == "1\n";
                        if (!sleeping) std::this_thread::sleep_for(std::chrono::milliseconds(25));
                    }
                    EXPECT_TRUE(sleeping);
                    EXPECT_TRUE(server.kill_now());
                });
                break;
            case frozen: {
                ASSERT_TRUE(server.freeze());
                const double took = seconds_of([&] { meet([] {}); });
                EXPECT_GE(took, 1.9);
                EXPECT_LT(took, 6.0);
                EXPECT_EQ(call("mysql__errno"), num(2013));  // lost connection during the statement
                EXPECT_EQ(cell("w", 0), "stored");
                server.thaw();
                EXPECT_EQ(query("SELECT 'again' AS w"), num(1));
                EXPECT_EQ(cell("w", 0), "again");
                continue;
            }
            default: break;
        }
        expect_statements_fail();
        EXPECT_EQ(cell("w", 0), "stored");
        EXPECT_EQ(call("mysql__num__rows"), Word{1});
        EXPECT_EQ(call("mysql__num__fields"), num(2));
        // Refused (nothing answers, or a wrong password): still connected.
        const bool down = row.how != purged;
        EXPECT_EQ(down ? connect_again() : routine("mysql__real__connect", "wrong"), 0);
        if (row.how == server_stopped) {
            EXPECT_EQ(call_texts("mysql__change__user", {kUser, kPassword, ""}), num(-1));
        }
        EXPECT_NE(call("mysql__errno"), 0);
        EXPECT_EQ(call("mysql__connected"), num(1));
        if (down) { ASSERT_TRUE(server.stop() && server.start()); }
        ASSERT_EQ(connect_again(), num(1));
        EXPECT_EQ(query("SELECT 'again' AS w"), num(1));
        EXPECT_EQ(cell("w", 0), "again");
    }
}

}  // namespace
}  // namespace cvx::test
