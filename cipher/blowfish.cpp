#include "cipher/blowfish.h"

#include <cstring>

namespace cvx::cipher {

const std::uint32_t kPiTables[18 + 4 * 256] = {
#include "cipher/pi_tables.inc"
};

namespace {

std::uint32_t load_big_endian(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

void store_big_endian(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

void check_length(std::size_t length) {
    if (length == 0 || length % kBlockSize != 0) throw CipherError(kIncorrectLength);
}

}  // namespace

BlowfishCipher::BlowfishCipher(const std::uint8_t* key, std::size_t length, Block initial_chain)
    : chain_(initial_chain) {
    std::uint8_t working[kMaxKeyLength] = {};
    if (length > kMaxKeyLength) length = kMaxKeyLength;
    if (length > 0) std::memcpy(working, key, length);

    std::memcpy(p_, kPiTables, sizeof p_);
    std::memcpy(s_, kPiTables + 18, sizeof s_);

    if (length > 0) {
        std::size_t j = 0;
        for (std::uint32_t& subkey : p_) {
            std::uint32_t x = 0;
            for (int byte = 0; byte < 4; ++byte) {
                x = (x << 8) | working[j];
                j = j + 1 == length ? 0 : j + 1;
            }
            subkey ^= x;
        }
    }

    Block b;
    for (int i = 0; i < 18; i += 2) {
        encrypt(b);
        p_[i] = b.left;
        p_[i + 1] = b.right;
    }
    for (auto& box : s_) {
        for (int i = 0; i < 256; i += 2) {
            encrypt(b);
            box[i] = b.left;
            box[i + 1] = b.right;
        }
    }
}

inline std::uint32_t BlowfishCipher::f(std::uint32_t x) const {
    return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) + s_[3][x & 0xFF];
}

// Sixteen rounds with the halves exchanged by naming instead of moving.
void BlowfishCipher::encrypt(Block& b) const {
    std::uint32_t l = b.left ^ p_[0];
    std::uint32_t r = b.right;
#pragma GCC unroll 8
    for (int i = 1; i < 17; i += 2) {
        r ^= f(l) ^ p_[i];
        l ^= f(r) ^ p_[i + 1];
    }
    b.left = r ^ p_[17];
    b.right = l;
}

void BlowfishCipher::decrypt(Block& b) const {
    std::uint32_t l = b.left ^ p_[17];
    std::uint32_t r = b.right;
#pragma GCC unroll 8
    for (int i = 16; i > 0; i -= 2) {
        r ^= f(l) ^ p_[i];
        l ^= f(r) ^ p_[i - 1];
    }
    b.left = r ^ p_[0];
    b.right = l;
}

void BlowfishCipher::encrypt_buffer(std::uint8_t* data, std::size_t length) {
    check_length(length);
    Block b = chain_;
    for (std::uint8_t* p = data; p != data + length; p += kBlockSize) {
        b.left ^= load_big_endian(p);
        b.right ^= load_big_endian(p + 4);
        encrypt(b);
        store_big_endian(p, b.left);
        store_big_endian(p + 4, b.right);
    }
    chain_ = b;
}

void BlowfishCipher::decrypt_buffer(std::uint8_t* data, std::size_t length) {
    check_length(length);
    Block previous = chain_;
    for (std::uint8_t* p = data; p != data + length; p += kBlockSize) {
        const Block cipher_text{load_big_endian(p), load_big_endian(p + 4)};
        Block b = cipher_text;
        decrypt(b);
        store_big_endian(p, b.left ^ previous.left);
        store_big_endian(p + 4, b.right ^ previous.right);
        previous = cipher_text;
    }
    chain_ = previous;
}

}  // namespace cvx::cipher
