// Statements started without waiting and polled, a frame at a time: the
// same outcome as a statement run while the script waits, and what every
// other export does while one is running.
#include <thread>
#include <vector>

#include "tests/database/database_test.h"

namespace cvx::test {
namespace {

// What a statement left behind, as a script can see it.
struct Outcome {
    Word success, rows, fields, affected, error_number;
    std::string error, first, last;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "{success " << o.success << ", rows " << o.rows << ", fields " << o.fields << ", affected "
               << o.affected << ", errno " << o.error_number << ", error '" << o.error << "', first '" << o.first
               << "', last '" << o.last << "'}";
}

class NonBlocking : public DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        ASSERT_EQ(connect(), num(1));
    }
    void TearDown() override {
        call("mysql__close");
        DatabaseTest::TearDown();
    }

    Word start(std::string_view sql) {
        GuardedString s = str(sql);
        return call("mysql__query__start", s);
    }
    // Polls once a "frame" until the statement has finished; the number of
    // polls that found it still running.
    int poll_until_finished(std::chrono::microseconds frame = std::chrono::microseconds(500)) {
        int running = 0;
        for (;;) {
            const Word r = call("mysql__query__poll");
            if (r == num(1)) return running;
            EXPECT_EQ(r, 0);
            if (r != 0) return running;
            ++running;
            std::this_thread::sleep_for(frame);
        }
    }
    Outcome outcome() {
        const Word rows = call("mysql__num__rows");
        return Outcome{call("mysql__success"), rows, call("mysql__num__fields"), call("mysql__affected__rows"),
                       call("mysql__errno"), text_at(call("mysql__error")), cell("v", 0, 64),
                       cell("v", rows > 0 ? rows - 1 : 0, 64)};
    }
};

TEST_F(NonBlocking, AStartedStatementEndsExactlyAsAWaitedOneDoes) {
    fresh_database("cvx_nonblocking");
    ASSERT_EQ(query("CREATE TABLE t (n INT)"), num(1));
    const std::string statements[] = {
        "SELECT 'one' AS v",
        "SELECT seq AS v, REPEAT('x', seq % 50) AS pad FROM seq_1_to_10000",
        "SELECT seq AS v, CONCAT('row ', seq) AS pad FROM seq_1_to_200000",
        "INSERT INTO t SELECT seq FROM seq_1_to_7",
        "SELECT v FROM no_such_table",
        "",
    };
    for (const std::string& sql : statements) {
        ASSERT_EQ(query("SELECT 'before' AS v"), num(1));
        const Word waited = query(sql);
        const Outcome expected = outcome();

        ASSERT_EQ(query("SELECT 'before' AS v"), num(1));
        ASSERT_EQ(start(sql), num(1)) << sql;
        poll_until_finished();
        EXPECT_EQ(outcome(), expected) << sql;
        EXPECT_EQ(call("mysql__success"), waited) << sql;
        EXPECT_EQ(call("mysql__query__poll"), num(-1)) << sql;
    }
}

TEST_F(NonBlocking, WhileRunningTheReadingExportsAnswerFromBefore) {
    ASSERT_EQ(query("SELECT 'before' AS v, 1 AS w"), num(1));
    ASSERT_EQ(start("SELECT SLEEP(0.4) AS s, 'after' AS v"), num(1));
    EXPECT_EQ(call("mysql__query__poll"), 0);  // the server has not answered yet
    EXPECT_EQ(call("mysql__connected"), num(1));
    EXPECT_EQ(call("mysql__success"), num(1));
    EXPECT_EQ(cell("v", 0), "before");
    EXPECT_EQ(call("mysql__num__rows"), 1);
    EXPECT_EQ(call("mysql__num__fields"), num(2));
    EXPECT_EQ(call("mysql__data__seek", Word{0}), 0);
    EXPECT_NE(text_at(call("mysql__get__client__info")), "");
    EXPECT_NE(text_at(call("mysql__character__set__name")), "<null>");
    EXPECT_EQ(call("mysql__errno"), 0);

    // A second start is queued behind it, and disturbs nothing.
    EXPECT_EQ(start("SELECT 'second' AS v"), num(1));
    EXPECT_EQ(call("mysql__query__pending"), num(2));
    EXPECT_EQ(call("mysql__errno"), 0);
    EXPECT_GT(poll_until_finished(), 0);
    EXPECT_EQ(cell("v", 0), "after");
    EXPECT_EQ(call("mysql__num__fields"), num(2));
    EXPECT_EQ(call("mysql__query__pending"), num(1));
    poll_until_finished();
    EXPECT_EQ(cell("v", 0), "second");
    EXPECT_EQ(call("mysql__query__pending"), 0);
    EXPECT_EQ(call("mysql__errno"), 0);
    EXPECT_EQ(text_at(call("mysql__error")), "");
}

