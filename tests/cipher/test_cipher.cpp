// The cipher: its tables against the digit generator, the published test
// vector, and the entries' refusals through the ABI. The agreement with
// OpenSSL is in test_cipher_openssl.cpp.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cipher/blowfish.h"
#include "cipher/pi_digits.h"
#include "tests/library.h"

namespace cvx {
namespace {

using test::call;

TEST(CipherTables, CommittedTableMatchesTheDigitGenerator) {
    const auto words = cipher::pi_words(18 + 4 * 256);
    for (std::size_t i = 0; i < words.size(); ++i) ASSERT_EQ(cipher::kPiTables[i], words[i]) << "word " << i;
    EXPECT_EQ(cipher::kPiTables[0], 0x243F6A88u);
    EXPECT_EQ(cipher::kPiTables[1], 0x85A308D3u);
    EXPECT_EQ(cipher::kPiTables[17], 0x8979FB1Bu);
    EXPECT_EQ(cipher::kPiTables[18], 0xD1310BA6u);             // S1[0]
    EXPECT_EQ(cipher::kPiTables[18 + 4 * 256 - 1], 0x3AC372E6u);  // S4[255]
}

TEST(CipherEntries, PublishedVectorForAFourByteKey) {
    GuardedString key(5, "\xF0\xE1\xD2\xC3"), data(9, "\xFE\xDC\xBA\x98\x76\x54\x32\x10");
    EXPECT_EQ(call("bf_encrypt", data, key), 1024);
    EXPECT_EQ(data.bytes(), std::string("\xBE\x1E\x63\x94\x08\x64\x0F\x05", 9));  // the terminator stays
    EXPECT_EQ(call("bf_decrypt", data, key), 1024);
    EXPECT_EQ(data.bytes(), std::string("\xFE\xDC\xBA\x98\x76\x54\x32\x10", 9));
    EXPECT_TRUE(data.intact());
}

TEST(CipherEntries, RefusesBuffersThatAreNotWholeBlocksAndMissingStrings) {
    GuardedString key(8, "key!"), ok(9, "12345678");
    for (std::uint32_t capacity : {0u, 1u, 8u, 10u, 16u, 18u}) {
        GuardedString data(capacity);
        data.fill('q');
        EXPECT_EQ(call("bf_encrypt", data, key), 0) << "capacity " << capacity;
        EXPECT_EQ(call("bf_decrypt", data, key), 0) << "capacity " << capacity;
        EXPECT_EQ(data.bytes(), std::string(capacity, 'q'));
        EXPECT_TRUE(data.intact());
    }
    EXPECT_EQ(call("bf_encrypt", Word{0}, key), 0);
    EXPECT_EQ(call("bf_encrypt", ok, Word{0}), 0);
    EXPECT_EQ(ok.text(), "12345678");
}

// set_file answers the close (0) for a file of any length, -1 without one.
TEST(CipherSetFile, ReadsSixteenBytesAndReportsTheClose) {
    const auto dir = std::filesystem::path(::testing::TempDir()) / "cvx_set_file";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "full.key") << "0123456789abcdefXYZ";
    std::ofstream(dir / "short.key") << "abc";
    for (const auto& [name, result] : {std::pair{"full.key", 0}, {"short.key", 0}, {"missing", -1}}) {
        EXPECT_EQ(call("set_file", GuardedString(256, (dir / name).string())), result) << name;
    }
    EXPECT_EQ(call("set_file", Word{0}), -1);
}

}  // namespace
}  // namespace cvx
