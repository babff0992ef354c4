// Servers that stop answering while a statement runs, waited for or polled:
// the option file's read timeout ends the statement with the lost-connection
// error, and the session connects again once the server answers. The server
// is really stopped (SIGSTOP) or killed, never imitated.
#include <atomic>
#include <thread>

#include "tests/database/linux_server.h"

namespace cvx::test {
namespace {

constexpr int kTimeoutPort = 3309;

class Timeouts : public DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        server_ = std::make_unique<PrivateServer>(kTimeoutPort);
    }
    void TearDown() override {
        resume();
        call("mysql__close");
        server_.reset();
        DatabaseTest::TearDown();
    }
    Word connect_with(const std::string& settings) {
        option_file("port=" + std::to_string(kTimeoutPort) + "\n" + settings);
        GuardedString db = str(""), host = str(kHost), user = str(kUser), password = str(kPassword);
        return call("mysql__real__connect", db, host, user, password);
    }
    // Stops the server and waits until every thread of it has stopped.
    void pause() {
        const pid_t pid = server_->pid();
        ASSERT_EQ(::kill(pid, SIGSTOP), 0);
        paused_ = true;
        for (int i = 0; i < 500 && !stopped(pid); ++i) usleep(2000);
        ASSERT_TRUE(stopped(pid));
    }
    static bool stopped(pid_t pid) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string id, name, state;
        stat >> id >> name >> state;
        return state == "T";
    }
    void resume() {
        if (paused_) ::kill(server_->pid(), SIGCONT);
        paused_ = false;
    }
    Word start(std::string_view sql) {
        GuardedString s = str(sql);
        return call("mysql__query__start", s);
    }
    // Polls every millisecond until the running statement has finished.
    void poll_until_finished() {
        while (call("mysql__query__poll") == 0) usleep(1000);
    }

    std::unique_ptr<PrivateServer> server_;
    bool paused_ = false;
};

TEST_F(Timeouts, TheReadTimeoutEndsAStatementOnAServerThatStoppedAnswering) {
    ASSERT_EQ(connect_with("read-timeout=2\nwrite-timeout=2"), num(1));
    ASSERT_EQ(query("SELECT 'kept' AS v"), num(1));
    pause();
    Word result = num(7);
    const double took = seconds_of([&] { result = query("SELECT 1 AS v"); });
    std::printf("a statement on a stopped server ended after %.2f s\n", took);
    EXPECT_EQ(result, 0);
    EXPECT_GE(took, 1.9);
    EXPECT_LT(took, 6.0);
    EXPECT_EQ(call("mysql__errno"), num(2013));  // lost connection during the statement
    EXPECT_EQ(cell("v", 0), "kept");

    // Once the server answers again, the next statement brings the link back.
    resume();
    EXPECT_EQ(query("SELECT 'again' AS v"), num(1));
    EXPECT_EQ(cell("v", 0), "again");
}

TEST_F(Timeouts, TheReadTimeoutEndsAPolledStatementToo) {
    ASSERT_EQ(connect_with("[client-mariadb]\nread_timeout = 2"), num(1));
    ASSERT_EQ(query("SELECT 'kept' AS v"), num(1));
    pause();
    ASSERT_EQ(start("SELECT 1 AS v"), num(1));
    const double took = seconds_of([&] { poll_until_finished(); });
    std::printf("a polled statement on a stopped server ended after %.2f s\n", took);
    EXPECT_GE(took, 1.9);
    EXPECT_LT(took, 6.0);
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_EQ(call("mysql__errno"), num(2013));
    EXPECT_EQ(cell("v", 0), "kept");

    resume();
    ASSERT_EQ(connect_with(""), num(1));
    EXPECT_EQ(query("SELECT 1"), num(1));
}

// Killed in the middle of a queue: the running statement is refused with
// the client's error, and every later one is reported refused in its turn
// (none is retried).
TEST_F(Timeouts, AServerKilledWhileStatementsAreQueuedRefusesEachInItsTurn) {
    ASSERT_EQ(connect_with(""), num(1));
    ASSERT_EQ(query("SELECT 'kept' AS v"), num(1));
    ASSERT_EQ(start("SELECT 'first' AS v"), num(1));
    ASSERT_EQ(start("SELECT SLEEP(30) AS s, 'lost' AS v"), num(1));
    for (int i = 0; i < 3; ++i) ASSERT_EQ(start("SELECT 'never' AS v"), num(1));
    poll_until_finished();
    EXPECT_EQ(cell("v", 0), "first");
    EXPECT_EQ(call("mysql__query__poll"), 0);
    const double took = seconds_of([&] {
        ASSERT_TRUE(server_->kill_now());
        poll_until_finished();
    });
    EXPECT_LT(took, 10.0);
    EXPECT_EQ(call("mysql__success"), 0);
    const Word lost = call("mysql__errno");
    EXPECT_NE(lost, 0);
    EXPECT_EQ(call("mysql__query__pending"), num(3));
    for (int i = 3; i > 0; --i) {
        EXPECT_EQ(call("mysql__query__poll"), num(1));
        EXPECT_EQ(call("mysql__success"), 0);
        EXPECT_NE(call("mysql__errno"), 0);
        EXPECT_EQ(call("mysql__query__pending"), num(i - 1));
    }
    EXPECT_EQ(call("mysql__query__poll"), num(-1));
    EXPECT_EQ(cell("v", 0), "first");
    expect_statements_fail();
}

TEST_F(Timeouts, APolledResultThatBreaksOffIsRefusedAndTheEarlierOneStays) {
    ASSERT_EQ(connect_with(""), num(1));
    fresh_database("cvx_timeouts");
    ASSERT_EQ(query("SELECT seq AS n FROM seq_1_to_1000"), num(1));
    // The server sends the first hundred thousand rows, then sleeps.
    ASSERT_EQ(start("SELECT seq AS n, IF(seq = 100000, SLEEP(60), 0) AS s FROM seq_1_to_200000"), num(1));
    bool sleeping = false;
    for (int i = 0; i < 400 && !sleeping; ++i) {
        EXPECT_EQ(call("mysql__query__poll"), 0);
        sleeping = outside_query("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE STATE = 'User sleep'",
                                 kTimeoutPort) == "1\n";
        if (!sleeping) usleep(25'000);
    }
    ASSERT_TRUE(sleeping);
    EXPECT_EQ(call("mysql__query__poll"), 0);
    ASSERT_TRUE(server_->kill_now());
    poll_until_finished();
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_NE(call("mysql__errno"), 0);
    EXPECT_EQ(call("mysql__num__rows"), Word{1000});
    EXPECT_EQ(cell("n", 999), "1000");
    EXPECT_EQ(cell("s", 0), "<0>");
}

}  // namespace
}  // namespace cvx::test
