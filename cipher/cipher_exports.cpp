// The cipher's entries. bf_encrypt and bf_decrypt build a cipher from the
// first four bytes of the key string (bytes past its terminator count as
// zero) and transform the data string's whole text room in place: its first
// capacity - 1 bytes, which must be whole 8-byte blocks; the terminator's
// byte is never touched. CBC with an all-zero initial chain. 1024 when done,
// 0 when refused (nothing changed).
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cipher/blowfish.h"
#include "exports.h"
#include "host/export.h"

using namespace cvx;
using cvx::cipher::BlowfishCipher;

namespace {

constexpr Word kRefused = kZero;
constexpr std::int32_t kNoFile = -1;
constexpr std::size_t kKeyLength = 4;

// The block that set_file reads; nothing else reads it.
std::uint8_t key_file_block[16];

enum class Direction { Encrypt, Decrypt };

// The cipher's refusal of a buffer that is not whole blocks (CipherError)
// becomes the refusal value, like a missing data or key string.
Word transform(Word data, Word key, Direction direction) noexcept {
    return failing_as(kRefused, [&] {
        const Destination buffer = destination_arg(data);
        const auto key_text = text_arg(key);
        if (buffer.capacity == 0 || !key_text) return kRefused;
        std::uint8_t key_bytes[kKeyLength] = {};
        std::memcpy(key_bytes, key_text->data(), std::min(key_text->size(), kKeyLength));

        BlowfishCipher cipher(key_bytes, kKeyLength, cipher::Block{});
        auto* bytes = reinterpret_cast<std::uint8_t*>(buffer.chars);
        const std::size_t length = buffer.capacity - 1;
        if (direction == Direction::Encrypt) {
            cipher.encrypt_buffer(bytes, length);
        } else {
            cipher.decrypt_buffer(bytes, length);
        }
        return Word{kOne};
    });
}

}  // namespace

CVX_EXPORT Word bf_encrypt(Word data, Word key) CVX_NOEXCEPT { return transform(data, key, Direction::Encrypt); }

CVX_EXPORT Word bf_decrypt(Word data, Word key) CVX_NOEXCEPT { return transform(data, key, Direction::Decrypt); }

// set_file(name): reads the first 16 bytes of the file (as four 4-byte
// items) and closes it; the close result raw (0), or raw -1 when the file
// cannot be opened.
CVX_EXPORT Word set_file(Word name) CVX_NOEXCEPT {
    const char* path = terminated_text(name);
    std::FILE* f = path ? std::fopen(path, "r") : nullptr;
    if (!f) return raw_result(kNoFile);
    (void)std::fread(key_file_block, 4, 4, f);
    return raw_result(std::fclose(f));
}
