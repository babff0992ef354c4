// A link lost under a session that goes on: killed from another connection,
// closed by the server after the link sat idle past its wait_timeout,
// dropped on the way (a proxy of the test's fixture that takes every link
// down and up again, as a server restart looks to a client), and the server
// itself killed and restarted. The next statement or command
// brings the link back exactly as it was (database, character set); a
// statement whose link broke after it was sent is refused, and so are the
// ones started before that was reported; nothing is ever sent twice.
#include <thread>

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "tests/database/private_server.h"

namespace cvx::test {
namespace {

constexpr int kSwitchedPort = 3321;  // to the test server; taken down and up through 3322
constexpr int kSwitchPort = 3322;
constexpr int kRestartedPort = kPrivatePort;  // a server of the test's own

// Sends one line to the fixture's switch ("down" or "up"); its answer: the
// links it closed at once since the last "down", -1 when it cannot be reached.
int switch_links(const char* command) {
#if defined(_WIN32)
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) return -1;
    using Socket = SOCKET;
    const auto finish = [](Socket s) { closesocket(s); };
#else
    using Socket = int;
    const auto finish = [](Socket s) { ::close(s); };
#endif
    const Socket s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kSwitchPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string line = std::string(command) + "\n";
        ::send(s, line.data(), static_cast<int>(line.size()), 0);
        char c;
        while (::recv(s, &c, 1, 0) == 1 && c != '\n') answer += c;
    }
    finish(s);
    return answer.empty() ? -1 : std::stoi(answer);
}

// How the link is lost.
enum class Loss {
    killed,     // KILL from another connection
    idle,       // idle past the server's wait_timeout
    dropped,    // every link taken down on the way, and up again at once
    restarted,  // the server killed and started again
};
// What the script does next.
enum class Next { waited, polled, queued, ping, command };

struct Case {
    Loss loss;
    Next next;
};

std::string case_name(const ::testing::TestParamInfo<Case>& info) {
    static const char* const losses[] = {"Killed", "Idle", "Dropped", "Restarted"};
    static const char* const nexts[] = {"Waited", "Polled", "Queued", "Ping", "Command"};
    return std::string(losses[static_cast<int>(info.param.loss)]) + nexts[static_cast<int>(info.param.next)];
}

