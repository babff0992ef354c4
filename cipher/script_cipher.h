// What the cipher's entries do, in the cipher's own terms: a whole buffer
// enciphered in place with a four-byte key, and the key file block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace cvx::cipher {

inline constexpr std::size_t kShortKeyLength = 4;

enum class Direction { encrypt, decrypt };

// CBC with an all-zero initial chain over `length` bytes in place, keyed by
// the first four bytes of `key` (missing bytes count as zero). CipherError
// when `length` is not a whole number of blocks (at least one), with the data
// untouched.
void transform_with_short_key(std::uint8_t* data, std::size_t length, std::string_view key, Direction direction);

// Reads the first 16 bytes of the file (text mode, four 4-byte items) into
// the process-wide key file block, which nothing else reads, and closes it:
// fclose's result, or -1 when the file cannot be opened.
int read_key_file(const char* path);

}  // namespace cvx::cipher
