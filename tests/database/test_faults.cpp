// Sizes and memory (Linux, where the allocator and the resident size can
// be read): very large statements and results, and refused statements
// without end, keep no memory they no longer need. (The ways a link is lost
// are in test_session.cpp, the bounds on a handshake in
// test_nonblocking.cpp.)
#include <malloc.h>

#include "tests/database/private_server.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace cvx::test {
namespace {

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

using Faults = DatabaseTest;

// Catches a statement or a cell cut at a fixed buffer size (Results has the small ones),
// and a long statement's send cut by the next start. (On a server of the
// test's own, which it stops while a statement goes out.)
TEST_F(Faults, AStatementOfOneMebibyteRoundTrips) {
    PrivateServer server(kPrivatePort);
    ASSERT_EQ(connect_to_port(server.port()), num(1));
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

    // Started, eight times as long, to a server that reads nothing
    // meanwhile: it goes out over several calls, and the start behind it
    // meets it still on its way.
    const std::string longer(8 * text.size(), 'r');
    ASSERT_TRUE(server.freeze());
    ASSERT_EQ(start(head + longer + tail), num(1));
    ASSERT_EQ(start("SELECT 'behind' AS big"), num(1));
    server.thaw();
    poll_until_finished();
    EXPECT_EQ(cell("big", 0, static_cast<std::uint32_t>(longer.size() + 1)), longer);
    poll_until_finished();
    EXPECT_EQ(cell("big", 0), "behind");
}

// Catches the rows of a replaced result kept: mappings not unmapped, or blocks the allocator still holds.
TEST_F(Faults, ALargeResultIsReleasedWhenTheNextStatementReplacesIt) {
    ASSERT_EQ(connect(), num(1));
    ASSERT_EQ(query("SELECT 1 AS warm"), num(1));
    ASSERT_EQ(cell("warm", 0), "1");
    const std::size_t before = allocated_bytes(), rss_before = resident_bytes();

    ASSERT_EQ(query("SELECT seq AS n, CONCAT('row-', seq) AS label FROM mysql.seq_1_to_200000"), num(1));
    EXPECT_EQ(call("mysql__num__rows"), Word{200000});
    EXPECT_EQ(cell("label", 199999), "row-200000");  // every row indexed
    EXPECT_EQ(cell("label", 0), "row-1");
    const std::size_t rss_held = resident_bytes();
    ASSERT_EQ(query("SELECT 2 AS small"), num(1));
    const std::size_t after = allocated_bytes(), rss_after = resident_bytes();
    // The rows live in mappings of their own: resident, not allocated.
    EXPECT_GT(rss_held, rss_before + 4 * kMiB);  // the set really was held here
    EXPECT_LT(rss_after, rss_before + kMiB);
    EXPECT_LT(after, before + 256 * 1024);
    EXPECT_EQ(cell("small", 0), "2");
    EXPECT_EQ(cell("label", 0), "<0>");
}

// Catches a refusal that keeps something per statement (an error text, a result, a handle).
TEST_F(Faults, RefusedStatementsInALoopKeepNothing) {
    ASSERT_EQ(connect(), num(1));
    ASSERT_EQ(query("SELECT 'kept' AS w"), num(1));
    GuardedString bad = str("SELECT nonsense FROM");
    const Export run("mysql__query");
    for (int i = 0; i < 200; ++i) ASSERT_EQ(run(bad), 0);  // warm up
    const std::size_t before = allocated_bytes();
    int refused = 0;
    for (int i = 0; i < 5000; ++i) refused += run(bad) == 0;
    EXPECT_EQ(refused, 5000);
    EXPECT_LT(allocated_bytes(), before + 16 * 1024);
    EXPECT_EQ(call("mysql__errno"), num(1064));
    EXPECT_EQ(cell("w", 0), "kept");
}

}  // namespace
}  // namespace cvx::test
