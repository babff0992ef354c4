// Fuzzes the script host's parser: any bytes must parse or be refused with a
// line-numbered message, never crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tools/script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view source(reinterpret_cast<const char*>(data), size);
    const cvx::script::ParseResult r = cvx::script::parse(source);
    if (!r.ok() && (r.error_line < 1 || !r.statements.empty())) __builtin_trap();
    for (const auto& st : r.statements) {
        (void)cvx::script::quote(st.text);
        (void)cvx::script::format_number(st.value);
    }
    return 0;
}
