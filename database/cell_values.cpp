#include "database/cell_values.h"

#include <algorithm>
#include <cstddef>

namespace cvx::database {
namespace {

// Exponents beyond this are held there: the value is then far out of range,
// or zero.
constexpr long long kFarExponent = 1'000'000'000;

// A decimal text, [+-] digits [. digits] [(e|E) [+-] digits] with a digit
// before the exponent, as 0.d1 d2 d3 ... times 10^point: d its significant
// digits (no leading or trailing zeros; none for zero).
class Decimal {
public:
    static std::optional<Decimal> parse(std::string_view t) {
        Decimal d;
        std::size_t i = 0;
        const auto digits = [&] {
            const std::size_t from = i;
            while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
            return t.substr(from, i - from);
        };
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) d.negative = t[i++] == '-';
        d.whole_ = digits();
        if (i < t.size() && t[i] == '.') {
            ++i;
            d.fraction_ = digits();
        }
        if (d.whole_.empty() && d.fraction_.empty()) return std::nullopt;
        long long exponent = 0;
        if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
            ++i;
            const bool minus = i < t.size() && t[i] == '-';
            if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
            const std::string_view e = digits();
            if (e.empty()) return std::nullopt;
            for (char c : e) exponent = std::min(exponent * 10 + (c - '0'), kFarExponent);
            if (minus) exponent = -exponent;
        }
        if (i != t.size()) return std::nullopt;
        const std::size_t n = d.whole_.size() + d.fraction_.size();
        while (d.first_ < n && d.at(d.first_) == '0') ++d.first_;
        std::size_t end = n;
        while (end > d.first_ && d.at(end - 1) == '0') --end;
        d.count = static_cast<long long>(end - d.first_);
        d.point = static_cast<long long>(d.whole_.size()) - static_cast<long long>(d.first_) + exponent;
        return d;
    }

    // Significant digit k (from 0) as a number; 0 outside them.
    unsigned digit(long long k) const {
        return k < 0 || k >= count ? 0u : static_cast<unsigned>(at(first_ + static_cast<std::size_t>(k)) - '0');
    }

    bool negative = false;
    long long count = 0;  // significant digits
    long long point = 0;

private:
    char at(std::size_t i) const { return i < whole_.size() ? whole_[i] : fraction_[i - whole_.size()]; }

    std::string_view whole_, fraction_;  // the digits before and after the point
    std::size_t first_ = 0;              // the first significant one
};

// The form the server writes integers and decimals in, [+-]digits[.digits]
// with at most 18 digits of which at most 15 follow the point, taken at
// once: its value is whole + part / scale, exactly, in 64 bits.
struct PlainDecimal {
    bool negative = false;
    std::uint64_t whole = 0, part = 0, scale = 1;
};

std::optional<PlainDecimal> plain_decimal(std::string_view t) {
    static constexpr std::uint64_t kScales[16] = {1, 10, 100, 1'000, 10'000, 100'000, 1'000'000, 10'000'000,
                                                  100'000'000, 1'000'000'000, 10'000'000'000, 100'000'000'000,
                                                  1'000'000'000'000, 10'000'000'000'000, 100'000'000'000'000,
                                                  1'000'000'000'000'000};
    PlainDecimal d;
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) d.negative = t[i++] == '-';
    const std::size_t first = i;
    std::size_t point = t.size();  // where the point is, if there is one
    std::uint64_t digits = 0;      // (wraps beyond 19 digits: refused below)
    for (; i < t.size(); ++i) {
        const unsigned digit = static_cast<unsigned char>(t[i]) - unsigned{'0'};
        if (digit < 10) {
            digits = digits * 10 + digit;
        } else if (t[i] != '.' || point != t.size()) {
            return std::nullopt;
        } else {
            point = i;
        }
    }
    const std::size_t count = t.size() - first - (point != t.size());
    const std::size_t places = point == t.size() ? 0 : t.size() - point - 1;
    if (count == 0 || count > 18 || places > 15) return std::nullopt;
    d.scale = kScales[places];
    d.whole = digits / d.scale;
    d.part = digits % d.scale;
    return d;
}

// A magnitude with its sign as a 32-bit value, when it fits.
std::optional<std::int32_t> signed_value(bool negative, std::uint64_t magnitude) {
    if (magnitude > (negative ? 0x80000000u : 0x7FFFFFFFu)) return std::nullopt;
    return static_cast<std::int32_t>(negative ? 0u - static_cast<std::uint32_t>(magnitude)
                                              : static_cast<std::uint32_t>(magnitude));
}

}  // namespace

// The whole part times 1024, plus the fraction times 1024 worked out digit
// by digit from its last digit on: the carry out of its first digit is the
// product's whole part, the digit left there its first decimal, which says
// whether what remains is at least a half.
std::optional<std::int32_t> script_number_of(std::string_view text) {
    if (const std::optional<PlainDecimal> p = plain_decimal(text)) {
        if (p->whole > 0x200000) return std::nullopt;
        // part / scale * 1024, rounded: half a unit is scale / 2 (scale is 1 or even).
        return signed_value(p->negative, p->whole * 1024 + (p->part * 1024 + p->scale / 2) / p->scale);
    }
    const std::optional<Decimal> d = Decimal::parse(text);
    if (!d) return std::nullopt;
    if (d->count == 0 || d->point < -3) return 0;  // below 1/10000: under half of 1/1024
    if (d->point > 7) return std::nullopt;          // 10^7 and more
    std::uint64_t whole = 0;
    for (long long k = 0; k < d->point; ++k) whole = whole * 10 + d->digit(k);
    std::uint64_t carry = 0;
    unsigned first_decimal = 0;
    for (long long k = d->count - 1; k >= d->point; --k) {
        const std::uint64_t v = d->digit(k) * std::uint64_t{1024} + carry;
        first_decimal = static_cast<unsigned>(v % 10);
        carry = v / 10;
    }
    return signed_value(d->negative, whole * 1024 + carry + (first_decimal >= 5 ? 1 : 0));
}

std::optional<std::int32_t> integer_of(std::string_view text) {
    if (const std::optional<PlainDecimal> p = plain_decimal(text)) {
        return p->part ? std::nullopt : signed_value(p->negative, p->whole);
    }
    const std::optional<Decimal> d = Decimal::parse(text);
    if (!d) return std::nullopt;
    if (d->count == 0) return 0;
    if (d->point > 10 || d->count > d->point) return std::nullopt;  // too large, or a fraction
    std::uint64_t magnitude = 0;
    for (long long k = 0; k < d->point; ++k) magnitude = magnitude * 10 + d->digit(k);
    return signed_value(d->negative, magnitude);
}

}  // namespace cvx::database
