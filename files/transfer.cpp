#include "files/transfer.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

#include "files/stream_io.h"

namespace cvx::files {
namespace {

void store(void* storage, std::int32_t value) noexcept { std::memcpy(storage, &value, sizeof value); }
void store(void* storage, std::uint32_t value) noexcept { std::memcpy(storage, &value, sizeof value); }

// The widest word read_word asks for: far beyond any real buffer, and well
// inside what the runtime parses as a width.
constexpr std::uint32_t kWidestWord = 1u << 30;

}  // namespace

bool read_line(std::FILE* stream, Destination buffer, std::int32_t count) noexcept {
    const std::int64_t room = count < static_cast<std::int64_t>(buffer.capacity) ? count : buffer.capacity;
    if (room < 2) return false;
    return io::get_line(buffer.chars, static_cast<int>(room), stream) != nullptr;
}

int read_word(std::FILE* stream, Destination buffer) noexcept {
    if (buffer.capacity < 2) return 0;
    const std::uint32_t width = buffer.capacity - 1 < kWidestWord ? buffer.capacity - 1 : kWidestWord;
    // "%<width>s"
    char format[16] = "%";
    char* end = std::to_chars(format + 1, format + sizeof format - 2, width).ptr;
    end[0] = 's';
    end[1] = '\0';
    return std::fscanf(stream, format, buffer.chars);
}

int read_char(std::FILE* stream, Destination buffer) noexcept {
    if (buffer.capacity < 1) return 0;
    return std::fscanf(stream, "%c", buffer.chars);
}

int read_int_into_text(std::FILE* stream, Destination buffer) noexcept {
    if (buffer.capacity < 4) return 0;
    int value = 0;
    const int fields = std::fscanf(stream, "%i", &value);
    if (fields == 1) {
        const auto bits = static_cast<std::uint32_t>(value);
        for (int i = 0; i < 4; ++i) buffer.chars[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    }
    return fields;
}

int read_int_as_number(std::FILE* stream, void* storage) noexcept {
    if (!storage) return 0;
    int value = 0;
    const int fields = std::fscanf(stream, "%i", &value);
    if (fields == 1) store(storage, script_number_of(value));
    return fields;
}

int read_uint(std::FILE* stream, void* storage) noexcept {
    if (!storage) return 0;
    unsigned value = 0;
    const int fields = std::fscanf(stream, "%u", &value);
    if (fields == 1) store(storage, static_cast<std::uint32_t>(value));
    return fields;
}

int read_float_as_number(std::FILE* stream, void* storage) noexcept {
    if (!storage) return 0;
    float value = 0;
    const int fields = std::fscanf(stream, "%f", &value);
    if (fields == 1) store(storage, script_number_of(value));
    return fields;
}

std::int32_t script_number_of(float value) noexcept {
    if (std::isnan(value)) return 0;
    const double number = std::round(static_cast<double>(value) * 1024.0);
    if (number <= static_cast<double>(INT32_MIN)) return INT32_MIN;
    if (number >= static_cast<double>(INT32_MAX)) return INT32_MAX;
    return static_cast<std::int32_t>(number);
}

std::int32_t script_number_of(int value) noexcept {
    const std::int64_t number = static_cast<std::int64_t>(value) * 1024;
    if (number <= INT32_MIN) return INT32_MIN;
    if (number >= INT32_MAX) return INT32_MAX;
    return static_cast<std::int32_t>(number);
}

}  // namespace cvx::files
