// The cipher: its tables against the digit generator, the published test
// vector, agreement with OpenSSL's Blowfish in CBC with a zero IV, and the
// entries' refusals through the ABI.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>

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

TEST(CipherSchedule, KeyOnlyEntersThroughItsFirstFourBytes) {
    const std::uint8_t zero[4] = {};
    const cipher::BlowfishCipher a(zero, 4, {});
    const cipher::BlowfishCipher b(zero, 4, {});
    EXPECT_EQ(0, std::memcmp(a.subkeys(), b.subkeys(), 18 * 4));
    EXPECT_EQ(a.chain().left, 0u);
    cipher::Block block{0x01234567, 0x89ABCDEF};
    a.encrypt(block);
    a.decrypt(block);
    EXPECT_EQ(block.left, 0x01234567u);
    EXPECT_EQ(block.right, 0x89ABCDEFu);
}

// A data string whose text room (capacity - 1 bytes) holds `bytes`.
GuardedString data_string(const std::string& bytes) {
    GuardedString s(static_cast<std::uint32_t>(bytes.size() + 1));
    std::memcpy(s.chars(), bytes.data(), bytes.size());
    s.chars()[bytes.size()] = 0;
    return s;
}

std::string openssl_cbc(const std::string& in, const unsigned char key[4], int direction) {
    BF_KEY schedule;
    BF_set_key(&schedule, 4, key);
    unsigned char iv[8] = {};
    std::string out(in.size(), '\0');
    BF_cbc_encrypt(reinterpret_cast<const unsigned char*>(in.data()), reinterpret_cast<unsigned char*>(out.data()),
                   static_cast<long>(in.size()), &schedule, iv, direction);
    return out;
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

TEST(CipherEntries, AgreesWithOpenSslInCbcWithAZeroIv) {
    std::mt19937 random(20261206);
    for (int trial = 0; trial < 50; ++trial) {
        unsigned char key[4];
        for (unsigned char& k : key) k = static_cast<unsigned char>(1 + random() % 255);  // no terminator inside
        std::string plain(8 * (1 + random() % 64), '\0');
        for (char& c : plain) c = static_cast<char>(random());
        GuardedString key_string(9, std::string(reinterpret_cast<char*>(key), 4) + "tail");
        GuardedString data = data_string(plain);

        ASSERT_EQ(call("bf_encrypt", data, key_string), 1024);
        const std::string ours = data.bytes().substr(0, plain.size());
        ASSERT_EQ(ours, openssl_cbc(plain, key, BF_ENCRYPT)) << "trial " << trial;
        ASSERT_EQ(call("bf_decrypt", data, key_string), 1024);
        ASSERT_EQ(data.bytes().substr(0, plain.size()), plain);
        ASSERT_EQ(openssl_cbc(ours, key, BF_DECRYPT), plain);
        ASSERT_TRUE(data.intact());
    }
}

TEST(CipherEntries, ShortKeysCountAsZeroBytesAfterTheirTerminator) {
    const std::string plain = "sixteen byte msg";
    const unsigned char zero_key[4] = {0, 0, 0, 0};
    const unsigned char ab_key[4] = {'a', 'b', 0, 0};
    const unsigned char abc_key[4] = {'a', 'b', 'c', 0};
    struct Case {
        const char* key;
        const unsigned char* bytes;
    } cases[] = {{"", zero_key}, {"ab", ab_key}, {"abc", abc_key}};
    for (const Case& c : cases) {
        GuardedString key(4, c.key);
        key.chars()[3] = 'Z';  // beyond the terminator: must not be read as key
        if (std::strlen(c.key) == 3) key = GuardedString(4, c.key);
        GuardedString data = data_string(plain);
        ASSERT_EQ(call("bf_encrypt", data, key), 1024);
        EXPECT_EQ(data.bytes().substr(0, 16), openssl_cbc(plain, c.bytes, BF_ENCRYPT)) << "key " << c.key;
    }
    // Keys equal in their first four bytes give the same result.
    GuardedString k1(16, "abcdXYZ"), k2(16, "abcd0123456"), d1 = data_string(plain), d2 = data_string(plain);
    call("bf_encrypt", d1, k1);
    call("bf_encrypt", d2, k2);
    EXPECT_EQ(d1.bytes(), d2.bytes());
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
