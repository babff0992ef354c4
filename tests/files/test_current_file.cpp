// The current file: opening modes, its three states, closing and flushing,
// indicators, descriptor, length and positions.
#include <climits>
#include <cstdio>

#include "tests/files/file_fixture.h"

namespace cvx::test {
namespace {

using CurrentFile = FileTest;

TEST_F(CurrentFile, ModesTruncateAppendCreateOrRequireTheFile) {
    write("f", "0123456789");
    ASSERT_EQ(open("fopen_rwrite", "f"), kOne);  // existing file kept, written in place
    call("fputsc", GuardedString(8, "ab"));
    call("fclosec");
    EXPECT_EQ(read("f"), "ab23456789");
    ASSERT_EQ(open("fopen_append", "f"), kOne);
    call("fseek_start");
    call("fputsc", GuardedString(8, "X"));
    call("fflushc");
    ASSERT_EQ(open("fopen_rappend", "f"), kOne);  // the append stream stays open
    call("fputsc", GuardedString(8, "Y"));
    call("fseek_start");
    EXPECT_EQ(call("fgetcc"), num('a'));  // reads from anywhere, writes at the end
    EXPECT_EQ(call("fcloseallc"), kOne);
    EXPECT_EQ(read("f"), "ab23456789XY");
    ASSERT_EQ(open("fopen_write", "f"), kOne);
    EXPECT_EQ(call("fclosec"), kZero);
    EXPECT_EQ(read("f"), "");
    EXPECT_EQ(open("fopen_read", "missing"), kZero);
    EXPECT_EQ(open("fopen_rwrite", "missing"), kZero);
    EXPECT_EQ(open("fopen_rcwrite", "new"), kOne);
    EXPECT_TRUE(std::filesystem::exists(path("new")));
}

TEST_F(CurrentFile, AFailedOpenLeavesTheEarlierStreamForCloseAll) {
    ASSERT_EQ(open("fopen_write", "a"), kOne);
    call("fputsc", GuardedString(8, "abc"));  // still in the stream's buffer
    EXPECT_EQ(open("fopen_read", "missing"), kZero);
    EXPECT_EQ(call("fputsc", GuardedString(8, "lost")), kOne);  // no current file
    EXPECT_EQ(call("flushallc"), num(4));                       // 3 standard + a
    EXPECT_EQ(read("a"), "abc");
    EXPECT_EQ(call("fcloseallc"), kOne);
    EXPECT_EQ(call("fcloseallc"), kZero);
    EXPECT_EQ(call("flushallc"), num(3));
}

TEST_F(CurrentFile, ReopenClosesTheOldFileAndFailsToNone) {
    ASSERT_EQ(open("freopen_write", "a"), kOne);  // nothing open: an open
    call("fputsc", GuardedString(8, "one"));
    ASSERT_EQ(open("freopen_rcwrite", "b"), kOne);
    EXPECT_EQ(read("a"), "one");  // closed, so flushed
    call("fputsc", GuardedString(8, "two"));
    EXPECT_EQ(open("freopen_read", "missing"), kZero);
    EXPECT_EQ(read("b"), "two");
    EXPECT_EQ(call("fgetcc"), kMinusOne);
    EXPECT_EQ(call("fcloseallc"), kZero);  // the old stream went with the reopen
}

// Every export on a file that is not open returns its failure value and
// touches no buffer; a second close never reaches the runtime.
TEST_F(CurrentFile, WithoutAnOpenFileEveryExportFails) {
    // never opened, closed, closed by fcloseallc, after a failed open
    for (int way = 0; way < 4; ++way) {
        SCOPED_TRACE(way);
        call("fcloseallc");
        if (way > 0) {
            ASSERT_EQ(open("fopen_rcwrite", "f"), kOne);
        }
        const Word leave = way == 1 ? call("fclosec") : way == 2 ? call("fcloseallc") - kOne
                                                     : way == 3 ? open("fopen_read", "missing") : 0;
        EXPECT_EQ(leave, kZero);
        GuardedString s(8, "keep");
        Guarded pos(32);
        for (const char* e : {"fclosec", "fflushc", "fseek_start", "fseek_end", "feofc", "ferrorc"}) {
            EXPECT_EQ(call(e), kOne) << e;
        }
        for (const char* e : {"filenoc", "fgetcc", "fread_int", "fread_uint", "fread_float"}) {
            EXPECT_EQ(call(e, pos), kMinusOne) << e;
        }
        for (const char* e : {"fprintf_string", "fprintf_asc", "fprintf_char", "fread_str", "fread_asc", "fread_char"}) {
            EXPECT_EQ(call(e, s), kMinusOne) << e;
        }
        EXPECT_EQ(call("fseekc", Word{0}, Word{0}), kOne);
        EXPECT_EQ(call("fsetposc", pos), kOne);
        EXPECT_EQ(call("fputsc", s), kOne);
        EXPECT_EQ(call("ftellc"), -1);
        EXPECT_EQ(call("fgetposc", pos), kMinusOne);
        EXPECT_EQ(call("fputcc", num('x')), kMinusOne);
        EXPECT_EQ(call("fprintf_sint", num(1)), kMinusOne);
        EXPECT_EQ(call("fgetsc", s, num(8)), 0);
        EXPECT_EQ(call("freadc", s, Word{1}, Word{8}), 0);
        EXPECT_EQ(call("fwritec", s, Word{1}, Word{4}), 0);
        EXPECT_TRUE(s.intact() && pos.intact());
        EXPECT_EQ(s.text(), "keep");
        EXPECT_EQ(read("f"), "");
    }
}

TEST_F(CurrentFile, IndicatorsDescriptorAndLength) {
    open_with("ab");
    EXPECT_EQ(call("feofc"), kZero);
    EXPECT_EQ(call("fputcc", num('x')), kMinusOne);  // opened for reading only
    EXPECT_EQ(call("ferrorc"), kOne);
    call("fgetcc");
    call("fgetcc");
    EXPECT_EQ(call("feofc"), kZero);
    EXPECT_EQ(call("fgetcc"), kMinusOne);
    EXPECT_EQ(call("feofc"), kOne);

    ASSERT_EQ(open("fopen_write", "out"), kOne);
    const Word fd = call("filenoc");
    EXPECT_GE(fd, num(3));
    call("fputsc", GuardedString(16, "0123456789"));
    EXPECT_EQ(call("filelengthc", fd), 0);  // not flushed yet
    EXPECT_EQ(call("fflushc"), kZero);
    EXPECT_EQ(call("filelengthc", fd), 10);
    for (Word bad : {num(-1), num(100000), Word{INT32_MIN}}) EXPECT_EQ(call("filelengthc", bad), -1);
}

TEST_F(CurrentFile, PositionsAreRawByteOffsets) {
    open_with(std::string(3000, 'a') + "Z");
    EXPECT_EQ(call("fseek_end"), kZero);
    EXPECT_EQ(call("ftellc"), 3001);
    EXPECT_EQ(call("fseekc", Word{3000}, num(0)), kZero);
    EXPECT_EQ(call("fgetcc"), num('Z'));
    EXPECT_EQ(call("fseekc", Word{-2}, Word{2 * 1024 + 717}), kZero);  // origin 2.7 is 2
    EXPECT_EQ(call("ftellc"), 2999);
    for (Word origin : {num(3), num(-1), Word{INT32_MIN}}) EXPECT_EQ(call("fseekc", Word{0}, origin), kOne);
    EXPECT_EQ(call("fseekc", Word{-5000}, num(1)), kOne);
    EXPECT_EQ(call("ftellc"), 2999);

    Guarded pos(sizeof(std::fpos_t));
    EXPECT_EQ(call("fgetposc", pos), kZero);
    call("fseek_start");
    EXPECT_EQ(call("fsetposc", pos), kZero);
    EXPECT_EQ(call("ftellc"), 2999);
    EXPECT_TRUE(pos.intact());
    EXPECT_EQ(call("fgetposc", Word{0}), kMinusOne);
    EXPECT_EQ(call("fsetposc", Word{0}), kOne);
}

}  // namespace
}  // namespace cvx::test
