// The statement timeouts that the session reads from the option file.
#include <gtest/gtest.h>

#include "database/option_file.h"

namespace cvx::database {
namespace {

TEST(OptionFile, TimeoutsComeFromTheClientGroupsOnlyTheLastOneWinning) {
    const StatementTimeouts t = statement_timeouts(
        "[mysqld]\nread-timeout=99\n"
        "[client]\nport=3306\nread-timeout=5\r\n# read-timeout=7\n"
        "[client-mariadb]\nWRITE_TIMEOUT = \"3\"\nread_timeout=4 # seconds\n"
        "[mysql]\nwrite-timeout=11\n");
    EXPECT_EQ(t.read, 4u);
    EXPECT_EQ(t.write, 3u);
}

TEST(OptionFile, AnythingButAPositiveWholeNumberIsNoTimeout) {
    for (const char* value : {"", "0", "-2", "2.5", "2s", "x", "1234567890", "'", "+3"}) {
        const std::string text = std::string("[client]\nread-timeout=") + value + "\nwrite-timeout" + "\n";
        const StatementTimeouts t = statement_timeouts(text);
        EXPECT_EQ(t.read, 0u) << "'" << value << "'";
        EXPECT_EQ(t.write, 0u) << "'" << value << "'";
    }
    EXPECT_EQ(statement_timeouts("read-timeout=5\n").read, 0u);  // outside any group
    EXPECT_EQ(statement_timeouts("[client\nread-timeout=5").read, 0u);
    EXPECT_EQ(statement_timeouts_of_file("/nonexistent/my").read, 0u);
}

}  // namespace
}  // namespace cvx::database
