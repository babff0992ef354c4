// Windows only: every open mode of the file exports is a text mode, so the
// C runtime writes "\n" as CR LF, reads CR LF back as "\n", and ends a text
// read at a Ctrl-Z byte. Positions and lengths count the bytes on disk.
#include "tests/files/file_fixture.h"

namespace cvx::test {
namespace {

class TextMode : public FileTest {};

TEST_F(TextMode, NewlinesAreWrittenAsCrLfAndPositionsCountBothBytes) {
    ASSERT_EQ(open("fopen_write", "out"), kOne);
    GuardedString lines(16, "a\nb\n");
    EXPECT_EQ(call("fputsc", lines), 0);
    EXPECT_EQ(call("ftellc"), 6);
    GuardedString block(16, "\n\n");
    EXPECT_EQ(call("fwritec", block, Word{1}, Word{2}), kOne);  // raw blocks too
    EXPECT_EQ(call("fclosec"), 0);
    EXPECT_EQ(read("out"), "a\r\nb\r\n\r\n\r\n");
}

TEST_F(TextMode, CrLfIsReadAsNewline) {
    open_with("x\r\ny\r\nz");
    GuardedString line(32);
    EXPECT_EQ(call("fgetsc", line, num(32)), line.word());
    EXPECT_EQ(line.text(), "x\n");
    EXPECT_EQ(call("fgetcc"), num('y'));
    EXPECT_EQ(call("fgetcc"), num('\n'));
    GuardedString rest(8);
    EXPECT_EQ(call("freadc", rest, Word{1}, Word{4}), num(1));  // only "z" is left
    EXPECT_TRUE(line.intact() && rest.intact());
}

TEST_F(TextMode, CtrlZEndsATextRead) {
    open_with(std::string("ab\x1a" "cd"));
    EXPECT_EQ(call("fgetcc"), num('a'));
    EXPECT_EQ(call("fgetcc"), num('b'));
    EXPECT_EQ(call("fgetcc"), kMinusOne);
    EXPECT_EQ(call("feofc"), kOne);
}

}  // namespace
}  // namespace cvx::test