class LostLink : public DatabaseTest {
protected:
    void TearDown() override {
        switch_links("up");
        call("mysql__close");
        DatabaseTest::TearDown();
    }
    // The character set every link of the test uses: the script's choice,
    // which outlasts a test, and so on Windows (where the tests share one
    // process) the option file's.
#if defined(_WIN32)
    static constexpr const char* kCharacterSet = "\ndefault-character-set=latin2\n";
#else
    static constexpr const char* kCharacterSet = "\n";
#endif
    Word connect_to(int port, const std::string& settings = "") {
        return connect_to_port(port, kCharacterSet + settings);
    }
    Word thread_id() { return call("mysql__thread__id"); }
    // Kills the link from another connection; the server's close is on its
    // way when this returns.
    void kill_link(Word id) {
        EXPECT_EQ(outside_query("KILL " + std::to_string(id), server_port_), "");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    std::string error() { return text_at(call("mysql__error")); }
    // The rows of the test's table, as the server holds them.
    std::string rows() { return outside_query("SELECT v FROM cvx_lost.t ORDER BY v", server_port_); }
    // Linked and prepared where `loss` happens: through the switch, or to a
    // private server of the test's own that it kills.
    void link_for(Loss loss) {
        if (loss == Loss::restarted) server_ = std::make_unique<PrivateServer>(kRestartedPort);
        server_port_ = loss == Loss::restarted ? kRestartedPort : 3306;
        ASSERT_EQ(connect_to(loss == Loss::restarted ? kRestartedPort : kSwitchedPort), num(1));
        prepare();
    }
    // A fresh database with a table, selected last by a USE statement, and
    // the character set chosen.
    void prepare() {
        fresh_database("cvx_lost");
        ASSERT_EQ(query("CREATE TABLE t (v INT)"), num(1));
        ASSERT_EQ(call_texts("mysql__select__db", {"mysql"}), num(1));
        ASSERT_EQ(query("USE cvx_lost"), num(1));
#if !defined(_WIN32)
        ASSERT_EQ(call_texts("mysql__set__character__set", {"latin2"}), 0);
#endif
    }
    int server_port_ = 3306;
    std::unique_ptr<PrivateServer> server_;
};

class LostBetweenStatements : public LostLink, public ::testing::WithParamInterface<Case> {};

TEST_P(LostBetweenStatements, TheNextCallBringsItBackAsItWas) {
    const auto [loss, next] = GetParam();
    ASSERT_NO_FATAL_FAILURE(link_for(loss));
    const Word before = thread_id();
    ASSERT_NE(before, 0);

    switch (loss) {
        case Loss::killed:
            kill_link(before);
            break;
        case Loss::idle:
            ASSERT_EQ(query("SET SESSION wait_timeout = 1"), num(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));
            break;
        case Loss::dropped:
            switch_links("down");
            switch_links("up");
            break;
        case Loss::restarted:
            ASSERT_TRUE(server_->kill_now());
            ASSERT_TRUE(server_->resume());
            break;
    }
    // Statements started (two queued) and polled, one waited for, or a
    // command; the table shows each statement ran once.
    const int started = next == Next::queued ? 2 : next == Next::polled ? 1 : 0;
    for (int i = 1; i <= started; ++i) {
        ASSERT_EQ(start("INSERT INTO t VALUES (" + std::to_string(i) + ")"), num(1));
    }
    for (int i = 1; i <= started; ++i) {
        poll_until_finished();
        EXPECT_EQ(call("mysql__success"), num(1)) << error();
    }
    if (next == Next::waited) { EXPECT_EQ(query("INSERT INTO t VALUES (1)"), num(1)) << error(); }
    if (next == Next::ping) { EXPECT_EQ(call("mysql__ping"), 0) << error(); }
    if (next == Next::command) { EXPECT_EQ(call_texts("mysql__select__db", {"cvx_lost"}), num(1)) << error(); }
    EXPECT_NE(thread_id(), before);
    EXPECT_NE(thread_id(), 0);
    ASSERT_EQ(query("SELECT DATABASE() AS d, @@character_set_client AS c"), num(1)) << error();
    EXPECT_EQ(cell("d", 0), "cvx_lost");
    EXPECT_EQ(cell("c", 0), "latin2");
    EXPECT_EQ(rows(), started == 2 ? "1\n2\n" : started || next == Next::waited ? "1\n" : "");
}

const Case kBetweenStatements[] = {
    {Loss::killed, Next::waited}, {Loss::killed, Next::polled}, {Loss::killed, Next::queued},
    {Loss::killed, Next::ping},   {Loss::killed, Next::command}, {Loss::idle, Next::waited},
    {Loss::idle, Next::polled},   {Loss::dropped, Next::waited}, {Loss::dropped, Next::queued},
    {Loss::restarted, Next::waited}, {Loss::restarted, Next::polled},
};
INSTANTIATE_TEST_SUITE_P(Rows, LostBetweenStatements, ::testing::ValuesIn(kBetweenStatements), case_name);

// A statement whose link breaks while it runs is refused (it may have run);
// so are the ones started before that was reported, never sent; the next
// one started brings the link back. Rows: the link killed from another
// connection, waited for or polled with a queue behind; and the
// server killed under a polled queue.
class LostInFlight : public LostLink, public ::testing::WithParamInterface<Case> {};

TEST_P(LostInFlight, TheStatementAndTheOnesStartedBeforeItsReportAreRefusedNoneSentTwice) {
    const auto [loss, next] = GetParam();
    ASSERT_NO_FATAL_FAILURE(link_for(loss));
    const Word id = thread_id();
    std::thread breaker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (loss == Loss::killed) kill_link(id);
        if (loss == Loss::restarted) { EXPECT_TRUE(server_->kill_now()); }
    });
    Word lost_error = 0;
    if (next == Next::waited) {
        EXPECT_EQ(query("INSERT INTO t SELECT SLEEP(5) + 1"), 0);
        lost_error = call("mysql__errno");
    } else {
        for (const char* sql : {"INSERT INTO t VALUES (1)", "INSERT INTO t SELECT SLEEP(5) + 2",
                                "INSERT INTO t VALUES (3)", "SELECT 4"}) {
            ASSERT_EQ(start(sql), num(1));
        }
        poll_until_finished();
        EXPECT_EQ(call("mysql__success"), num(1));
        for (int i = 0; i < 3; ++i) {
            poll_until_finished();
            EXPECT_EQ(call("mysql__success"), 0);
            if (i == 0) lost_error = call("mysql__errno");
            EXPECT_EQ(call("mysql__errno"), lost_error) << i;
        }
        EXPECT_EQ(call("mysql__query__poll"), num(-1));
    }
    breaker.join();
    EXPECT_TRUE(lost_error == num(2013) || lost_error == num(1927)) << lost_error / 1024;
    if (server_) { ASSERT_TRUE(server_->resume()); }
    ASSERT_EQ(start("INSERT INTO t VALUES (5)"), num(1));
    poll_until_finished();
    EXPECT_EQ(call("mysql__success"), num(1)) << error();
    EXPECT_EQ(rows(), next == Next::waited ? "5\n" : "1\n5\n");
}

const Case kInFlight[] = {
    {Loss::killed, Next::waited}, {Loss::killed, Next::queued},
    {Loss::restarted, Next::queued},
};
INSTANTIATE_TEST_SUITE_P(Rows, LostInFlight, ::testing::ValuesIn(kInFlight), case_name);

