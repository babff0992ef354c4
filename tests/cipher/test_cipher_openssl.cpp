// The cipher entries against an independent implementation: OpenSSL's
// Blowfish in CBC with a zero IV. (Not in the Windows build, which has no
// OpenSSL.)
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>

#include <gtest/gtest.h>

#include <random>

#include "tests/cipher/cipher_test.h"

namespace cvx {
namespace {

using test::call;

std::string openssl_cbc(const std::string& in, const unsigned char key[4], int direction) {
    BF_KEY schedule;
    BF_set_key(&schedule, 4, key);
    unsigned char iv[8] = {};
    std::string out(in.size(), '\0');
    BF_cbc_encrypt(reinterpret_cast<const unsigned char*>(in.data()), reinterpret_cast<unsigned char*>(out.data()),
                   static_cast<long>(in.size()), &schedule, iv, direction);
    return out;
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

}  // namespace
}  // namespace cvx
