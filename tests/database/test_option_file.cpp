// What the session reads itself from the option file: the statement
// timeouts and the switch that keeps a lost link lost.
#include <gtest/gtest.h>

#include "database/option_file.h"

namespace cvx::database {
namespace {

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
