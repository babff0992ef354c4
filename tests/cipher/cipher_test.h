// Helpers of the cipher tests.
#pragma once

#include <cstring>
#include <string>

#include "tests/library.h"

namespace cvx {

// A data string whose text room (capacity - 1 bytes) holds `bytes`.
inline GuardedString data_string(const std::string& bytes) {
    GuardedString s(static_cast<std::uint32_t>(bytes.size() + 1));
    std::memcpy(s.chars(), bytes.data(), bytes.size());
    s.chars()[bytes.size()] = 0;
    return s;
}

}  // namespace cvx
