// The cipher: its tables against the digit generator, the published test
// vector, and the entries' refusals through the ABI. The agreement with
// OpenSSL is in test_cipher_openssl.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "cipher/blowfish.h"
#include "cipher/pi_digits.h"
#include "tests/cipher/cipher_test.h"

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
    GuardedString key(5, "\xF0\xE1\xD2\xC3");
    GuardedString data = data_string("\xFE\xDC\xBA\x98\x76\x54\x32\x10");
    EXPECT_EQ(call("bf_encrypt", data, key), 1024);
    EXPECT_EQ(data.bytes().substr(0, 8), "\xBE\x1E\x63\x94\x08\x64\x0F\x05");
    EXPECT_EQ(data.bytes()[8], '\0');  // the terminator's byte is never touched
    EXPECT_EQ(call("bf_decrypt", data, key), 1024);
    EXPECT_EQ(data.bytes().substr(0, 8), "\xFE\xDC\xBA\x98\x76\x54\x32\x10");
    EXPECT_TRUE(data.intact());
}

TEST(CipherEntries, RefusesBuffersThatAreNotWholeBlocks) {
    GuardedString key(8, "key!");
    for (std::uint32_t capacity : {0u, 1u, 8u, 10u, 16u, 18u}) {
        GuardedString data(capacity);
        data.fill('q');
        const std::string before = data.bytes();
        EXPECT_EQ(call("bf_encrypt", data, key), 0) << "capacity " << capacity;
        EXPECT_EQ(call("bf_decrypt", data, key), 0) << "capacity " << capacity;
        EXPECT_EQ(data.bytes(), before);
        EXPECT_TRUE(data.intact());
    }
    GuardedString ok = data_string("12345678");
    EXPECT_EQ(call("bf_encrypt", Word{0}, key), 0);
    EXPECT_EQ(call("bf_encrypt", ok, Word{0}), 0);
    EXPECT_EQ(ok.text(), "12345678");
}

TEST(CipherSetFile, ReadsSixteenBytesAndReportsTheClose) {
    const auto dir = std::filesystem::path(::testing::TempDir()) / "cvx_set_file";
    std::filesystem::create_directories(dir);
    const std::string full = (dir / "full.key").string(), part = (dir / "short.key").string();
    std::FILE* f = std::fopen(full.c_str(), "wb");
    std::fputs("0123456789abcdefXYZ", f);
    std::fclose(f);
    f = std::fopen(part.c_str(), "wb");
    std::fputs("abc", f);
    std::fclose(f);
    GuardedString full_name(256, full), short_name(256, part), missing(256, (dir / "missing").string());
    EXPECT_EQ(call("set_file", full_name), 0);
    EXPECT_EQ(call("set_file", short_name), 0);
    EXPECT_EQ(call("set_file", missing), -1);
    EXPECT_EQ(call("set_file", Word{0}), -1);
}

}  // namespace
}  // namespace cvx
