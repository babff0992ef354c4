// Shared pieces of the export fuzzers: reading choices from the fuzzer's
// bytes, building script values with guard bytes around them, and calling
// exports through the ABI of the loaded library.
#pragma once

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/export_table.h"
#include "tools/library_calls.h"

// libFuzzer's entry, defined by each fuzzer.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace cvx::fuzz {

// Reads the fuzzer's bytes as a stream of choices; zeros once exhausted.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}
    bool empty() const { return n_ == 0; }
    std::uint8_t byte() {
        if (n_ == 0) return 0;
        --n_;
        return *p_++;
    }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
        return v;
    }
    std::string_view bytes(std::size_t max) {
        const std::size_t k = max < n_ ? max : n_;
        const std::string_view out(reinterpret_cast<const char*>(p_), k);
        p_ += k;
        n_ -= k;
        return out;
    }

private:
    const std::uint8_t* p_;
    std::size_t n_;
};

// Script numbers where conversions go wrong, then anything at all.
inline std::int32_t number(Input& in) {
    static const std::int32_t edges[] = {INT32_MIN, INT32_MIN + 1, -1025, -1024, -1, 0, 1, 2, 4, 8, 16,
                                         1023, 1024, 1025, 2047, 2048, 3072, 8192, 65536, INT32_MAX};
    const std::uint8_t pick = in.byte();
    if (pick < 200) return edges[pick % (sizeof edges / sizeof edges[0])];
    if (pick < 230) return static_cast<std::int32_t>(in.byte());  // small raw counts
    return static_cast<std::int32_t>(in.u32());
}

// The script values of one call, alive until the next call is built.
using Values = GuardedValues;

// A string as the engine makes it: a buffer of up to `max_capacity` bytes
// whose text ends within it (or, rarely, a null record).
inline Word any_string(Input& in, Values& v, std::uint32_t max_capacity = 300) {
    const std::uint8_t shape = in.byte();
    if (shape == 0xFF) return 0;
    std::uint32_t capacity = 1 + (static_cast<std::uint32_t>(in.byte()) << 8 | in.byte()) % max_capacity;
    if (shape < 64) capacity = 1 + 8 * (1 + shape % 8);  // whole cipher blocks plus the terminator
    GuardedString& s = v.string(capacity);
    s.fill(static_cast<unsigned char>(in.byte() | 1));
    s.set(in.bytes(capacity - 1));
    s.chars()[in.byte() % capacity] = 0;  // the terminator, somewhere in the buffer
    s.chars()[capacity - 1] = 0;
    return s.word();
}

// The landed exports of the given families that the library really has.
struct Target {
    const ExportInfo* info;
    AnyExport fn;
};

// Stops the fuzzer when the library cannot be loaded.
inline std::vector<Target> targets(const LoadedLibrary& lib, std::initializer_list<std::string_view> families) {
    if (!lib.is_open()) std::abort();
    std::vector<Target> out;
    for (const ExportInfo* e : landed_exports(families)) {
        if (AnyExport fn = lib.symbol(e->name)) out.push_back({e, fn});
    }
    return out;
}

// Stops the fuzzer: export `name` gave `result` and did what `why` says.
[[noreturn]] inline void fail(const char* name, const char* why, std::int32_t result) {
    std::fprintf(stderr, "%s (result %d): %s\n", name, result, why);
    __builtin_trap();
}

// Up to `most` calls of exports of `all` that the input picks, each with
// values of its own: 16 bytes of storage for an address, for any other
// argument `argument(values, name, kind, index)` (kind: its letter in
// exports.txt). Stops the fuzzer when a call wrote outside its values.
template <typename Argument>
void call_sequence(Input& in, const std::vector<Target>& all, int most, Argument argument) {
    for (int call = 0; call < most && !in.empty(); ++call) {
        const Target& t = all[in.byte() % all.size()];
        Values v;
        Word args[5] = {};
        const std::string_view kinds = t.info->args, name = t.info->name;
        for (std::size_t i = 0; i < kinds.size(); ++i)
            args[i] = kinds[i] == 'a' ? v.storage(16).address() : argument(v, name, kinds[i], i);
        const auto result = static_cast<std::int32_t>(call_export(t.fn, args, static_cast<int>(kinds.size())));
        if (!v.intact()) fail(t.info->name, "wrote outside the values it was given", result);
    }
}

// Makes a scratch directory of the fuzzer's own the working directory, so
// every file an export opens stays inside it.
inline void enter_scratch_directory(const char* name) {
    const auto dir = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
}

}  // namespace cvx::fuzz
