// Runs every registered pair and prints the table: case, our time, the
// baseline's time, the ratio and its target.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "bench/bench_support.h"

namespace cvx::bench {
namespace {

struct Case {
    std::string name;
    double target;
    bool wall;
};

std::vector<Case>& cases() {
    static std::vector<Case> all;
    return all;
}

// Keeps each benchmark's CPU time per iteration (the median when repeated).
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type == Run::RT_Aggregate && !median) continue;
            const std::string name = r.run_name.function_name;
            if (median || !times.count(name)) {
                times[name] = r.GetAdjustedCPUTime();
                wall_times[name] = r.GetAdjustedRealTime();
            }
        }
    }
    std::map<std::string, double> times;
    std::map<std::string, double> wall_times;
};

}  // namespace

void register_pair(const std::string& name, double target, Body ours, Body base, bool wall) {
    cases().push_back({name, target, wall});
    auto* o = benchmark::RegisterBenchmark((name + "/ours").c_str(), std::move(ours));
    auto* b = benchmark::RegisterBenchmark((name + "/base").c_str(), std::move(base));
    if (wall) {
        o->UseRealTime();
        b->UseRealTime();
    }
    // A fixed iteration count, for counting instructions under callgrind.
    if (const char* n = std::getenv("CVX_BENCH_ITERATIONS")) {
        o->Iterations(std::atoll(n));
        b->Iterations(std::atoll(n));
    }
}

}  // namespace cvx::bench

int main(int argc, char** argv) {
    using namespace cvx::bench;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (!cvx::library().is_open()) {
        std::fprintf(stderr, "cannot load the library: %s\n", cvx::library().error().c_str());
        return 1;
    }
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    int missed = 0;
    std::printf("\n%-40s %14s %14s %8s %8s\n", "case", "ours", "baseline", "ratio", "target");
    for (const Case& c : cases()) {
        const auto& times = c.wall ? reporter.wall_times : reporter.times;
        const auto ours = times.find(c.name + "/ours");
        const auto base = times.find(c.name + "/base");
        if (ours == times.end() || base == times.end()) continue;
        const double ratio = ours->second / base->second;
        const bool met = ratio <= c.target;
        missed += !met;
        std::printf("%-40s %11.1f ns %11.1f ns %8.3f %8.2f%s%s\n", c.name.c_str(), ours->second, base->second, ratio,
                    c.target, c.wall ? " (wall)" : "", met ? "" : "  MISSED");
    }
    std::printf("%d case(s) missed their target\n", missed);
    return 0;
}
