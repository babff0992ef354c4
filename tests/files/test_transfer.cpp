// Moving data through the current file: characters, lines, formatted values
// and raw blocks, within the caller's buffers and without losing input.
#include <climits>
#include <cstring>

#include "tests/files/file_fixture.h"

namespace cvx::test {
namespace {

class Transfer : public FileTest {
protected:
    // What `calls` writes into a fresh file.
    template <typename Calls>
    std::string written(Calls calls) {
        EXPECT_EQ(open("fopen_write", "out"), kOne);
        calls();
        call("fclosec");
        return read("out");
    }
    static std::int32_t stored(const Guarded& g) {
        std::int32_t v;
        std::memcpy(&v, g.data(), 4);
        return v;
    }
};

TEST_F(Transfer, CharactersAreBytes) {
    EXPECT_EQ(written([] {
                  EXPECT_EQ(call("fputcc", num(321)), num(65));
                  EXPECT_EQ(call("fputcc", Word{65 * 1024 + 921}), num(65));  // 65.9
                  EXPECT_EQ(call("fputcc", num(-1)), num(255));
              }),
              "AA\xff");
    open_with(std::string("\0\xff", 2));
    EXPECT_EQ(call("fgetcc"), 0);
    EXPECT_EQ(call("fgetcc"), num(255));
    EXPECT_EQ(call("fgetcc"), kMinusOne);
}

TEST_F(Transfer, LinesStopAtCountCapacityOrNewlineAndLoseNothing) {
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

    EXPECT_EQ(written([] {
                  EXPECT_EQ(call("fputsc", GuardedString(4, "")), 0);
                  EXPECT_EQ(call("fputsc", GuardedString(4, "abc")), 0);
                  EXPECT_EQ(call("fputsc", Word{0}), kOne);
              }),
              "abc");
}

TEST_F(Transfer, FormattedOutput) {
    EXPECT_EQ(written([] {
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
              "abc652330-2-20971525120" "4294966272x1.50000016384.0000000.000977");
}

TEST_F(Transfer, WordsAndNumbersRead) {
    open_with("  hello world abcdefgh 65 0x41 -1 7 12 -3 5120 1.5 1e30 nan A z");
    GuardedString word(16, "xxxxxxxxxx"), tiny(4), text(4, "abc"), three(3, "ab");
    EXPECT_EQ(call("fread_str", word), kOne);
    EXPECT_EQ(word.text(), "hello");
    EXPECT_EQ(call("fread_str", word), kOne);
    EXPECT_EQ(call("fread_str", GuardedString(1)), 0);
    for (const char* part : {"abc", "def", "gh"}) {
        EXPECT_EQ(call("fread_str", tiny), kOne);
        EXPECT_EQ(tiny.text(), part);
    }
    EXPECT_EQ(call("fread_asc", text), kOne);
    EXPECT_EQ(text.text(), "A");
    EXPECT_EQ(call("fread_asc", text), kOne);
    EXPECT_EQ(text.text(), "A");
    EXPECT_EQ(call("fread_asc", text), kOne);
    EXPECT_EQ(text.bytes(), "\xff\xff\xff\xff");
    EXPECT_EQ(call("fread_asc", three), 0);  // refused, the 7 stays
    EXPECT_EQ(three.text(), "ab");
    Guarded n(4);
    EXPECT_EQ(call("fread_int", n), kOne);
    EXPECT_EQ(stored(n), 7 * 1024);
    call("fread_int", n);
    call("fread_int", n);
    EXPECT_EQ(stored(n), -3 * 1024);
    EXPECT_EQ(call("fread_uint", n), kOne);
    EXPECT_EQ(stored(n), 5120);
    EXPECT_EQ(call("fread_float", n), kOne);
    EXPECT_EQ(stored(n), 1536);
    call("fread_float", n);
    EXPECT_EQ(stored(n), INT32_MAX);  // held to the range of a script number
    call("fread_float", n);
    EXPECT_EQ(stored(n), 0);
    EXPECT_EQ(call("fread_int", n), 0);  // "A" is no number
    for (const char* e : {"fread_int", "fread_uint", "fread_float"}) EXPECT_EQ(call(e, Word{0}), 0) << e;
    GuardedString chars(4, "xyz");
    EXPECT_EQ(call("fread_char", chars), kOne);
    EXPECT_EQ(chars.text(), "Ayz");
    EXPECT_EQ(call("fread_char", chars), kOne);  // white space is a character
    EXPECT_EQ(chars.text(), " yz");
    EXPECT_EQ(call("fread_char", GuardedString(0)), 0);
    EXPECT_EQ(call("fread_str", word), kOne);
    EXPECT_EQ(word.text(), "z");
    for (const char* e : {"fread_str", "fread_asc", "fread_char"}) EXPECT_EQ(call(e, word), kMinusOne) << e;
    std::memcpy(n.data(), "\x63\0\0\0", 4);
    EXPECT_EQ(call("fread_uint", n), kMinusOne);
    EXPECT_EQ(stored(n), 99);
    EXPECT_TRUE(word.intact() && tiny.intact() && text.intact() && three.intact() && n.intact());
}

// An integer beyond the script range is held to its ends, as fread_float
// holds a number, instead of wrapping (3000000 × 1024 would be negative).
TEST_F(Transfer, IntegersReadAreHeldToTheScriptRange) {
    open_with("3000000 -3000000 2097151 -2097152 2097152 -2097153");
    Guarded n(4);
    const std::int32_t expected[] = {INT32_MAX, INT32_MIN, 2097151 * 1024, INT32_MIN, INT32_MAX, INT32_MIN};
    for (std::int32_t e : expected) {
        EXPECT_EQ(call("fread_int", n), kOne);
        EXPECT_EQ(stored(n), e);
    }
    EXPECT_TRUE(n.intact());
}

TEST_F(Transfer, RawBlocksStayWithinTheBuffer) {
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
