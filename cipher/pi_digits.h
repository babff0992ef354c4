// Hexadecimal digits of pi by digit extraction, for the cipher's initial
// tables: each 32-bit word is found on its own, without the digits before it.
#pragma once

#include <cstdint>
#include <vector>

namespace cvx::cipher {

// The 32-bit word made of the hexadecimal digits 8i+1 .. 8i+8 of pi's
// fractional part (word 0 is 0x243F6A88).
std::uint32_t pi_word(std::uint32_t i);

// Words 0 .. count-1.
std::vector<std::uint32_t> pi_words(std::uint32_t count);

}  // namespace cvx::cipher
