// The Blowfish block cipher: 64-bit blocks, 16 rounds, subkeys and S-boxes
// built from the key over the hexadecimal digits of pi.
//
// A cipher object holds one key schedule. Buffers are enciphered in CBC
// mode over whole 8-byte blocks whose two words are read and written
// big-endian, which is how other tools lay Blowfish blocks out, so data can
// be exchanged with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace cvx::cipher {

struct Block {
    std::uint32_t left = 0;
    std::uint32_t right = 0;
};

// A buffer that is not a whole number of blocks (or no block at all).
class CipherError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

inline constexpr const char* kIncorrectLength = "Incorrect buffer length";
inline constexpr std::size_t kBlockSize = 8;
inline constexpr std::size_t kMaxKeyLength = 56;

class BlowfishCipher {
public:
    // The key schedule: the tables from pi, the key's bytes (at most 56,
    // repeated, most significant first) XORed into the subkeys, then 521
    // encryptions replacing the subkeys and S-boxes in turn.
    BlowfishCipher(const std::uint8_t* key, std::size_t length, Block initial_chain);

    void encrypt(Block& b) const;
    void decrypt(Block& b) const;  // the subkeys from P[17] down to P[0]

    // CBC in place over `length` bytes, which must be whole blocks (at
    // least one), chaining on from `chain`; CipherError otherwise, with the
    // data untouched.
    void encrypt_buffer(std::uint8_t* data, std::size_t length);
    void decrypt_buffer(std::uint8_t* data, std::size_t length);

private:
    std::uint32_t f(std::uint32_t x) const;

    Block chain_;
    std::uint32_t p_[18];
    std::uint32_t s_[4][256];
};

// The initial tables: P[0..17] then S1..S4, the first 1042 words of pi's
// hexadecimal fraction.
extern const std::uint32_t kPiTables[18 + 4 * 256];

}  // namespace cvx::cipher
