// The cipher's entries. bf_encrypt and bf_decrypt build a cipher from the
// first four bytes of the key string (bytes past its terminator count as
// zero) and transform the data string's whole text room in place: its first
// capacity - 1 bytes, which must be whole 8-byte blocks; the terminator's
// byte is never touched. CBC with an all-zero initial chain. 1024 when done,
// 0 when refused (nothing changed).
#include "cipher/script_cipher.h"
#include "exports.h"
#include "host/export.h"

using namespace cvx;
using cvx::cipher::Direction;

namespace {

constexpr Word kRefused = kZero;
constexpr std::int32_t kNoFile = -1;

// The cipher's refusal of a buffer that is not whole blocks (CipherError)
// becomes the refusal value, like a missing data or key string.
Word transform(Word data, Word key, Direction direction) noexcept {
    return failing_as(kRefused, [&] {
        const Destination buffer = destination_arg(data);
        const auto key_text = text_arg(key);
        if (buffer.capacity == 0 || !key_text) return kRefused;
        cipher::transform_with_short_key(reinterpret_cast<std::uint8_t*>(buffer.chars), buffer.capacity - 1,
                                         *key_text, direction);
        return Word{kOne};
    });
}

}  // namespace

CVX_EXPORT Word bf_encrypt(Word data, Word key) CVX_NOEXCEPT { return transform(data, key, Direction::encrypt); }

CVX_EXPORT Word bf_decrypt(Word data, Word key) CVX_NOEXCEPT { return transform(data, key, Direction::decrypt); }

// set_file(name): reads the first 16 bytes of the file (as four 4-byte
// items) and closes it; the close result raw (0), or raw -1 when the file
// cannot be opened.
CVX_EXPORT Word set_file(Word name) CVX_NOEXCEPT {
    const char* path = terminated_text(name);
    return raw_result(path ? cipher::read_key_file(path) : kNoFile);
}
