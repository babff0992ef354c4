// File cases: each export in a loop on the current file against the same
// stdio call made directly on a stream of its own, same data, same file
// sizes. Writers rewind every 4096 calls so the files stay small; readers
// rewind at the end of the file.
#include <cstdio>
#include <string>

#include "bench/bench_support.h"

namespace cvx::bench {
namespace {


const Export fputsc("fputsc"), fprintf_float("fprintf_float"), fprintf_sint("fprintf_sint"), fgetcc("fgetcc"),
    fgetsc("fgetsc"), freadc("freadc");

constexpr int kRewindEvery = 4096;

// A 1 MiB file of 40-character lines, read by every reading case.
const char* input_file() {
    static const char* name = [] {
        std::FILE* f = std::fopen("bench-input.txt", "wb");
        for (int i = 0; i < 1 << 20; i += 40) std::fprintf(f, "%-38d|\n", i);
        std::fclose(f);
        return "bench-input.txt";
    }();
    return name;
}

void open_ours(const char* export_name, const char* path) {
    GuardedValues keep;
    call("fcloseallc");
    call(export_name, keep.text(path));
}

// Writers: `ours` calls the export, `base` the stdio function.
template <typename Ours>
void write_ours(benchmark::State& state, Ours body) {
    open_ours("fopen_write", "bench-ours.out");
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(body());
        if (++n == kRewindEvery) n = 0, call("fseek_start");
    }
    call("fcloseallc");
}

template <typename Base>
void write_base(benchmark::State& state, Base body) {
    std::FILE* f = std::fopen("bench-base.out", "w");
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(body(f));
        if (++n == kRewindEvery) n = 0, std::fseek(f, 0, SEEK_SET);
    }
    std::fclose(f);
}

// Readers: the body returns false at the end of the file.
template <typename Ours>
void read_ours(benchmark::State& state, Ours body) {
    open_ours("fopen_read", input_file());
    for (auto _ : state) {
        if (!body()) call("fseek_start");
    }
    call("fcloseallc");
}

template <typename Base>
void read_base(benchmark::State& state, Base body) {
    std::FILE* f = std::fopen(input_file(), "r");
    for (auto _ : state) {
        if (!body(f)) std::fseek(f, 0, SEEK_SET);
    }
    std::fclose(f);
}

GuardedValues values;
const Word line = values.text("a line of text written by a script\n");
GuardedString line_buffer(128);
GuardedString block_buffer(256);
char base_buffer[256];

const Pair fputs_case(
    "files/fputsc", 1.05, [](benchmark::State& s) { write_ours(s, [] { return fputsc(line); }); },
    [](benchmark::State& s) {
        write_base(s, [](std::FILE* f) { return std::fputs("a line of text written by a script\n", f); });
    });

const Pair fprintf_float_case(
    "files/fprintf_float", 1.05,
    [](benchmark::State& s) { write_ours(s, [] { return fprintf_float(raw_result(1536)); }); },
    [](benchmark::State& s) {
        write_base(s, [](std::FILE* f) { return std::fprintf(f, "%f", static_cast<double>(1.5f)); });
    });

const Pair fprintf_sint_case(
    "files/fprintf_sint", 1.05,
    [](benchmark::State& s) { write_ours(s, [] { return fprintf_sint(scaled(-12345)); }); },
    [](benchmark::State& s) { write_base(s, [](std::FILE* f) { return std::fprintf(f, "%i", -12345); }); });

const Pair fgetc_case(
    "files/fgetcc", 1.05, [](benchmark::State& s) { read_ours(s, [] { return fgetcc() != kMinusOne; }); },
    [](benchmark::State& s) { read_base(s, [](std::FILE* f) { return std::fgetc(f) != EOF; }); });

const Pair fgets_case(
    "files/fgetsc", 1.05,
    [](benchmark::State& s) { read_ours(s, [] { return fgetsc(line_buffer, scaled(128)) != 0; }); },
    [](benchmark::State& s) {
        read_base(s, [](std::FILE* f) { return std::fgets(base_buffer, 128, f) != nullptr; });
    });

const Pair fread_case(
    "files/freadc_256", 1.05,
    [](benchmark::State& s) {
        read_ours(s, [] { return freadc(block_buffer, raw_result(1), raw_result(255)) == scaled(255); });
    },
    [](benchmark::State& s) { read_base(s, [](std::FILE* f) { return std::fread(base_buffer, 1, 255, f) == 255; }); });

}  // namespace
}  // namespace cvx::bench
