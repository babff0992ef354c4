// Faults a game meets in the field: a server killed in the middle of a
// session or of a large result, restarted; nothing listening; a server that
// accepts and never answers; very large statements and results; refused
// statements without end.
// Every export must come back with its failure value, in bounded time, and
// keep no memory it no longer needs.
#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "tests/database/linux_server.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace cvx::test {
namespace {

constexpr int kFaultPort = 3308;
constexpr std::size_t kMiB = 1024 * 1024;

// Bytes handed out by the allocator and not yet given back (the client
// library allocates through the same allocator).
std::size_t allocated_bytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

double mib(std::size_t bytes) { return static_cast<double>(bytes) / kMiB; }
double mib_between(std::size_t from, std::size_t to) {
    return (static_cast<double>(to) - static_cast<double>(from)) / kMiB;
}

// A listener of the test's own that never says a word: the kernel completes
// the connections it is offered, nobody reads or writes on them. After
// `give_up` it closes, so a client that would wait forever is let go and
// the test ends with its measured time instead of hanging.
class SilentListener {
public:
    // On 127.0.0.1, at a port the system picks.
    SilentListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 8) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "cannot listen on loopback";
            return;
        }
        port_ = ntohs(address.sin_port);
        watch();
    }
    // On a unix socket at `path`.
    explicit SilentListener(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_, 8) != 0) {
            ADD_FAILURE() << "cannot listen on " << path;
            return;
        }
        watch();
    }
    ~SilentListener() {
        done_ = true;
        if (watchdog_.joinable()) watchdog_.join();
        if (fd_ >= 0) ::close(fd_);
    }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    int port() const { return port_; }

private:
    static constexpr auto give_up = std::chrono::seconds(20);

    void watch() {
        watchdog_ = std::thread([this] {
            const auto deadline = std::chrono::steady_clock::now() + give_up;
            while (!done_ && std::chrono::steady_clock::now() < deadline) usleep(50'000);
            if (!done_) ::shutdown(fd_, SHUT_RDWR);
        });
    }

    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> done_{false};
    std::thread watchdog_;
};

// A loopback port with nothing listening on it (just freed by the system).
int unused_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

class Faults : public DatabaseTest {
protected:
    // The full routine to the server on `port` (the option file names it).
    Word connect_to_port(int port) {
        option_file("port=" + std::to_string(port));
        GuardedString db = str(""), host = str(kHost), user = str(kUser), password = str(kPassword);
        return call("mysql__real__connect", db, host, user, password);
    }
};

TEST_F(Faults, AServerKilledMidSessionFailsEveryStatementKeepsTheStoredResultAndCanBeReconnected) {
    PrivateServer server(kFaultPort);
    ASSERT_EQ(connect_to_port(server.port()), num(1));
    ASSERT_EQ(query("SELECT 'stored' AS w, 42 AS n"), num(1));

    ASSERT_TRUE(server.kill_now());
    expect_statements_fail();
    // The stored result lives in this process: it reads as before.
    EXPECT_EQ(cell("w", 0), "stored");
    EXPECT_EQ(cell("n", 0), "42");
    EXPECT_EQ(call("mysql__num__rows"), Word{1});
    EXPECT_EQ(call("mysql__num__fields"), num(2));
    // Connecting again is refused at once while nothing listens.
    EXPECT_EQ(connect_to_port(server.port()), 0);
    EXPECT_NE(call("mysql__errno"), 0);  // the refusal
    EXPECT_EQ(call("mysql__connected"), num(1));  // the session stays as it was

    ASSERT_TRUE(server.start());
    ASSERT_EQ(connect_to_port(server.port()), num(1));
    EXPECT_EQ(query("SELECT 'again' AS w"), num(1));
    EXPECT_EQ(cell("w", 0), "again");
    EXPECT_EQ(call("mysql__close"), num(1));
}

