// A server of the test's own: one that goes away in the middle of a
// session, and one that a script shuts down.
#include "tests/database/linux_server.h"

namespace cvx::test {
namespace {

using PrivateServerTest = DatabaseTest;

constexpr int kPrivatePort = 3307;

TEST_F(PrivateServerTest, AServerThatGoesAwayMakesEveryExportFailCleanly) {
    PrivateServer server(kPrivatePort);
    // "localhost" goes through the socket named in the option file.
    option_file("socket=" + server.socket());
    GuardedString host = str("localhost"), user = str(kUser), password = str(kPassword), empty = str("");
    ASSERT_EQ(call("mysql__connect", host, user, password, empty), num(1));
    ASSERT_EQ(query("SELECT 'before' AS w"), num(1));

    ASSERT_TRUE(server.stop());
    expect_statements_fail();
    call("mysql__get__stat");
    call("mysql__get__host__info");
    call("mysql__get__server__info");
    call("mysql__proto__info");
    EXPECT_EQ(call("mysql__change__user", user, password, empty), num(-1));
    EXPECT_EQ(call("mysql__connect", host, user, password, empty), 0);
    // What was stored before stays readable.
    EXPECT_EQ(cell("w", 0), "before");
    // A refused attempt keeps the session as it was, dead link included.
    EXPECT_EQ(call("mysql__real__connect", empty, host, user, password), 0);
    EXPECT_EQ(call("mysql__connected"), num(1));
    EXPECT_NE(call("mysql__errno"), 0);

    ASSERT_TRUE(server.start());
    EXPECT_EQ(call("mysql__connect", host, user, password, empty), num(1));
    EXPECT_EQ(query("SELECT 'after' AS w"), num(1));
    EXPECT_EQ(cell("w", 0), "after");
}

TEST_F(PrivateServerTest, ShutdownStopsTheServerAndLeavesTheSessionConnected) {
    PrivateServer server(kPrivatePort);
    // The full routine leaves the port to the client, so the option file's wins.
    option_file("port=" + std::to_string(server.port()));
    GuardedString db = str(""), host = str(kHost), user = str(kUser), password = str(kPassword);
    ASSERT_EQ(call("mysql__real__connect", db, host, user, password), num(1));
    ASSERT_EQ(query("SELECT @@port AS p"), num(1));
    EXPECT_EQ(cell("p", 0), std::to_string(server.port()));

    EXPECT_EQ(call("mysql__shutdown"), num(1));
    EXPECT_EQ(call("mysql__connected"), num(1));
    EXPECT_EQ(query("SELECT 1"), 0);
    EXPECT_NE(call("mysql__ping"), 0);
    EXPECT_EQ(call("mysql__real__connect", db, host, user, password), 0);
    EXPECT_EQ(call("mysql__connected"), num(1));
    EXPECT_EQ(call("mysql__close"), num(1));
}

}  // namespace
}  // namespace cvx::test
