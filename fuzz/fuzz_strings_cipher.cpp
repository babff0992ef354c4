// Fuzzes the string and cipher exports with arbitrary script values: each
// input is a short sequence of calls; after every call every guard byte,
// record header and buffer bound must be as it was built.
#include <fstream>

#include "fuzz/fuzz_support.h"

namespace {

using namespace cvx;
using namespace cvx::fuzz;

// set_file reads from the working directory only: a few prepared files.
Word file_name(Input& in, Values& v) {
    static const char* names[] = {"key16.bin", "short.bin", "missing.bin", ""};
    return v.text(names[in.byte() % 4]);
}

void prepare_directory() {
    enter_scratch_directory("cvx-fuzz-strings");
    std::ofstream("key16.bin", std::ios::binary) << "0123456789abcdefXYZ";
    std::ofstream("short.bin", std::ios::binary) << "abc";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<Target> all = [] {
        prepare_directory();
        return targets(library(), {"strings", "cipher"});
    }();
    if (all.empty()) return 0;
    Input in(data, size);
    call_sequence(in, all, 8, [&](Values& v, std::string_view name, char kind, std::size_t) {
        if (kind == 's') return name == "set_file" ? file_name(in, v) : any_string(in, v);
        return raw_result(number(in));
    });
    return 0;
}
