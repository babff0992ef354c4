// Fuzzes sequences of file exports (opens in every mode, reads, writes,
// seeks, closes, reopens, close-all) on a few files in a scratch directory.
// After every call every guard byte around the given values must be intact;
// each input ends by closing every stream the library opened.
#include <fstream>

#include "fuzz/fuzz_support.h"

namespace {

using namespace cvx;
using namespace cvx::fuzz;

// Paths stay inside the scratch directory.
Word path(Input& in, Values& v) {
    static const char* names[] = {"a.txt", "b.bin", "empty", "missing/x", ""};
    return v.text(names[in.byte() % 5]);
}

// Counts and sizes: mostly small, sometimes the edges.
std::int32_t count(Input& in) {
    const std::uint8_t pick = in.byte();
    return pick < 192 ? static_cast<std::int32_t>(pick % 64) : number(in);
}

void reset_files() {
    std::ofstream("a.txt", std::ios::binary) << "hello world\n12 -7 0x1F 3.25 word\nlast line without newline";
    std::string bytes(300, '\0');
    for (int i = 0; i < 300; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>(i);
    std::ofstream("b.bin", std::ios::binary) << bytes;
    std::ofstream("empty", std::ios::binary);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<Target> all = [] {
        enter_scratch_directory("cvx-fuzz-files");
        return targets(library(), {"files"});
    }();
    static const AnyExport close_all = library().symbol("fcloseallc");
    if (all.empty()) return 0;
    reset_files();
    Input in(data, size);
    call_sequence(in, all, 24, [&](Values& v, std::string_view name, char kind, std::size_t i) {
        const bool opens = name.rfind("fopen_", 0) == 0 || name.rfind("freopen_", 0) == 0;
        if (kind == 's') return opens ? path(in, v) : any_string(in, v, 64);
        return raw_result(name == "fseekc" && i == 1 ? number(in) : count(in));
    });
    if (close_all) (void)call_export(close_all, nullptr, 0);
    return 0;
}
