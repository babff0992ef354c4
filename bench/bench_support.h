// Side-by-side benchmarks: every case runs our export and the best way of
// doing the same work without us (the baseline), in the same process and
// the same run, and the table at the end reports ours / baseline.
#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <string>

#include "tools/guarded.h"
#include "tools/library_calls.h"

namespace cvx::bench {

using Body = std::function<void(benchmark::State&)>;

// Registers CASE/ours and CASE/base, run one after the other, with the ratio
// the case must stay under; `wall` compares wall time instead of CPU time.
void register_pair(const std::string& name, double target, Body ours, Body base, bool wall = false);

// Registers a case at static initialisation.
struct Pair {
    Pair(const std::string& name, double target, Body ours, Body base, bool wall = false) {
        register_pair(name, target, std::move(ours), std::move(base), wall);
    }
};

}  // namespace cvx::bench
