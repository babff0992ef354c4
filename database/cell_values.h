// A cell's text read as a number, exactly: the decimal forms the server
// writes for integers, decimals and floats ("12", "-3.75", "1e3", "0.1"),
// without a detour through binary floating point, which would round twice.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace cvx::database {

// The value as a script number (22.10 fixed point: the raw value is the
// value times 1024), rounded to the nearest 1/1024 with halves away from
// zero; nothing when the text is no decimal number or the rounded value
// lies outside -2097152 .. 2097151.9990234375.
std::optional<std::int32_t> script_number_of(std::string_view text);

// The value as a signed 32-bit integer, whatever its form ("5.00" and
// "1e3" are whole); nothing when the text is no decimal number, has a
// fraction other than zero or lies outside the range.
std::optional<std::int32_t> integer_of(std::string_view text);

}  // namespace cvx::database
