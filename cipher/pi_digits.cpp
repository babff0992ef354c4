// Digit extraction with the series
//   pi = sum over k of 16^-k (4/(8k+1) - 2/(8k+4) - 1/(8k+5) - 1/(8k+6)).
// The fractional part of 16^d pi is 4 S1 - 2 S4 - S5 - S6 (mod 1), with
//   Sj = sum over k of 16^(d-k) / (8k+j).
// Fractions are kept as 64-bit fixed point, where wrapping around is exactly
// "mod 1"; each term is exact to one unit of 2^-64, so after d terms the top
// 32 bits are right unless 20 bits below them all carry, which the tests
// rule out by checking the whole table.
#include "cipher/pi_digits.h"

namespace cvx::cipher {
namespace {

std::uint64_t power_mod(std::uint64_t base, std::uint64_t exponent, std::uint64_t m) {
    std::uint64_t result = 1 % m;
    base %= m;
    while (exponent > 0) {
        if (exponent & 1) result = result * base % m;  // m < 2^32: products fit
        base = base * base % m;
        exponent >>= 1;
    }
    return result;
}

// floor(r * 2^64 / m) for r < m < 2^32, by long division in 16-bit steps.
std::uint64_t fraction(std::uint64_t r, std::uint64_t m) {
    std::uint64_t q = 0;
    for (int step = 0; step < 4; ++step) {
        r <<= 16;
        q = (q << 16) | (r / m);
        r %= m;
    }
    return q;
}

// Sj as a 64-bit fraction.
std::uint64_t series(std::uint64_t d, std::uint64_t j) {
    std::uint64_t sum = 0;
    for (std::uint64_t k = 0; k <= d; ++k) {
        const std::uint64_t m = 8 * k + j;
        sum += fraction(power_mod(16, d - k, m), m);
    }
    for (std::uint64_t k = d + 1; 4 * (k - d) < 64; ++k) {
        sum += (std::uint64_t{1} << (64 - 4 * (k - d))) / (8 * k + j);
    }
    return sum;
}

}  // namespace

std::uint32_t pi_word(std::uint32_t i) {
    const std::uint64_t d = 8 * std::uint64_t{i};
    const std::uint64_t x = 4 * series(d, 1) - 2 * series(d, 4) - series(d, 5) - series(d, 6);
    return static_cast<std::uint32_t>(x >> 32);
}

std::vector<std::uint32_t> pi_words(std::uint32_t count) {
    std::vector<std::uint32_t> words(count);
    for (std::uint32_t i = 0; i < count; ++i) words[i] = pi_word(i);
    return words;
}

}  // namespace cvx::cipher
