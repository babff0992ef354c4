// Connection attempts started without waiting and polled, a frame at a
// time: the same outcome as the waiting routines, the session's link serving
// every other call meanwhile, and a bound on every handshake. Attempts that
// must stay pending go through a link with a 50 ms round trip, or to a
// listener that never answers (both started by the tests' fixture).
#include <thread>

#include "tests/database/database_test.h"

namespace cvx::test {
namespace {

constexpr int kDelayedPort = 3317;  // to the test server, 25 ms each way
constexpr int kSilentPort = 3318;   // accepts, never says a word

// What a connection attempt left behind, as a script can see it.
struct Seen {
    Word result, connected, success, error_number;
    std::string error, cell;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
    return out << "{result " << s.result << ", connected " << s.connected << ", success " << s.success
               << ", errno " << s.error_number << ", error '" << s.error << "', cell '" << s.cell << "'}";
}

class ConnectWithoutWaiting : public DatabaseTest {
protected:
    void TearDown() override {
        call("mysql__close");
        DatabaseTest::TearDown();
    }

    // A routine's four strings, each in the routine's own argument order.
    Word routine(const char* name, const char* host, const char* password, const char* database,
                 const char* user = kUser) {
        GuardedString h = str(host), u = str(user), p = str(password), d = str(database);
        const bool full = std::string_view(name).find("real") != std::string_view::npos;
        return full ? call(name, d, h, u, p) : call(name, h, u, p, d);
    }
    Word start(bool full, const char* password = kPassword, const char* database = "") {
        return routine(full ? "mysql__real__connect__start" : "mysql__connect__start", kHost, password, database);
    }
    // Polls once a "frame" until the attempt has finished; the polls that
    // found it still going on.
    int poll_until_finished(std::chrono::microseconds frame = std::chrono::microseconds(1000)) {
        int going_on = 0;
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(40);
        for (;;) {
            const Word r = call("mysql__connect__poll");
            if (r == num(1)) return going_on;
            EXPECT_EQ(r, 0);
            if (r != 0 || std::chrono::steady_clock::now() > give_up) return going_on;
            ++going_on;
            std::this_thread::sleep_for(frame);
        }
    }
    Seen seen(Word result) {
        return Seen{result, call("mysql__connected"), call("mysql__success"), call("mysql__errno"),
                    text_at(call("mysql__error")), cell("v", 0)};
    }
    // The session as a test starts it: linked directly, a result held.
    void linked_with_result() {
        ASSERT_EQ(connect(), num(1));
        ASSERT_EQ(query("SELECT 'before' AS v"), num(1));
    }
    std::string selected_database() {
        EXPECT_EQ(query("SELECT IFNULL(DATABASE(), '-') AS v"), num(1));
        return cell("v", 0);
    }
};

TEST_F(ConnectWithoutWaiting, AnAttemptEndsExactlyAsTheWaitingRoutineWould) {
    struct Case {
        bool full, linked;
        const char* password;
        const char* database;
    };
    const Case cases[] = {
        {false, true, kPassword, ""},       {true, true, kPassword, "mysql"},  {false, true, "wrong", ""},
        {true, true, "wrong", ""},          {false, true, kPassword, "cvx_no_such_db"},
        {true, false, "wrong", ""},         {false, false, kPassword, "mysql"},
    };
    for (const Case& c : cases) {
        const std::string label = std::string(c.full ? "full" : "plain") + (c.linked ? " linked " : " unlinked ") +
                                  c.password + " " + c.database;
        const auto prepare = [&] {
            call("mysql__close");
            linked_with_result();
            if (!c.linked) call("mysql__close");
        };
        prepare();
        const Seen waited = seen(routine(c.full ? "mysql__real__connect" : "mysql__connect", kHost, c.password,
                                         c.database));
        const std::string waited_db = waited.connected ? selected_database() : "";
        prepare();
        ASSERT_EQ(start(c.full, c.password, c.database), num(1)) << label;
        poll_until_finished();
        EXPECT_EQ(seen(num(1)), (Seen{num(1), waited.connected, waited.success, waited.error_number, waited.error,
                                      waited.cell}))
            << label << " waited " << waited;
        if (waited.connected) {
            EXPECT_EQ(selected_database(), waited_db) << label;
        }
        EXPECT_EQ(call("mysql__connect__poll"), num(-1)) << label;
    }
}

TEST_F(ConnectWithoutWaiting, WhileAnAttemptIsPendingTheLinkServesAsBefore) {
    linked_with_result();
    option_file("port=" + std::to_string(kDelayedPort));
    ASSERT_EQ(query("SELECT CONNECTION_ID() AS v"), num(1));
    const std::string old_id = cell("v", 0);
    ASSERT_EQ(start(true), num(1));
    EXPECT_EQ(call("mysql__connect__poll"), 0);  // a round trip takes 50 ms

    // Another start is refused and says why; the pending one goes on.
    EXPECT_EQ(start(true), 0);
    EXPECT_EQ(call("mysql__errno"), num(2000));
    EXPECT_NE(text_at(call("mysql__error")).find("still going on"), std::string::npos);

    // The current link answers statements, waited and polled.
    EXPECT_EQ(call("mysql__connected"), num(1));
    EXPECT_EQ(query("SELECT 'meanwhile' AS v"), num(1));
    EXPECT_EQ(cell("v", 0), "meanwhile");
    GuardedString slow = str("SELECT SLEEP(3) AS s, 'lost' AS v");
    ASSERT_EQ(call("mysql__query__start", slow), num(1));

    // Accepted: the new link replaces the old one and the statement still
    // running there is given up.
    EXPECT_GT(poll_until_finished(), 0);
    EXPECT_EQ(call("mysql__query__poll"), num(-1));
    EXPECT_EQ(call("mysql__success"), num(1));
    EXPECT_EQ(call("mysql__errno"), 0);
    EXPECT_EQ(cell("v", 0), "meanwhile");
    ASSERT_EQ(query("SELECT CONNECTION_ID() AS v"), num(1));
    EXPECT_NE(cell("v", 0), old_id);
    // The old link is closed: the server lets it go once its SLEEP ends.
    const std::string old_link = "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = " + old_id;
    for (int i = 0; i < 80 && outside_query(old_link) != "0\n"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(outside_query(old_link), "0\n");
}

TEST_F(ConnectWithoutWaiting, ARefusedAttemptLeavesTheLinkAndWaitingRoutinesCompleteItFirst) {
    linked_with_result();
    ASSERT_EQ(query("USE mysql"), num(1));
    ASSERT_EQ(query("SELECT 'before' AS v"), num(1));
    option_file("port=" + std::to_string(kDelayedPort));
    ASSERT_EQ(start(true, "wrong"), num(1));
    EXPECT_GT(poll_until_finished(), 0);
    EXPECT_EQ(seen(num(1)), (Seen{num(1), num(1), num(1), num(1045), seen(num(1)).error, "before"}));
    EXPECT_EQ(selected_database(), "mysql");

    // A waiting routine finishes the pending attempt (its refusal is then
    // the last outcome), then makes its own.
    ASSERT_EQ(start(true, "wrong"), num(1));
    EXPECT_EQ(connect(), num(1));
    EXPECT_EQ(call("mysql__connect__poll"), num(-1));
    EXPECT_EQ(call("mysql__errno"), 0);
    ASSERT_EQ(start(true, "wrong"), num(1));
    GuardedString u = str(kUser), p = str(kPassword), d = str("");
    EXPECT_EQ(call("mysql__change__user", u, p, d), 0);
    EXPECT_EQ(call("mysql__connect__poll"), num(-1));
}

TEST_F(ConnectWithoutWaiting, CloseAndPurgeGiveUpTheAttemptWithoutWaiting) {
    linked_with_result();
    option_file("port=" + std::to_string(kSilentPort));
    ASSERT_EQ(start(true), num(1));
    EXPECT_LT(seconds_of([] { EXPECT_EQ(call("mysql__purge"), 0); }), 1.0);
    EXPECT_EQ(call("mysql__connect__poll"), num(-1));
    EXPECT_EQ(call("mysql__connected"), num(1));
    ASSERT_EQ(start(true), num(1));
    EXPECT_LT(seconds_of([] { EXPECT_EQ(call("mysql__close"), num(1)); }), 1.0);
    EXPECT_EQ(call("mysql__connect__poll"), num(-1));
    EXPECT_EQ(call("mysql__connected"), 0);
    EXPECT_EQ(cell("v", 0), "before");
}

// A server that accepts and never answers: without a timeout in the option
// file the handshake gives up after 10 s, waiting or polled; the file's
// own value wins.
TEST_F(ConnectWithoutWaiting, EveryHandshakeIsBoundedByTenSecondsUnlessTheOptionFileSaysOtherwise) {
    option_file("port=" + std::to_string(kSilentPort));
    const double waited = seconds_of([&] { EXPECT_EQ(routine("mysql__real__connect", kHost, kPassword, ""), 0); });
    EXPECT_GT(waited, 9.0);
    EXPECT_LT(waited, 13.0);
    const Word waited_error = call("mysql__errno");
    EXPECT_NE(waited_error, 0);

    ASSERT_EQ(start(true), num(1));
    const double polled = seconds_of([&] { poll_until_finished(std::chrono::microseconds(16700)); });
    EXPECT_GT(polled, 9.0);
    EXPECT_LT(polled, 13.0);
    EXPECT_EQ(call("mysql__connected"), 0);
    EXPECT_EQ(call("mysql__errno"), waited_error);

    option_file("port=" + std::to_string(kSilentPort) + "\nconnect-timeout=2");
    ASSERT_EQ(start(true), num(1));
    const double bounded = seconds_of([&] { poll_until_finished(); });
    EXPECT_GT(bounded, 1.5);
    EXPECT_LT(bounded, 4.0);
    EXPECT_EQ(call("mysql__errno"), waited_error);
}

}  // namespace
}  // namespace cvx::test