TEST_F(Faults, AServerKilledMidResultRefusesTheStatementAndKeepsTheEarlierResult) {
    PrivateServer server(kFaultPort);
    ASSERT_EQ(connect_to_port(server.port()), num(1));
    fresh_database("cvx_faults");
    ASSERT_EQ(query("SELECT seq AS n FROM seq_1_to_200000"), num(1));
    ASSERT_EQ(cell("n", 199999), "200000");

    // The second result stops halfway: the server has sent the first
    // hundred thousand rows and sleeps on the next one when it is killed.
    std::atomic<Word> outcome{num(7)};
    std::thread statement([&] {
        outcome = query("SELECT seq AS n, IF(seq = 100000, SLEEP(60), 0) AS s FROM seq_1_to_200000");
    });
    bool sleeping = false;
    for (int i = 0; i < 200 && !sleeping; ++i) {
        sleeping = outside_query("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE STATE = 'User sleep'",
                                 server.port()) == "1\n";
        if (!sleeping) usleep(50'000);
    }
    EXPECT_TRUE(sleeping);
    const double took = seconds_of([&] {
        EXPECT_TRUE(server.kill_now());
        statement.join();
    });
    EXPECT_LT(took, 10.0);

    // A result that never arrived whole is a refusal, not an empty success.
    EXPECT_EQ(outcome.load(), 0);
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_NE(call("mysql__errno"), 0);
    // The earlier, complete result is still the current one, every row of it.
    EXPECT_EQ(call("mysql__num__rows"), Word{200000});
    EXPECT_EQ(cell("n", 0), "1");
    EXPECT_EQ(cell("n", 123456), "123457");
    EXPECT_EQ(cell("n", 199999), "200000");
    EXPECT_EQ(cell("s", 0), "<0>");
    expect_statements_fail();
}

TEST_F(Faults, NothingListeningIsRefusedAtOnce) {
    const double took = seconds_of([&] {
        EXPECT_EQ(connect_to_port(unused_port()), 0);
        EXPECT_EQ(call("mysql__connected"), 0);
        EXPECT_NE(text_at(call("mysql__error")).find("Can't connect"), std::string::npos);
        // The plain routine through a unix socket nobody serves.
        option_file("socket=" + (scratch_ / "nobody.sock").string());
        GuardedString host = str("localhost"), user = str(kUser), password = str(kPassword), db = str("");
        EXPECT_EQ(call("mysql__connect", host, user, password, db), 0);
        EXPECT_EQ(call("mysql__change__user", user, password, db), num(-1));
        EXPECT_EQ(query("SELECT 1"), 0);
        EXPECT_EQ(call("mysql__connected"), 0);
    });
    EXPECT_LT(took, 5.0);
}

TEST_F(Faults, TheOptionFileTimeoutEndsAConnectionToAServerThatNeverAnswers) {
    // The full routine over TCP. The read and write timeout lines are
    // accepted and change nothing here; the connect timeout ends the wait.
    SilentListener tcp;
    option_file("port=" + std::to_string(tcp.port()) + "\nconnect-timeout=1\nread-timeout=1\nwrite-timeout=1");
    GuardedString db = str(""), host = str(kHost), user = str(kUser), password = str(kPassword);
    double took = seconds_of([&] { EXPECT_EQ(call("mysql__real__connect", db, host, user, password), 0); });
    EXPECT_GE(took, 0.9);
    EXPECT_LT(took, 4.0);
    EXPECT_EQ(call("mysql__connected"), 0);

    // The plain routine has no timeout of its own: the option file bounds it
    // too (here through a unix socket, which host "localhost" uses).
    SilentListener local((scratch_ / "silent.sock").string());
    option_file("socket=" + (scratch_ / "silent.sock").string() + "\nconnect-timeout=2");
    GuardedString localhost = str("localhost");
    took = seconds_of([&] { EXPECT_EQ(call("mysql__connect", localhost, user, password, db), 0); });
    EXPECT_GE(took, 1.9);
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(query("SELECT 1"), 0);
}

TEST_F(Faults, AStatementOfOneMebibyteRoundTrips) {
    ASSERT_EQ(connect(), num(1));
    const std::string head = "SELECT '", tail = "' AS big";
    const std::string text(kMiB - head.size() - tail.size(), 'q');
    ASSERT_EQ(query(head + text + tail), num(1));
    EXPECT_EQ(cell("big", 0, static_cast<std::uint32_t>(text.size() + 1)), text);
    // One byte short: refused, the destination untouched (and guarded).
    GuardedString short_by_one(static_cast<std::uint32_t>(text.size()), "untouched"), name = str("big");
    EXPECT_EQ(call("mysql__result", short_by_one, name, num(0)), num(-2));
    EXPECT_EQ(short_by_one.text(), "untouched");
    EXPECT_TRUE(short_by_one.intact());

    // A refused statement of the same size leaves the result as it was.
    EXPECT_EQ(query(head + text), 0);
    EXPECT_EQ(call("mysql__errno"), num(1064));
    EXPECT_EQ(cell("big", 0, static_cast<std::uint32_t>(text.size() + 1)), text);
}

TEST_F(Faults, ALargeResultIsReleasedWhenTheNextStatementReplacesIt) {
    ASSERT_EQ(connect(), num(1));
    fresh_database("cvx_faults");
    ASSERT_EQ(query("SELECT 1 AS warm"), num(1));
    ASSERT_EQ(cell("warm", 0), "1");
    const std::size_t before = allocated_bytes(), rss_before = resident_bytes();

    ASSERT_EQ(query("SELECT seq AS n, CONCAT('row-', seq) AS label FROM seq_1_to_200000"), num(1));
    EXPECT_EQ(call("mysql__num__rows"), Word{200000});
    EXPECT_EQ(cell("label", 199999), "row-200000");  // every row indexed
    EXPECT_EQ(cell("label", 0), "row-1");
    const std::size_t held = allocated_bytes(), rss_held = resident_bytes();

    ASSERT_EQ(query("SELECT 2 AS small"), num(1));
    const std::size_t after = allocated_bytes(), rss_after = resident_bytes();

    std::printf("200000 rows: allocated %.2f MiB -> %.2f MiB held -> %.2f MiB after replacement (%+.3f MiB); "
                "resident %.1f -> %.1f -> %.1f MiB\n",
                mib(before), mib(held), mib(after), mib_between(before, after), mib(rss_before), mib(rss_held),
                mib(rss_after));
    // The rows live in mappings of their own: resident, not allocated.
    EXPECT_GT(rss_held, rss_before + 4 * kMiB);  // the set really was held here
    EXPECT_LT(rss_after, rss_before + kMiB);
    EXPECT_LT(after, before + 256 * 1024);
    EXPECT_EQ(cell("small", 0), "2");
    EXPECT_EQ(cell("label", 0), "<0>");
}

TEST_F(Faults, RefusedStatementsInALoopKeepNothing) {
    ASSERT_EQ(connect(), num(1));
    ASSERT_EQ(query("SELECT 'kept' AS w"), num(1));
    GuardedString bad = str("SELECT nonsense FROM");
    const Export run("mysql__query");
    for (int i = 0; i < 200; ++i) ASSERT_EQ(run(bad), 0);  // warm up
    const std::size_t before = allocated_bytes();
    int refused = 0;
    constexpr int kRounds = 5000;
    const double took = seconds_of([&] {
        for (int i = 0; i < kRounds; ++i) refused += run(bad) == 0;
    });
    const std::size_t after = allocated_bytes();
    std::printf("%d refused statements in %.2f s: allocated %+.1f KiB\n", kRounds, took,
                mib_between(before, after) * 1024);
    EXPECT_EQ(refused, kRounds);
    EXPECT_LT(after, before + 16 * 1024);
    EXPECT_EQ(call("mysql__errno"), num(1064));
    EXPECT_EQ(cell("w", 0), "kept");
    EXPECT_EQ(query("SELECT 1"), num(1));
}

}  // namespace
}  // namespace cvx::test