TEST_F(NonBlocking, OtherExportsCompleteTheRunningStatementFirst) {
    ASSERT_EQ(start("SELECT SLEEP(0.2) AS s, 'first' AS v"), num(1));
    EXPECT_EQ(query("SELECT 'second' AS v"), num(1));
    EXPECT_EQ(call("mysql__query__poll"), num(-1));
    EXPECT_EQ(cell("v", 0), "second");

    // A refused connection attempt still keeps the link.
    ASSERT_EQ(start("SELECT SLEEP(0.2) AS s, 'third' AS v"), num(1));
    GuardedString host = str(kHost), user = str(kUser), wrong = str("wrong"), db = str("");
    EXPECT_EQ(call("mysql__connect", host, user, wrong, db), 0);
    EXPECT_EQ(cell("v", 0), "third");
    EXPECT_EQ(call("mysql__query__poll"), num(-1));
    EXPECT_EQ(query("SELECT 'fourth' AS v"), num(1));
    EXPECT_EQ(cell("v", 0), "fourth");

    // So does an export that only asks the link something.
    ASSERT_EQ(start("SELECT SLEEP(0.2) AS s, 'fifth' AS v"), num(1));
    EXPECT_EQ(call("mysql__ping"), 0);
    EXPECT_EQ(cell("v", 0), "fifth");
}

TEST_F(NonBlocking, CloseAndPurgeGiveUpTheRunningStatementWithoutWaiting) {
    ASSERT_EQ(query("SELECT 'kept' AS v"), num(1));
    ASSERT_EQ(start("SELECT SLEEP(3) AS s, 'lost' AS v"), num(1));
    const double closing = seconds_of([] { EXPECT_EQ(call("mysql__close"), num(1)); });
    EXPECT_LT(closing, 2.0);
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_EQ(cell("v", 0), "kept");
    EXPECT_EQ(call("mysql__query__poll"), num(-1));

    ASSERT_EQ(connect(), num(1));
    ASSERT_EQ(start("SELECT SLEEP(3) AS s, 'lost' AS v"), num(1));
    const double purging = seconds_of([] { call("mysql__purge"); });
    EXPECT_LT(purging, 2.0);
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_EQ(call("mysql__connected"), num(1));
    EXPECT_EQ(cell("v", 0), "kept");
    EXPECT_EQ(call("mysql__query__poll"), num(-1));
    EXPECT_EQ(start("SELECT 1"), num(1));  // on the closed link: it finishes refused
    poll_until_finished();
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_NE(call("mysql__errno"), 0);
}

// Statements queued one after another (sent ahead of their answers): each
// poll that returns 1 reports the oldest, in order, exactly as mysql__query
// would have left it (its own affected rows and insert id, not what the link
// holds after the next ones were sent), a refused one stopping nothing
// after it, a large result read before the answers behind it.
TEST_F(NonBlocking, QueuedStatementsAreReportedOneByOneInOrder) {
    fresh_database("cvx_queue");
    const std::string statements[] = {
        "CREATE TABLE t (id INT AUTO_INCREMENT PRIMARY KEY, v VARCHAR(20))",
        "INSERT INTO t (v) VALUES ('a'), ('b'), ('c')",
        "SELECT v FROM t ORDER BY id",
        "INSERT INTO t (v) VALUES ('d')",
        "SELECT nonsense FROM nowhere",
        "UPDATE t SET v = CONCAT(v, '!') WHERE id < 3",
        "INSERT INTO t (v) VALUES ('e')",
        "SELECT v FROM t ORDER BY id DESC",
        "SELECT seq AS v FROM seq_1_to_200000",
        "",
        "BEGIN",
        "INSERT INTO t (v) VALUES ('f')",
        "SELECT COUNT(*) AS v FROM t",
        "COMMIT",
    };
    std::vector<Outcome> expected;
    std::vector<Word> ids;
    for (const std::string& sql : statements) {
        query(sql);
        expected.push_back(outcome());
        ids.push_back(call("mysql__insert__id"));
    }
    EXPECT_EQ(ids[1], 1);
    EXPECT_EQ(ids[3], 4);
    EXPECT_EQ(ids[6], 5);

    fresh_database("cvx_queue");
    for (const std::string& sql : statements) ASSERT_EQ(start(sql), num(1)) << sql;
    EXPECT_EQ(call("mysql__query__pending"), num(std::size(statements)));
    for (std::size_t i = 0; i < std::size(statements); ++i) {
        poll_until_finished();
        EXPECT_EQ(outcome(), expected[i]) << statements[i];
        EXPECT_EQ(call("mysql__insert__id"), ids[i]) << statements[i];
        EXPECT_EQ(call("mysql__query__pending"), num(std::size(statements) - i - 1));
    }
    EXPECT_EQ(call("mysql__query__poll"), num(-1));
}

