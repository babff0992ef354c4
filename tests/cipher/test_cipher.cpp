// The cipher: its tables against the digit generator, the published test
// vector, the entries' refusals through the ABI, and (where OpenSSL exists:
// not in the Windows build) agreement with OpenSSL's Blowfish in CBC with a
// zero IV.
#if !defined(_WIN32)
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>

#include <random>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cipher/blowfish.h"
#include "cipher/pi_digits.h"
#include "tests/library.h"

namespace cvx {
namespace {

using test::call;

// A table that is not the digits also fails the published vector below.
TEST(CipherTables, CommittedTableMatchesTheDigitGenerator) {
    const auto words = cipher::pi_words(18 + 4 * 256);
    for (std::size_t i = 0; i < words.size(); ++i) ASSERT_EQ(cipher::kPiTables[i], words[i]) << "word " << i;
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

#if !defined(_WIN32)
std::string openssl_cbc(const std::string& in, const unsigned char key[4], int direction) {
    BF_KEY schedule;
    BF_set_key(&schedule, 4, key);
    unsigned char iv[8] = {};
    std::string out(in.size(), '\0');
    BF_cbc_encrypt(reinterpret_cast<const unsigned char*>(in.data()), reinterpret_cast<unsigned char*>(out.data()),
                   static_cast<long>(in.size()), &schedule, iv, direction);
    return out;
}

// Keys of 0 to 8 characters with other bytes after their terminator: only
// the first four characters count, a shorter key as if zeros followed it.
TEST(CipherEntries, AgreesWithOpenSslInCbcWithAZeroIv) {
    std::mt19937 random(20261206);
    for (int trial = 0; trial < 60; ++trial) {
        std::string key_text(random() % 9, '\0'), plain(8 * (1 + random() % 64), '\0');
        for (char& k : key_text) k = static_cast<char>(1 + random() % 255);
        for (char& c : plain) c = static_cast<char>(random());
        unsigned char key[4] = {};
        std::copy_n(key_text.begin(), std::min<std::size_t>(4, key_text.size()), key);
        GuardedString key_string(10), data(static_cast<std::uint32_t>(plain.size() + 1), plain);
        key_string.fill('Z');
        key_string.set(key_text);

        ASSERT_EQ(call("bf_encrypt", data, key_string), 1024);
        const std::string ours = data.bytes().substr(0, plain.size());
        ASSERT_EQ(ours, openssl_cbc(plain, key, BF_ENCRYPT)) << "trial " << trial;
        ASSERT_EQ(call("bf_decrypt", data, key_string), 1024);
        ASSERT_EQ(data.bytes(), plain + '\0');
        ASSERT_EQ(openssl_cbc(ours, key, BF_DECRYPT), plain);
        ASSERT_TRUE(data.intact() && key_string.intact());
    }
}
#endif

}  // namespace
}  // namespace cvx
