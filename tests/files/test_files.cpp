// The current file through the ABI: opening modes, its three states, closing
// and flushing, positions; and moving data through it (characters, lines,
// formatted values, raw blocks) within the caller's buffers.
#include <climits>
#include <cstring>
#include <string_view>

#include "tests/files/file_fixture.h"

namespace cvx::test {
namespace {

using Files = FileTest;

std::int32_t stored(const Guarded& g) {
    std::int32_t v;
    std::memcpy(&v, g.data(), 4);
    return v;
}

TEST_F(Files, ModesTruncateAppendCreateOrRequireTheFile) {
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

TEST_F(Files, AFailedOpenLeavesTheEarlierStreamForCloseAll) {
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

TEST_F(Files, ReopenClosesTheOldFileAndFailsToNone) {
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
TEST_F(Files, WithoutAnOpenFileEveryExportFails) {
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
        for (const char* e : {"filenoc", "fgetcc", "fgetposc", "fread_int", "fread_uint", "fread_float"}) {
            EXPECT_EQ(call(e, pos), kMinusOne) << e;
        }
        for (const char* e : {"fprintf_string", "fprintf_asc", "fprintf_char", "fread_str", "fread_asc", "fread_char"}) {
            EXPECT_EQ(call(e, s), kMinusOne) << e;
        }
        for (const char* e : {"fputcc", "fprintf_sint", "fprintf_uint", "fprintf_float"}) {
            EXPECT_EQ(call(e, num('x')), kMinusOne) << e;
        }
        EXPECT_EQ(call("fseekc", Word{0}, Word{0}), kOne);
        EXPECT_EQ(call("fsetposc", pos), kOne);
        EXPECT_EQ(call("fputsc", s), kOne);
        EXPECT_EQ(call("ftellc"), -1);
        EXPECT_EQ(call("fgetsc", s, num(8)), 0);
        EXPECT_EQ(call("freadc", s, Word{1}, Word{8}), 0);
        EXPECT_EQ(call("fwritec", s, Word{1}, Word{4}), 0);
        EXPECT_TRUE(s.intact() && pos.intact());
        EXPECT_EQ(s.text(), "keep");
        EXPECT_EQ(read("f"), "");
    }
}

TEST_F(Files, IndicatorsDescriptorAndLength) {
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
    open("fopen_read", ".");  // a directory (where it opens) has no length
    EXPECT_EQ(call("filelengthc", call("filenoc")), -1);
}

TEST_F(Files, PositionsAreRawByteOffsets) {
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

TEST_F(Files, WhatEachOutputWritesAndReturns) {
    EXPECT_EQ(written([] {
                  EXPECT_EQ(call("fputcc", num(321)), num(65));  // a character is a byte
                  EXPECT_EQ(call("fputcc", Word{65 * 1024 + 921}), num(65));  // 65.9
                  EXPECT_EQ(call("fputcc", num(-1)), num(255));
                  EXPECT_EQ(call("fputsc", GuardedString(4, "")), 0);
                  EXPECT_EQ(call("fputsc", GuardedString(4, "abc")), 0);
                  EXPECT_EQ(call("fputsc", Word{0}), kOne);
                  EXPECT_EQ(call("fprintf_string", GuardedString(4, "abc")), num(3));
                  EXPECT_EQ(call("fprintf_asc", GuardedString(4, "A")), num(2));
                  EXPECT_EQ(call("fprintf_asc", GuardedString(4, "\xe9")), num(3));  // unsigned byte
                  EXPECT_EQ(call("fprintf_asc", GuardedString(4, "")), num(1));
                  EXPECT_EQ(call("fprintf_sint", Word{-1536}), num(2));  // -1.5
                  EXPECT_EQ(call("fprintf_sint", Word{INT32_MIN}), num(8));
                  EXPECT_EQ(call("fprintf_uint", num(5)), num(4));
                  EXPECT_EQ(call("fprintf_uint", num(-1)), num(10));
                  EXPECT_EQ(call("fprintf_char", GuardedString(4, "xyz")), num(1));
                  EXPECT_EQ(call("fprintf_float", Word{1536}), num(8));
                  EXPECT_EQ(call("fprintf_float", Word{(1 << 24) + 1}), num(12));
                  EXPECT_EQ(call("fprintf_float", Word{1}), num(8));
                  for (const char* e : {"fprintf_string", "fprintf_asc", "fprintf_char"}) {
                      EXPECT_EQ(call(e, Word{0}), kMinusOne) << e;
                  }
              }),
              "AA\xff" "abcabc652330-2-20971525120" "4294966272x1.50000016384.0000000.000977");
    open_with(std::string("\0\xff", 2));
    EXPECT_EQ(call("fgetcc"), 0);
    EXPECT_EQ(call("fgetcc"), num(255));
    EXPECT_EQ(call("fgetcc"), kMinusOne);
}

TEST_F(Files, LinesStopAtCountCapacityOrNewlineAndLoseNothing) {
    open_with("0123456789abcdefghij\nxy\n");
    GuardedString line(32), small(5);
    EXPECT_EQ(call("fgetsc", line, num(10)), line.word());
    EXPECT_EQ(line.text(), "012345678");
    EXPECT_EQ(call("fgetsc", small, num(100)), small.word());  // the capacity bounds the count
    EXPECT_EQ(small.text(), "9abc");
    for (Word count : {num(1), num(0), num(-1), Word{INT32_MIN}}) EXPECT_EQ(call("fgetsc", line, count), 0);
    EXPECT_EQ(line.text(), "012345678");  // untouched
    EXPECT_EQ(call("fgetsc", line, num(32)), line.word());
    EXPECT_EQ(line.text(), "defghij\n");
    EXPECT_EQ(call("fgetsc", line, num(32)), line.word());
    EXPECT_EQ(call("fgetsc", line, num(32)), 0);  // end of file
    EXPECT_EQ(line.text(), "xy\n");
    EXPECT_TRUE(line.intact() && small.intact());
}

// One read after another from one file: what each returns and what it stored
// in a string of the given capacity and text, or (kNumber) in a number's
// storage holding 99 before, or with no string or storage at all (kNull).
TEST_F(Files, WordsAndNumbersRead) {
    open_with("  hello abcdef 65 0x41 -1 7 -3 5120 1.5 1e30 nan 2097151 -2097152 2097152 -2097153 A z");
    constexpr int kNumber = -1, kNull = -2;
    const struct {
        const char* name;
        int into;
        const char* before;
        Word result;
        std::string_view text;
        std::int32_t number = 99;
    } reads[] = {
        {"fread_str", 16, "xxxxxxxxxx", kOne, "hello"},
        {"fread_str", 1, "", 0, ""},  // no room for a character: nothing read
        {"fread_str", 4, "", kOne, "abc"},  // the capacity bounds the word, the rest stays
        {"fread_str", 4, "", kOne, "def"},
        {"fread_asc", 4, "abc", kOne, "A"},  // 65, stored as four bytes
        {"fread_asc", 4, "abc", kOne, "A"},  // 0x41
        {"fread_asc", 4, "abc", kOne, "\xff\xff\xff\xff"},
        {"fread_asc", 3, "ab", 0, "ab"},  // no room for four bytes: the 7 stays
        {"fread_int", kNumber, "", kOne, "", 7 * 1024}, {"fread_int", kNumber, "", kOne, "", -3 * 1024},
        {"fread_uint", kNumber, "", kOne, "", 5120},    {"fread_float", kNumber, "", kOne, "", 1536},
        {"fread_float", kNumber, "", kOne, "", INT32_MAX},  // held to the range of a script number
        {"fread_float", kNumber, "", kOne, "", 0},          // nan
        // An integer beyond the script range is held to its ends, as
        // fread_float holds a number, instead of wrapping.
        {"fread_int", kNumber, "", kOne, "", 2097151 * 1024}, {"fread_int", kNumber, "", kOne, "", INT32_MIN},
        {"fread_int", kNumber, "", kOne, "", INT32_MAX},      {"fread_int", kNumber, "", kOne, "", INT32_MIN},
        {"fread_int", kNumber, "", 0, ""},  // "A" is no number
        {"fread_int", kNull, "", 0, ""}, {"fread_uint", kNull, "", 0, ""}, {"fread_float", kNull, "", 0, ""},
        {"fread_char", 4, "xyz", kOne, "Ayz"},
        {"fread_char", 4, "xyz", kOne, " yz"},  // white space is a character
        {"fread_char", 0, "", 0, ""},
        {"fread_str", 16, "", kOne, "z"},
        {"fread_str", 16, "keep", kMinusOne, "keep"},  // the end of the file
        {"fread_asc", 16, "keep", kMinusOne, "keep"}, {"fread_char", 16, "keep", kMinusOne, "keep"},
        {"fread_uint", kNumber, "", kMinusOne, ""},
    };
    for (std::size_t i = 0; i < std::size(reads); ++i) {
        const auto& r = reads[i];
        GuardedString s(r.into < 0 ? 0 : static_cast<std::uint32_t>(r.into), r.before);
        Guarded n(4);
        std::memcpy(n.data(), "\x63\0\0\0", 4);
        const Word into = r.into == kNumber ? n.address() : r.into == kNull ? 0 : s.word();
        EXPECT_EQ(call(r.name, into), r.result) << "read " << i << ": " << r.name;
        EXPECT_EQ(r.into >= 0 ? s.text() : "", r.text) << "read " << i;
        EXPECT_EQ(r.into == kNumber ? stored(n) : 99, r.number) << "read " << i;
        EXPECT_TRUE(s.intact() && n.intact());
    }
}

TEST_F(Files, RawBlocksStayWithinTheBuffer) {
    open_with(std::string("0123456789", 10));
    GuardedString block(6);
    block.fill('.');
    EXPECT_EQ(call("freadc", block, Word{4}, Word{10}), num(1));  // one 4-byte item fits
    EXPECT_EQ(block.bytes(), "0123..");
    EXPECT_EQ(call("freadc", block, Word{1}, Word{0}), 0);
    EXPECT_EQ(call("freadc", block, Word{0}, Word{10}), 0);
    EXPECT_EQ(call("fgetcc"), num('4'));
    call("fseekc", Word{6}, num(0));
    EXPECT_EQ(call("freadc", block, Word{1}, Word{10}), num(4));  // a 4-byte remainder
    EXPECT_EQ(block.bytes(), "6789..");
    EXPECT_EQ(call("fwritec", block, Word{1}, Word{1}), 0);  // opened for reading
    EXPECT_TRUE(block.intact());

    GuardedString data(4);
    std::memcpy(data.chars(), "a\0b\0", 4);
    EXPECT_EQ(written([&] {
                  EXPECT_EQ(call("fwritec", data, Word{1}, Word{0}), 0);
                  EXPECT_EQ(call("fwritec", data, Word{2}, Word{100}), kOne);  // 2 items fit
                  EXPECT_EQ(call("fwritec", data, Word{8}, Word{1}), 0);
                  EXPECT_EQ(call("fwritec", Word{0}, Word{1}, Word{1}), 0);
              }),
              std::string("a\0b\0", 4));
}

}  // namespace
}  // namespace cvx::test
