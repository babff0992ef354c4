// Windows only: every open mode of the file exports is a text mode, so the
// C runtime writes "\n" as CR LF, reads CR LF back as "\n", and ends a text
// read at a Ctrl-Z byte. Positions and lengths count the bytes on disk.
#include "tests/files/file_fixture.h"

namespace cvx::test {
namespace {

using TextMode = FileTest;

TEST_F(TextMode, NewlinesAreWrittenAsCrLfAndPositionsCountBothBytes) {
    EXPECT_EQ(written([] {
                  EXPECT_EQ(call("fputsc", GuardedString(16, "a\nb\n")), 0);
                  EXPECT_EQ(call("ftellc"), 6);
                  EXPECT_EQ(call("fwritec", GuardedString(16, "\n\n"), Word{1}, Word{2}), kOne);  // raw blocks too
              }),
              "a\r\nb\r\n\r\n\r\n");
}

TEST_F(TextMode, CrLfIsReadAsNewlineAndCtrlZEndsARead) {
    open_with("x\r\ny\r\nz\x1a" "cd");
    GuardedString line(32), rest(8);
    EXPECT_EQ(call("fgetsc", line, num(32)), line.word());
    EXPECT_EQ(line.text(), "x\n");
    EXPECT_EQ(call("fgetcc"), num('y'));
    EXPECT_EQ(call("fgetcc"), num('\n'));
    EXPECT_EQ(call("freadc", rest, Word{1}, Word{4}), num(1));  // only "z" before the Ctrl-Z
    EXPECT_EQ(call("fgetcc"), kMinusOne);
    EXPECT_EQ(call("feofc"), kOne);
    EXPECT_TRUE(line.intact() && rest.intact());
}

}  // namespace
}  // namespace cvx::test