// The server rolled back the transaction that was open: nothing may run as
// if it had not (in autocommit, on a new link) until the script says so by
// connecting again or pinging.
TEST_F(LostLink, ALinkLostInsideATransactionStaysLostUntilThePing) {
    for (const char* opening : {"BEGIN", "SET autocommit = 0"}) {
        ASSERT_NO_FATAL_FAILURE(link_for(Loss::killed));
        ASSERT_EQ(query(opening), num(1));
        ASSERT_EQ(query("INSERT INTO t VALUES (1)"), num(1));
        kill_link(thread_id());
        EXPECT_EQ(query("INSERT INTO t VALUES (2)"), 0) << opening;
        EXPECT_EQ(call("mysql__errno"), num(2006));
        EXPECT_NE(error().find("transaction"), std::string::npos) << error();
        ASSERT_EQ(start("INSERT INTO t VALUES (3)"), num(1));
        poll_until_finished();
        EXPECT_EQ(call("mysql__errno"), num(2006));
        EXPECT_EQ(rows(), "");
        EXPECT_EQ(call("mysql__ping"), 0) << error();
        EXPECT_EQ(query("INSERT INTO t VALUES (4)"), num(1)) << error();
        EXPECT_EQ(rows(), "4\n") << opening;
    }
}

// A statement started with parameters is bound at once, in the modes the
// link knows; a link that comes back in other modes (session settings are
// lost with the link) refuses it rather than read a value's escapes as
// something else. Started again, it is bound for the new link.
TEST_F(LostLink, AStatementBoundForTheLostLinksModesIsRefusedOnTheNewLink) {
    ASSERT_NO_FATAL_FAILURE(link_for(Loss::killed));
    ASSERT_EQ(query("ALTER TABLE t MODIFY v VARCHAR(20)"), num(1));
    ASSERT_EQ(query("SET SESSION sql_mode = 'NO_BACKSLASH_ESCAPES'"), num(1));
    GuardedString value = str("a\\', 'b");  // a\', 'b
    ASSERT_EQ(call("mysql__param__text", num(1), value), num(1));
    kill_link(thread_id());
    GuardedString insert = str("INSERT INTO t VALUES (?)");
    ASSERT_EQ(call("mysql__query__params__start", insert), num(1));
    poll_until_finished();
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_EQ(call("mysql__errno"), num(2000)) << error();
    ASSERT_EQ(call("mysql__query__params__start", insert), num(1));
    poll_until_finished();
    EXPECT_EQ(call("mysql__success"), num(1)) << error();
    EXPECT_EQ(rows(), "a\\\\', 'b\n");  // (the witness writes a backslash as two)
    call("mysql__param__clear");
}

// A server that stays away costs at most one connection attempt a second;
// between attempts statements are refused at once with the last attempt's
// error. Back, the next statement goes through.
TEST_F(LostLink, AServerThatStaysAwayIsTriedAtMostOnceASecond) {
    for (const Next next : {Next::waited, Next::polled}) {
        ASSERT_EQ(connect_to(kSwitchedPort), num(1));
        ASSERT_EQ(query("SELECT 1"), num(1));
        ASSERT_EQ(switch_links("down"), 0);
        int statements = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
        while (std::chrono::steady_clock::now() < until) {
            if (next == Next::waited) {
                EXPECT_EQ(query("SELECT 1"), 0);
            } else {
                ASSERT_EQ(start("SELECT 1"), num(1));
                poll_until_finished();
                EXPECT_EQ(call("mysql__success"), 0);
            }
            EXPECT_NE(call("mysql__errno"), 0);
            ++statements;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const int attempts = switch_links("up");
        std::printf("%d statements in 2.5 s, %d connection attempts\n", statements, attempts);
        EXPECT_GE(attempts, 2);
        EXPECT_LE(attempts, 3);
        EXPECT_GT(statements, 100);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        EXPECT_EQ(query("SELECT 1"), num(1)) << error();
        call("mysql__close");
    }
}

// reconnect=0: a lost link stays lost, the ping included, until the script
// connects again.
TEST_F(LostLink, TheOptionFileCanKeepALostLinkLost) {
    ASSERT_EQ(connect_to(kSwitchedPort, "reconnect=0"), num(1));
    const Word id = thread_id();
    kill_link(id);
    EXPECT_EQ(query("SELECT 1"), 0);
    EXPECT_EQ(query("SELECT 1"), 0);
    EXPECT_EQ(call("mysql__errno"), num(2006));
    EXPECT_NE(call("mysql__ping"), 0);
    EXPECT_EQ(thread_id(), id);
    ASSERT_EQ(connect_to(kSwitchedPort, "reconnect=0"), num(1));
    EXPECT_EQ(query("SELECT 1"), num(1));
}

// A close while no link is up still gives up a connection attempt pending,
// so it never logs in after the script cancelled it.
TEST_F(LostLink, CloseWithoutALinkGivesUpThePendingAttempt) {
    EXPECT_EQ(thread_id(), 0);
    option_file("port=3317");  // 50 ms each round trip: the attempt would be accepted in well under a second
    ASSERT_EQ(routine("mysql__real__connect__start"), num(1));
    EXPECT_EQ(call("mysql__close"), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(call("mysql__connect__poll"), num(-1));
    EXPECT_EQ(call("mysql__connected"), 0);
}

}  // namespace
}  // namespace cvx::test
