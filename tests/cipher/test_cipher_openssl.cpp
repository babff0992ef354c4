// The cipher entries against an independent implementation: OpenSSL's
// Blowfish in CBC with a zero IV. (Not in the Windows build, which has no
// OpenSSL.)
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/library.h"

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

}  // namespace
}  // namespace cvx
