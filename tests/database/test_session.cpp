// The session: gates before any connection, both connection routines and
// their flags, closing, changing user, purging, the option file.
#include "tests/database/database_test.h"

namespace cvx::test {
namespace {

using Session = DatabaseTest;

// Every landed export whose column of exports.txt gives a value.
template <typename Check>
void for_each_listed(const char* ExportInfo::*column, Check&& check) {
    for (int i = 0; i < export_count(); ++i) {
        const ExportInfo& e = export_table()[i];
        const Expected x = expected(e.*column);
        if (e.landed && !x.values.empty()) check(e, x);
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
    EXPECT_NE(text_at(call("mysql__get__client__info")), "");

    ASSERT_EQ(connect(), num(1));
    ASSERT_EQ(query("SELECT 'kept' AS v"), num(1));
    ASSERT_EQ(call("mysql__close"), num(1));
    expect_gates("after a close");
    EXPECT_EQ(call("mysql__success"), num(1));
    EXPECT_EQ(cell("v", 0), "kept");
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

TEST_F(Session, ARefusedFirstConnectionIsReportedByBothErrorExports) {
    GuardedString host = str(kHost), user = str(kUser), wrong = str("wrong"), db = str("");
    EXPECT_EQ(call("mysql__connect", host, user, wrong, db), 0);
    EXPECT_EQ(call("mysql__connected"), 0);
    EXPECT_EQ(call("mysql__errno"), num(1045));  // not gated: the refusal's number
    EXPECT_NE(text_at(call("mysql__error")).find("Access denied"), std::string::npos);
    EXPECT_EQ(call("mysql__real__connect", db, host, user, wrong), 0);
    EXPECT_EQ(call("mysql__errno"), num(1045));
    EXPECT_EQ(call("mysql__success"), 0);

    EXPECT_EQ(connect(), num(1));
    EXPECT_EQ(call("mysql__success"), num(1));
    EXPECT_EQ(text_at(call("mysql__error")), "");
    EXPECT_EQ(call("mysql__errno"), 0);
    EXPECT_EQ(query("SELECT nonsense FROM"), 0);
    EXPECT_EQ(call("mysql__errno"), num(1064));
    EXPECT_EQ(call("mysql__close"), num(1));
    EXPECT_EQ(call("mysql__errno"), 0);
}

// The session's link is only ever replaced by a link the server accepted:
// a refused attempt of either routine, or of a change of user, leaves the
// link, its database, the flags and the stored result as they were.
TEST_F(Session, ARefusedAttemptKeepsTheWorkingLink) {
    GuardedString host = str(kHost), user = str(kUser), password = str(kPassword), wrong = str("wrong"),
                  db = str(""), other_db = str("cvx_kept");
    ASSERT_EQ(connect(), num(1));
    ASSERT_EQ(query("CREATE DATABASE IF NOT EXISTS cvx_kept"), num(1));
    ASSERT_EQ(call("mysql__select__db", other_db), num(1));
    ASSERT_EQ(query("SELECT CONNECTION_ID() AS id"), num(1));
    const std::string id = cell("id", 0);

    const auto same_session = [&](const char* what) {
        EXPECT_EQ(call("mysql__connected"), num(1)) << what;
        EXPECT_EQ(call("mysql__success"), num(1)) << what;
        EXPECT_EQ(call("mysql__errno"), num(1045)) << what;
        EXPECT_NE(text_at(call("mysql__error")).find("Access denied"), std::string::npos) << what;
        EXPECT_EQ(cell("id", 0), id) << what;  // the stored result
        ASSERT_EQ(query("SELECT CONNECTION_ID() AS id, DATABASE() AS d"), num(1)) << what;
        EXPECT_EQ(cell("id", 0), id) << what;
        EXPECT_EQ(cell("d", 0), "cvx_kept") << what;
        ASSERT_EQ(query("SELECT CONNECTION_ID() AS id"), num(1));
    };
    EXPECT_EQ(call("mysql__connect", host, user, wrong, db), 0);
    same_session("plain");
    EXPECT_EQ(call("mysql__real__connect", db, host, user, wrong), 0);
    same_session("full");
    EXPECT_EQ(call("mysql__change__user", user, wrong, db), num(-1));
    same_session("change of user");

    // An accepted attempt replaces the link, and the old one is closed.
    EXPECT_EQ(connect(), num(1));
    ASSERT_EQ(query("SELECT CONNECTION_ID() AS id"), num(1));
    EXPECT_NE(cell("id", 0), id);
    EXPECT_EQ(outside_query("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = " + id), "0\n");
    EXPECT_EQ(call("mysql__real__connect", db, host, user, password), num(1));
    EXPECT_EQ(query("DROP DATABASE cvx_kept"), num(1));
}

TEST_F(Session, ConnectingWithADatabaseSelectsIt) {
    ASSERT_EQ(connect(), num(1));
    ASSERT_EQ(query("CREATE DATABASE IF NOT EXISTS cvx_session"), num(1));
    ASSERT_EQ(connect("cvx_session"), num(1));
    ASSERT_EQ(query("SELECT DATABASE() AS d"), num(1));
    EXPECT_EQ(cell("d", 0), "cvx_session");

    GuardedString missing = str("cvx_missing"), host = str(kHost), user = str(kUser), password = str(kPassword);
    EXPECT_EQ(call("mysql__real__connect", missing, host, user, password), 0);
    EXPECT_EQ(call("mysql__errno"), num(1049));  // unknown database

    GuardedString db = str("cvx_session");
    EXPECT_EQ(call("mysql__real__connect", db, host, user, password), num(1));
    ASSERT_EQ(query("SELECT DATABASE() AS d"), num(1));
    EXPECT_EQ(cell("d", 0), "cvx_session");

    // A refused selection leaves `succeeded` alone and the old database on.
    EXPECT_EQ(call("mysql__select__db", missing), 0);
    EXPECT_EQ(call("mysql__success"), num(1));
    ASSERT_EQ(query("SELECT DATABASE() AS d"), num(1));
    EXPECT_EQ(cell("d", 0), "cvx_session");
    EXPECT_EQ(query("DROP DATABASE cvx_session"), num(1));
}

TEST_F(Session, CloseTwiceAndReconnect) {
    ASSERT_EQ(connect(), num(1));
    ASSERT_EQ(query("SELECT 7 AS n"), num(1));
    EXPECT_EQ(call("mysql__close"), num(1));
    EXPECT_EQ(call("mysql__connected"), 0);
    EXPECT_EQ(call("mysql__close"), 0);
    EXPECT_EQ(call("mysql__num__rows"), num(-1));
    EXPECT_EQ(call("mysql__success"), num(1));
    // The stored result outlives the link.
    EXPECT_EQ(cell("n", 0), "7");
    EXPECT_EQ(connect(), num(1));
    EXPECT_EQ(query("SELECT 1"), num(1));
}

TEST_F(Session, PurgeClosesTheLinkButNotTheGate) {
    ASSERT_EQ(connect(), num(1));
    call("mysql__purge");
    EXPECT_EQ(call("mysql__connected"), num(1));
    EXPECT_EQ(query("SELECT 1"), 0);
    EXPECT_NE(text_at(call("mysql__error")), "");
    EXPECT_NE(call("mysql__errno"), 0);
    EXPECT_NE(call("mysql__ping"), 0);
    GuardedString s = str("x");
    EXPECT_EQ(call("mysql__select__db", s), 0);
    EXPECT_EQ(call("mysql__create__db", s), 0);
    call("mysql__purge");
    call("mysql__get__stat");
    EXPECT_EQ(call("mysql__close"), num(1));
    EXPECT_EQ(connect(), num(1));
    EXPECT_EQ(query("SELECT 1"), num(1));
}

TEST_F(Session, ChangeOfUserReconnectsToTheLastHost) {
    ASSERT_EQ(connect(), num(1));
    ASSERT_EQ(query("DROP USER IF EXISTS 'cvx_other'@'127.0.0.1'"), num(1));
    ASSERT_EQ(query("CREATE USER 'cvx_other'@'127.0.0.1' IDENTIFIED BY 'other-pw'"), num(1));
    ASSERT_EQ(query("CREATE DATABASE IF NOT EXISTS cvx_change"), num(1));
    ASSERT_EQ(query("GRANT ALL ON cvx_change.* TO 'cvx_other'@'127.0.0.1'"), num(1));

    GuardedString other = str("cvx_other"), pw = str("other-pw"), db = str("cvx_change"), wrong = str("x");
    EXPECT_EQ(call("mysql__change__user", other, pw, db), 0);
    ASSERT_EQ(query("SELECT CURRENT_USER() AS u, DATABASE() AS d"), num(1));
    EXPECT_EQ(cell("u", 0), "cvx_other@127.0.0.1");
    EXPECT_EQ(cell("d", 0), "cvx_change");
    EXPECT_NE(text_at(call("mysql__get__host__info")).find("127.0.0.1"), std::string::npos);

    // Refused: the other user's session goes on.
    EXPECT_EQ(call("mysql__change__user", other, wrong, db), num(-1));
    EXPECT_EQ(call("mysql__errno"), num(1045));
    ASSERT_EQ(query("SELECT CURRENT_USER() AS u"), num(1));
    EXPECT_EQ(cell("u", 0), "cvx_other@127.0.0.1");

    ASSERT_EQ(connect(), num(1));
    EXPECT_EQ(query("DROP USER 'cvx_other'@'127.0.0.1'"), num(1));
    EXPECT_EQ(query("DROP DATABASE cvx_change"), num(1));
}

TEST_F(Session, BothRoutinesReadTheOptionFileOfTheWorkingDirectory) {
    option_file("init-command=SET @cvx_marker = 'from my'");
    ASSERT_EQ(connect(), num(1));
    ASSERT_EQ(query("SELECT @cvx_marker AS m"), num(1));
    EXPECT_EQ(cell("m", 0), "from my");

    GuardedString db = str(""), host = str(kHost), user = str(kUser), password = str(kPassword);
    ASSERT_EQ(call("mysql__real__connect", db, host, user, password), num(1));
    ASSERT_EQ(query("SELECT @cvx_marker AS m"), num(1));
    EXPECT_EQ(cell("m", 0), "from my");

    // The full routine takes its port from the option file; the plain one
    // always asks for 3306.
    option_file("port=1");
    EXPECT_EQ(call("mysql__real__connect", db, host, user, password), 0);
    EXPECT_EQ(connect(), num(1));
}

}  // namespace
}  // namespace cvx::test
