// The database family's logic without a server: the session's own storage
// of a result's rows (every cell reads back as it was added, whatever its
// size and wherever its row falls, across the row pages and the growing
// blocks; retiring hands every mapping over at once, and the next rows are
// stored in the first mappings, kept and still holding the old bytes), and
// what the session reads itself from the option file: the statement
// timeouts and the switch that keeps a lost link lost.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/option_file.h"
#include "database/stored_rows.h"

namespace cvx::database {
namespace {

// Row r's cells: a number, a cell whose size cycles from empty to past a
// page, SQL NULL on every seventh row, and on rows that are multiples of
// 1000 a cell whose zero byte moves along (its text is what precedes it).
std::string before_zero(std::uint64_t r) { return std::string(static_cast<std::size_t>(r / 1000 % 19), 'z'); }
std::vector<std::string> cells_of(std::uint64_t r) {
    return {std::to_string(r), std::string(static_cast<std::size_t>(r % 5000), static_cast<char>('a' + r % 26)), r % 7 ? "x" : "",
            r % 1000 ? "plain" : before_zero(r) + std::string("\0after", 6)};
}

TEST(StoredRows, EveryCellReadsBackAsAdded) {
    constexpr std::uint64_t kRows = 20000;  // more than two row pages
    ReleaseQueue queue;
    StoredRows rows(4, queue);
    for (std::uint64_t r = 0; r < kRows; ++r) {
        const std::vector<std::string> c = cells_of(r);
        const char* cells[4] = {c[0].c_str(), c[1].c_str(), r % 7 ? c[2].c_str() : nullptr, c[3].data()};
        const unsigned long lengths[4] = {c[0].size(), c[1].size(), c[2].size(), c[3].size()};
        rows.append(cells, lengths);
    }
    const std::string huge(3 << 20, 'h');  // larger than any block
    const char* huge_cells[4] = {huge.c_str(), "", nullptr, "end"};
    const unsigned long huge_lengths[4] = {huge.size(), 0, 0, 3};
    rows.append(huge_cells, huge_lengths);

    ASSERT_EQ(rows.size(), kRows + 1);
    for (std::uint64_t r = 0; r < kRows; ++r) {
        const std::vector<std::string> c = cells_of(r);
        ASSERT_EQ(rows.cell(r, 0), c[0]);
        ASSERT_EQ(rows.cell(r, 1), c[1]) << r;
        ASSERT_EQ(rows.cell(r, 2), r % 7 ? "x" : "NULL") << r;
        ASSERT_EQ(rows.cell(r, 3), r % 1000 ? "plain" : before_zero(r)) << r;  // up to the zero byte
    }
    EXPECT_EQ(rows.cell(kRows, 0), huge);
    EXPECT_EQ(rows.cell(kRows, 1), "");
    EXPECT_EQ(rows.cell(kRows, 2), "NULL");
    EXPECT_EQ(rows.cell(kRows, 3), "end");

    StoredRows moved = std::move(rows);
    EXPECT_EQ(rows.size(), 0u);
    moved.retire_into(queue);
    EXPECT_EQ(moved.size(), 0u);
    EXPECT_FALSE(queue.empty());
    while (!queue.empty()) queue.release_some(WorkSlice(std::chrono::microseconds(0)));

    StoredRows next(2, queue);
    const char* next_cells[2] = {"n", nullptr};
    const unsigned long next_lengths[2] = {1, 0};
    next.append(next_cells, next_lengths);
    EXPECT_EQ(next.cell(0, 0), "n");
    EXPECT_EQ(next.cell(0, 1), "NULL");
}

TEST(OptionFile, SettingsComeFromTheClientGroupsOnlyTheLastOneWinning) {
    const OptionFileSettings s = option_file_settings(
        "[mysqld]\nread-timeout=99\nreconnect=0\n"
        "[client]\nport=3306\nread-timeout=5\r\n# read-timeout=7\nreconnect=1\n"
        "[client-mariadb]\nWRITE_TIMEOUT = \"3\"\nread_timeout=4 # seconds\nReconnect = 'off'\n"
        "[mysql]\nwrite-timeout=11\nreconnect=1\n");
    EXPECT_EQ(s.read_timeout, 4u);
    EXPECT_EQ(s.write_timeout, 3u);
    EXPECT_FALSE(s.reconnect);
}

TEST(OptionFile, AnythingButAPositiveWholeNumberIsNoTimeoutAndOnlyAClearNoTurnsReconnectOff) {
    for (const char* value : {"", "0", "-2", "2.5", "2s", "x", "1234567890", "'", "+3"}) {
        const std::string text = std::string("[client]\nread-timeout=") + value + "\nwrite-timeout" + "\n";
        const OptionFileSettings s = option_file_settings(text);
        EXPECT_EQ(s.read_timeout, 0u) << "'" << value << "'";
        EXPECT_EQ(s.write_timeout, 0u) << "'" << value << "'";
    }
    for (const char* value : {"", "=1", "=yes", "=2", "=on"}) {
        EXPECT_TRUE(option_file_settings(std::string("[client]\nreconnect") + value).reconnect) << value;
    }
    for (const char* value : {"=0", "=false", "=OFF", "= no", "=\"0\""}) {
        EXPECT_FALSE(option_file_settings(std::string("[client]\nreconnect") + value).reconnect) << value;
    }
    EXPECT_EQ(option_file_settings("read-timeout=5\n").read_timeout, 0u);  // outside any group
    EXPECT_EQ(option_file_settings("[client\nread-timeout=5").read_timeout, 0u);
    const OptionFileSettings none = option_file_settings_of("/nonexistent/my");
    EXPECT_EQ(none.read_timeout, 0u);
    EXPECT_TRUE(none.reconnect);
}

}  // namespace
}  // namespace cvx::database
