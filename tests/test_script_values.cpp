// The conversions every export uses, at the edges where shifting goes wrong,
// and texts read within their capacity.
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

TEST(Conversions, WholeRoundsTowardMinusInfinity) {
    EXPECT_EQ(whole(arg(1024)), 1);
    EXPECT_EQ(whole(arg(1023)), 0);
    EXPECT_EQ(whole(arg(-1)), -1);
    EXPECT_EQ(whole(arg(-1536)), -2);
    EXPECT_EQ(whole(arg(INT_MIN)), -2097152);
    EXPECT_EQ(whole(arg(INT_MAX)), 2097151);
}

TEST(Conversions, ArgumentsReadOnlyTheLow32Bits) {
    // A 64-bit word with junk above the raw value reads as that raw value.
    const Word junk = static_cast<Word>(static_cast<std::uintptr_t>(0x5000) << 16 << 16);
    EXPECT_EQ(raw(junk | 300), sizeof(Word) == 8 ? 300 : raw(junk | 300));
    EXPECT_EQ(raw(arg(-1)), -1);
    EXPECT_EQ(raw_unsigned(arg(-1)), 0xFFFFFFFFu);
}

TEST(Conversions, ScaledWrapsWithoutRangeCheck) {
    EXPECT_EQ(scaled(-1), -1024);
    EXPECT_EQ(scaled(2097151), 2147482624);
    EXPECT_EQ(scaled(2097152), raw_result(INT_MIN));
    EXPECT_EQ(scaled(-2097153), raw_result(2147482624));
}

TEST(Conversions, CharacterIsTheLowByteOfTheWholeValue) {
    EXPECT_EQ(character(arg(364 * 1024)), 108);  // low 8 bits of the whole value
    EXPECT_EQ(character(arg(65 * 1024 + 900)), 65);
    EXPECT_EQ(character(arg(-1024)), 255);
}

TEST(Conversions, FloatGoesThroughSinglePrecision) {
    EXPECT_EQ(to_float(arg(1536)), 1.5f);
    EXPECT_EQ(to_float(arg(1)), 0.0009765625f);
    EXPECT_EQ(to_float(arg(-1536)), -1.5f);
    // 2^24 + 1 raw needs 25 significant bits: single precision drops the last.
    EXPECT_EQ(static_cast<double>(to_float(arg((1 << 24) + 1))), 16384.0);
}

TEST(Conversions, TextArgumentsAreBoundedByCapacity) {
    char buffer[8] = {'a', 'b', 'c', 0, 'x', 'x', 'x', 'x'};
    ScriptString s{};
    s.chars = buffer;
    s.capacity = 8;
    const Word w = reinterpret_cast<Word>(&s);
    ASSERT_TRUE(text_arg(w).has_value());
    EXPECT_EQ(*text_arg(w), "abc");
    EXPECT_STREQ(terminated_text(w), "abc");
    s.capacity = 3;  // the terminator lies outside the buffer: refused
    EXPECT_FALSE(text_arg(w).has_value());
    s.capacity = 0;
    EXPECT_FALSE(text_arg(w).has_value());
    s.chars = nullptr;
    s.capacity = 8;
    EXPECT_FALSE(text_arg(w).has_value());
    EXPECT_FALSE(text_arg(Word{0}).has_value());
    EXPECT_EQ(terminated_text(0), nullptr);
}

// The one checked copy: n bytes and a terminator, or nothing at all.
TEST(ScriptStrings, PutWritesOnlyWhatFitsTheCapacity) {
    char buffer[8];
    std::memset(buffer, '.', sizeof buffer);
    ScriptString s{};
    s.chars = buffer;
    s.capacity = 6;  // the last two bytes are not the string's
    const Destination d = destination_arg(&s);
    EXPECT_TRUE(put(d, 0, "hello", 5));  // exactly fills the capacity
    EXPECT_EQ(std::string(buffer, 8), std::string("hello\0..", 8));
    EXPECT_FALSE(put(d, 0, "hello!", 6));  // one byte short: nothing written
    EXPECT_FALSE(put(d, 2, "abcd", 4));
    EXPECT_FALSE(put(d, 6, "", 0));  // no room even for the terminator
    EXPECT_FALSE(put(d, static_cast<std::size_t>(-1), "a", 1));
    EXPECT_EQ(std::string(buffer, 8), std::string("hello\0..", 8));
    EXPECT_TRUE(put(d, 5, "", 0));
    // The source may lie inside the destination: read before it is written.
    EXPECT_TRUE(put(d, 1, buffer, 4));
    EXPECT_EQ(std::string(buffer, 8), std::string("hhell\0..", 8));
}

TEST(ScriptStrings, MissingRecordOrBufferIsAnEmptyDestination) {
    ScriptString s{};
    s.capacity = 16;  // no buffer: the capacity does not count
    EXPECT_EQ(destination_arg(&s).capacity, 0u);
    EXPECT_EQ(destination_arg(Word{0}).chars, nullptr);
    EXPECT_FALSE(put(destination_arg(&s), 0, "", 0));
    EXPECT_FALSE(put(Destination{}, 0, "", 0));
}

}  // namespace
}  // namespace cvx