// A waiting export runs the whole queue first (its outcomes are never
// reported by a poll); close gives a full queue up without sending it.
TEST_F(NonBlocking, WaitingExportsRunTheQueueFirstAndCloseGivesItUp) {
    fresh_database("cvx_queue");
    ASSERT_EQ(query("CREATE TABLE t (n INT)"), num(1));
    for (int i = 0; i < 500; ++i) ASSERT_EQ(start("INSERT INTO t VALUES (" + std::to_string(i) + ")"), num(1));
    ASSERT_EQ(query("SELECT COUNT(*) AS v, MAX(n) AS m FROM t"), num(1));
    EXPECT_EQ(cell("v", 0), "500");
    EXPECT_EQ(call("mysql__query__pending"), 0);
    EXPECT_EQ(call("mysql__query__poll"), num(-1));

    constexpr int kFull = 10000;
    for (int i = 0; i < kFull; ++i) ASSERT_EQ(start("INSERT INTO t VALUES (-1)"), num(1));
    EXPECT_EQ(call("mysql__query__pending"), num(kFull));
    EXPECT_LT(seconds_of([] { EXPECT_EQ(call("mysql__close"), num(1)); }), 1.0);
    EXPECT_EQ(call("mysql__query__pending"), 0);
    EXPECT_EQ(call("mysql__query__poll"), num(-1));
    // Only the statements already sent ahead (at most 128) may have run.
    EXPECT_EQ(outside_query("SELECT COUNT(*) FROM cvx_queue.t WHERE n = -1 HAVING COUNT(*) > 128"), "");
}

// The link dropped by the server in the middle of a queue (on every
// platform: the witness kills the session's connection; the server's death
// itself is tested on Linux): the running statement is refused with the
// client's error, each later one is refused in its turn, none is retried.
TEST_F(NonBlocking, ALinkDroppedInTheMiddleOfTheQueueRefusesEachLaterStatementInItsTurn) {
    ASSERT_EQ(query("SELECT CONNECTION_ID() AS v"), num(1));
    const std::string id = cell("v", 0);
    ASSERT_EQ(start("SELECT 'first' AS v"), num(1));
    ASSERT_EQ(start("SELECT SLEEP(20) AS s, 'lost' AS v"), num(1));
    for (int i = 0; i < 3; ++i) ASSERT_EQ(start("SELECT 'never' AS v"), num(1));
    poll_until_finished();
    EXPECT_EQ(cell("v", 0), "first");
    EXPECT_EQ(outside_query("KILL " + id), "");
    poll_until_finished();
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_NE(call("mysql__errno"), 0);
    for (int left = 2; left >= 0; --left) {
        EXPECT_EQ(call("mysql__query__poll"), num(1));
        EXPECT_EQ(call("mysql__success"), 0);
        EXPECT_NE(call("mysql__errno"), 0);
        EXPECT_EQ(call("mysql__query__pending"), num(left));
    }
    EXPECT_EQ(call("mysql__query__poll"), num(-1));
    EXPECT_EQ(cell("v", 0), "first");
}

TEST_F(NonBlocking, NothingIsStartedWithoutALinkOrAStatement) {
    EXPECT_EQ(call("mysql__query__poll"), num(-1));
    EXPECT_EQ(call("mysql__query__start", Word{0}), 0);
    EXPECT_NE(text_at(call("mysql__error")), "");
    EXPECT_EQ(call("mysql__query__poll"), num(-1));

    EXPECT_EQ(call("mysql__close"), num(1));
    EXPECT_EQ(start("SELECT 1"), 0);
    EXPECT_EQ(text_at(call("mysql__error")), "Not connected.");
    EXPECT_NE(call("mysql__errno"), 0);
    EXPECT_EQ(call("mysql__query__poll"), num(-1));
}

}  // namespace
}  // namespace cvx::test
