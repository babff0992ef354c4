// Work that runs without the script waiting, polled a frame at a time:
// statements (one after another in a queue) and connection attempts. Each
// ends as the waiting export would have, other exports serve the session
// meanwhile, nothing waits without bound. Attempts that must stay pending go
// through a 50 ms link or to silent listeners (the tests' fixture).
#include <functional>
#include <tuple>
#include <vector>

#include "tests/database/database_test.h"
#if !defined(_WIN32)
#include "tests/database/private_server.h"
#include "tools/unused_port.h"
#endif

namespace cvx::test {
namespace {

constexpr int kDelayedPort = 3317;  // to the test server, 25 ms each way
constexpr int kSilentPort = 3318;   // accepts, never says a word

// What an attempt left behind: connected, success, error, cell v.
using Seen = std::tuple<Word, Word, Word, std::string, std::string>;

class NonBlocking : public DatabaseTest {
protected:
    // Linked, with a result held.
    void SetUp() override {
        DatabaseTest::SetUp();
        ASSERT_EQ(connect(), num(1));
        ASSERT_EQ(query("SELECT 'before' AS v"), num(1));
    }
    static Seen seen() {
        return {call("mysql__connected"), call("mysql__success"), call("mysql__errno"),
                text_at(call("mysql__error")), cell("v", 0)};
    }
};

// Started one at a time and all queued at once (sent ahead of their
// answers): each poll that returns 1 reports the oldest statement, in
// order, exactly as mysql__query left it (its own affected rows and insert
// id, not what the link holds after the next ones were sent; a large result
// whole, read before the answers behind it), a refused one stopping nothing
// after it.
TEST_F(NonBlocking, StartedStatementsEndExactlyAsWaitedOnesInOrder) {
    const std::string statements[] = {
        "CREATE TABLE t (id INT AUTO_INCREMENT PRIMARY KEY, v VARCHAR(20))",
        "INSERT INTO t (v) VALUES ('a'), ('b'), ('c')",
        "SELECT v FROM t ORDER BY id",
        "SELECT seq AS v, REPEAT('x', seq % 50) AS pad FROM seq_1_to_10000",
        "INSERT INTO t (v) VALUES ('d')",
        "SELECT nonsense FROM nowhere",
        "SELECT seq AS v, CONCAT('row ', seq) AS pad FROM seq_1_to_200000",
        "UPDATE t SET v = CONCAT(v, '!') WHERE id < 3",
        "",
        "INSERT INTO t (v) VALUES ('e')",
        "SELECT v FROM t ORDER BY id DESC",
        "BEGIN",
        "INSERT INTO t (v) VALUES ('f')",
        "SELECT COUNT(*) AS v FROM t",
        "COMMIT",
    };
    std::vector<Outcome> expected;
    fresh_database("cvx_queue");
    for (const std::string& sql : statements) {
        query(sql);
        expected.push_back(outcome());
    }
    EXPECT_EQ(std::get<4>(expected[9]), 5);  // the insert id
    for (const bool queued : {false, true}) {
        fresh_database("cvx_queue");
        for (const std::string& sql : statements) {
            if (queued) { ASSERT_EQ(start(sql), num(1)) << sql; }
        }
        for (std::size_t i = 0; i < std::size(statements); ++i) {
            if (!queued) { ASSERT_EQ(start(statements[i]), num(1)) << statements[i]; }
            poll_until_finished();
            EXPECT_EQ(outcome(), expected[i]) << statements[i] << (queued ? " (queued)" : "");
            EXPECT_EQ(call("mysql__query__pending"), queued ? num(std::size(statements) - i - 1) : 0);
        }
        EXPECT_EQ(call("mysql__query__poll"), num(-1));
    }
}

// While statements are pending the exports that only read answer at once
// from the last outcome. Every other export that talks to the server runs
// the queue to its end first (none of those outcomes is then reported by a
// poll), then does its own work: a statement, a refused connection attempt
// that keeps the link, a ping.
TEST_F(NonBlocking, ReadingExportsAnswerFromBeforeAndWaitingOnesRunTheQueueFirst) {
    fresh_database("cvx_queue");
    ASSERT_EQ(query("CREATE TABLE t (n INT)"), num(1));
    const struct {
        std::function<Word()> run;
        Word result;
        const char* cell;
    } waiting[] = {
        {[] { return query("SELECT COUNT(*) AS v FROM t"); }, num(1), "100"},
        {[] { return routine("mysql__connect", "wrong"); }, 0, "<0>"},  // the last insert left no result set
        {[] { return call("mysql__ping"); }, 0, "<0>"},
    };
    for (const auto& w : waiting) {
        ASSERT_EQ(query("DELETE FROM t"), num(1));
        ASSERT_EQ(query("SELECT 'before' AS v, 1 AS w"), num(1));
        ASSERT_EQ(start("SELECT SLEEP(0.2) AS s, 'started' AS v"), num(1));
        for (int i = 0; i < 100; ++i) ASSERT_EQ(start("INSERT INTO t VALUES (" + std::to_string(i) + ")"), num(1));
        EXPECT_EQ(call("mysql__query__poll"), 0);  // the server has not answered yet
        EXPECT_EQ(call("mysql__query__pending"), num(101));
        EXPECT_EQ(seen(), (Seen{num(1), num(1), 0, "", "before"}));
        EXPECT_EQ(call("mysql__num__rows"), Word{1});
        EXPECT_EQ(call("mysql__num__fields"), num(2));
        EXPECT_EQ(call("mysql__affected__rows"), Word{1});
        EXPECT_EQ(call("mysql__data__seek", Word{0}), 0);
        EXPECT_NE(text_at(call("mysql__character__set__name")), "<null>");
        EXPECT_EQ(w.run(), w.result) << w.cell;
        EXPECT_EQ(call("mysql__query__pending"), 0);
        EXPECT_EQ(call("mysql__query__poll"), num(-1));
        EXPECT_EQ(cell("v", 0), w.cell);
        EXPECT_EQ(outside_query("SELECT COUNT(*) FROM cvx_queue.t"), "100\n");
    }
}

// Both routines, linked (to database information_schema) or not, accepted
// or refused (a wrong password, a database that does not exist), waited for
// and started and polled to the end: the result, error and database the
// reference gives, and the same outcome both ways. Only a link the server
// accepted replaces the session's: a refusal leaves the link (or none), its
// database, the flags and the stored result as they were, and both error
// exports report it. The one flag it changes: a refused full routine
// without a link clears `succeeded`.
TEST_F(NonBlocking, AnAttemptEndsExactlyAsTheWaitingRoutineWould) {
    const struct {
        bool full, linked;
        const char* password;
        const char* database;
        Word error;
        const char* selected;  // null: not connected; else the database and whether the link is the one before
    } cases[] = {
        {false, true, kPassword, "", 0, "- new"},
        {true, true, kPassword, "mysql", 0, "mysql new"},
        {false, true, "wrong", "", num(1045), "information_schema kept"},
        {true, true, "wrong", "", num(1045), "information_schema kept"},
        {false, true, kPassword, "cvx_no_such_db", num(1049), "information_schema kept"},
        {true, true, kPassword, "cvx_no_such_db", num(1049), "information_schema kept"},
        {false, false, "wrong", "", num(1045), nullptr},
        {true, false, "wrong", "", num(1045), nullptr},
        {false, false, kPassword, "mysql", 0, "mysql new"},
    };
    for (const auto& c : cases) {
        const std::string name = c.full ? "mysql__real__connect" : "mysql__connect";
        const std::string label = name + (c.linked ? " linked " : " unlinked ") + c.password + " " + c.database;
        std::string link;
        const auto prepare = [&] {
            call("mysql__close");
            ASSERT_EQ(connect("information_schema"), num(1));
            ASSERT_EQ(query("SELECT 'before' AS v, CONNECTION_ID() AS id"), num(1));
            link = cell("id", 0);
            if (!c.linked) call("mysql__close");
        };
        const auto selected = [&]() -> std::string {
            if (!c.selected) return "";
            EXPECT_EQ(query("SELECT IFNULL(DATABASE(), '-') AS d, CONNECTION_ID() AS id"), num(1));
            return cell("d", 0) + (cell("id", 0) == link ? " kept" : " new");
        };
        prepare();
        EXPECT_EQ(routine(name, c.password, c.database), c.error ? 0 : num(1)) << label;
        const Seen waited = seen();
        EXPECT_EQ(std::get<2>(waited), c.error) << label;
        if (c.error == num(1045)) {
            EXPECT_EQ(waited, (Seen{c.linked ? num(1) : 0, c.full && !c.linked ? 0 : num(1), c.error,
                                    std::get<3>(waited), "before"})) << label;
            EXPECT_NE(std::get<3>(waited).find("Access denied"), std::string::npos) << label;
        }
        EXPECT_EQ(selected(), c.selected ? c.selected : "") << label;
        prepare();
        ASSERT_EQ(routine(name + "__start", c.password, c.database), num(1)) << label;
        poll_until_finished("mysql__connect__poll");
        EXPECT_EQ(seen(), waited) << label;
        EXPECT_EQ(selected(), c.selected ? c.selected : "") << label;
        EXPECT_EQ(call("mysql__connect__poll"), num(-1)) << label;
    }
}

TEST_F(NonBlocking, WhileAnAttemptIsPendingTheLinkServesAndWaitingRoutinesCompleteItFirst) {
    option_file("port=" + std::to_string(kDelayedPort));
    ASSERT_EQ(query("SELECT CONNECTION_ID() AS v"), num(1));
    const std::string old_id = cell("v", 0);
    ASSERT_EQ(routine("mysql__real__connect__start"), num(1));
    EXPECT_EQ(call("mysql__connect__poll"), 0);  // a round trip takes 50 ms

    // Another start is refused and says why; the pending one goes on.
    EXPECT_EQ(routine("mysql__real__connect__start"), 0);
    EXPECT_EQ(call("mysql__errno"), num(2000));
    EXPECT_NE(text_at(call("mysql__error")).find("still going on"), std::string::npos);

    // The current link answers statements, waited and polled.
    EXPECT_EQ(call("mysql__connected"), num(1));
    EXPECT_EQ(query("SELECT 'meanwhile' AS v"), num(1));
    EXPECT_EQ(cell("v", 0), "meanwhile");
    ASSERT_EQ(start("SELECT SLEEP(3) AS s, 'lost' AS v"), num(1));

    // Accepted: the new link replaces the old one and the statement still
    // running there is given up.
    EXPECT_GT(poll_until_finished("mysql__connect__poll"), 0);
    EXPECT_EQ(call("mysql__query__poll"), num(-1));
    EXPECT_EQ(seen(), (Seen{num(1), num(1), 0, "", "meanwhile"}));
    ASSERT_EQ(query("SELECT CONNECTION_ID() AS v"), num(1));
    EXPECT_NE(cell("v", 0), old_id);
    // The old link is closed: the server lets it go once its SLEEP ends.
    const std::string old_link = "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = " + old_id;
    for (int i = 0; i < 80 && outside_query(old_link) != "0\n"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(outside_query(old_link), "0\n");

    // A waiting routine finishes a pending attempt (its refusal is then the
    // last outcome), then makes its own.
    ASSERT_EQ(routine("mysql__real__connect__start", "wrong"), num(1));
    EXPECT_EQ(connect(), num(1));
    EXPECT_EQ(call("mysql__connect__poll"), num(-1));
    EXPECT_EQ(call("mysql__errno"), 0);
    ASSERT_EQ(routine("mysql__real__connect__start", "wrong"), num(1));
    EXPECT_EQ(call_texts("mysql__change__user", {kUser, kPassword, ""}), 0);
    EXPECT_EQ(call("mysql__connect__poll"), num(-1));
}

// Close and purge give up, without waiting, a statement still running, the
// queue behind it (never sent, but for those sent ahead: at most 128) and a
// connection attempt still going on (whose outcome never takes effect); the
// stored result stays.
TEST_F(NonBlocking, CloseAndPurgeGiveUpWhatIsPendingWithoutWaiting) {
    const struct {
        const char* name;
        Word result, connected;
    } rows[] = {{"mysql__close", num(1), 0}, {"mysql__purge", 0, num(1)}};
    for (const auto& row : rows) {
        ASSERT_EQ(connect(), num(1));
        fresh_database("cvx_queue");
        ASSERT_EQ(query("CREATE TABLE t (n INT)"), num(1));
        ASSERT_EQ(query("SELECT 'kept' AS v"), num(1));
        option_file("port=" + std::to_string(kSilentPort));
        ASSERT_EQ(routine("mysql__real__connect__start"), num(1));
        ASSERT_EQ(start("SELECT SLEEP(3) AS s, 'lost' AS v"), num(1));
        for (int i = 0; i < 10000; ++i) ASSERT_EQ(start("INSERT INTO t VALUES (1)"), num(1));
        EXPECT_LT(seconds_of([&] { EXPECT_EQ(call(row.name), row.result); }), 1.0) << row.name;
        EXPECT_EQ(call("mysql__connect__poll"), num(-1)) << row.name;
        EXPECT_EQ(call("mysql__query__poll"), num(-1)) << row.name;
        EXPECT_EQ(call("mysql__query__pending"), 0) << row.name;
        EXPECT_EQ(call("mysql__connected"), row.connected) << row.name;
        EXPECT_EQ(call("mysql__success"), 0) << row.name;
        EXPECT_EQ(cell("v", 0), "kept") << row.name;
        EXPECT_EQ(outside_query("SELECT COUNT(*) FROM cvx_queue.t HAVING COUNT(*) > 128"), "") << row.name;
    }
    // After the purge the link is closed: a statement started there
    // finishes refused.
    EXPECT_EQ(start("SELECT 1"), num(1));
    poll_until_finished();
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_NE(call("mysql__errno"), 0);
}

// Nothing listening is refused at once; a server that accepts and never
// answers is given up after 10 s without a connect timeout in the option
// file, waited or polled, and after the file's own timeout with one. The
// refusal keeps the link that was up.
TEST_F(NonBlocking, EveryHandshakeIsBoundedByTenSecondsUnlessTheOptionFileSaysOtherwise) {
    const std::string silent = "port=" + std::to_string(kSilentPort);
    const struct {
        const char* routine;  // "__start" added: polled
        std::string lines;
        double from, to;
        Word error;
    } cases[] = {
        {"mysql__real__connect", silent, 9.0, 13.0, num(2013)},
        {"mysql__real__connect__start", silent, 9.0, 13.0, num(2013)},
        {"mysql__real__connect__start", silent + "\nconnect-timeout=2", 1.5, 4.0, num(2013)},
        // The read and write timeouts change nothing here.
        {"mysql__real__connect", silent + "\nconnect-timeout=1\nread-timeout=1\nwrite-timeout=1", 0.9, 4.0, num(2013)},
#if !defined(_WIN32)
        // Through a unix socket, which host "localhost" uses.
        {"mysql__connect", "socket=" + std::string(kSilentSocket) + "\nconnect-timeout=2", 1.9, 5.0, num(2013)},
        {"mysql__real__connect", "port=" + std::to_string(unused_port()), 0.0, 5.0, num(2002)},
        {"mysql__connect", "socket=" + std::string(kSilentSocket) + ".missing", 0.0, 5.0, num(2002)},
#endif
    };
    for (const auto& c : cases) {
        option_file(c.lines);
        const std::string_view name = c.routine;
        const std::string_view host = c.lines.starts_with("socket") ? "localhost" : kHost;
        const double took = seconds_of([&] {
            if (!name.ends_with("start")) {
                EXPECT_EQ(routine(name, kPassword, "", host), 0) << c.lines;
            } else if (routine(name, kPassword, "", host) == num(1)) {
                poll_until_finished("mysql__connect__poll", std::chrono::microseconds(16700));
            }
        });
        EXPECT_GE(took, c.from) << c.lines;
        EXPECT_LT(took, c.to) << c.lines;
        EXPECT_EQ(call("mysql__errno"), c.error) << c.lines << ": " << text_at(call("mysql__error"));
        EXPECT_EQ(cell("v", 0), "before") << c.lines;
        EXPECT_EQ(call("mysql__ping"), 0) << c.lines;
    }
}

}  // namespace
}  // namespace cvx::test
