#include "cipher/script_cipher.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cipher/blowfish.h"

namespace cvx::cipher {
namespace {

std::uint8_t key_file_block[16];

}  // namespace

void transform_with_short_key(std::uint8_t* data, std::size_t length, std::string_view key, Direction direction) {
    std::uint8_t key_bytes[kShortKeyLength] = {};
    std::memcpy(key_bytes, key.data(), std::min(key.size(), kShortKeyLength));
    BlowfishCipher cipher(key_bytes, kShortKeyLength, Block{});
    if (direction == Direction::encrypt) {
        cipher.encrypt_buffer(data, length);
    } else {
        cipher.decrypt_buffer(data, length);
    }
}

int read_key_file(const char* path) {
    std::FILE* f = std::fopen(path, "r");
    if (!f) return -1;
    (void)std::fread(key_file_block, 4, 4, f);
    return std::fclose(f);
}

}  // namespace cvx::cipher
