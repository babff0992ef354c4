// The conversions every export uses, at the edges where shifting goes wrong.
// (Texts read within their capacity and the one checked copy are checked
// through every string export in tests/strings.)
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "host/script_string.h"
#include "host/script_value.h"

namespace cvx {
namespace {

// A number argument arrives sign-extended; the low 32 bits are its raw value.
constexpr Word arg(std::int32_t raw_value) { return raw_result(raw_value); }

TEST(Conversions, AtTheEdges) {
    // whole rounds toward minus infinity
    EXPECT_EQ(whole(arg(1024)), 1);
    EXPECT_EQ(whole(arg(1023)), 0);
    EXPECT_EQ(whole(arg(-1)), -1);
    EXPECT_EQ(whole(arg(-1536)), -2);
    EXPECT_EQ(whole(arg(INT_MIN)), -2097152);
    EXPECT_EQ(whole(arg(INT_MAX)), 2097151);
    // A 64-bit word with junk above the raw value reads as that raw value.
    const Word junk = static_cast<Word>(static_cast<std::uintptr_t>(0x5000) << 16 << 16);
    EXPECT_EQ(raw(junk | 300), sizeof(Word) == 8 ? 300 : raw(junk | 300));
    EXPECT_EQ(raw(arg(-1)), -1);
    EXPECT_EQ(raw_unsigned(arg(-1)), 0xFFFFFFFFu);
    // scaled wraps without a range check
    EXPECT_EQ(scaled(-1), -1024);
    EXPECT_EQ(scaled(2097151), 2147482624);
    EXPECT_EQ(scaled(2097152), raw_result(INT_MIN));
    EXPECT_EQ(scaled(-2097153), raw_result(2147482624));
    // a character is the low byte of the whole value
    EXPECT_EQ(character(arg(364 * 1024)), 108);
    EXPECT_EQ(character(arg(65 * 1024 + 900)), 65);
    EXPECT_EQ(character(arg(-1024)), 255);
    // a float goes through single precision: 2^24 + 1 raw needs 25 bits
    EXPECT_EQ(to_float(arg(1536)), 1.5f);
    EXPECT_EQ(to_float(arg(1)), 0.0009765625f);
    EXPECT_EQ(to_float(arg(-1536)), -1.5f);
    EXPECT_EQ(static_cast<double>(to_float(arg((1 << 24) + 1))), 16384.0);
}

// An offset near the top of size_t must not wrap round into the buffer.
TEST(ScriptStrings, PutRefusesOffsetsPastTheCapacity) {
    char buffer[8];
    std::memset(buffer, '.', sizeof buffer);
    ScriptString s{};
    s.chars = buffer;
    s.capacity = 6;
    EXPECT_FALSE(put(destination_arg(&s), 6, "", 0));  // no room even for the terminator
    EXPECT_FALSE(put(destination_arg(&s), static_cast<std::size_t>(-1), "a", 1));
    EXPECT_EQ(std::string(buffer, 8), "........");
}

}  // namespace
}  // namespace cvx
