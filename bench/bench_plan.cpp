// SPDX-License-Identifier: MIT
// The arithmetic behind "Calculate": how long a plan takes, and the display texts on top.
// A plan runs on every preset, crystal change and configuration load, and the window
// repeats it while the user scrolls through frequencies: it should stay well below 1 us.
#include <benchmark/benchmark.h>

#include <vector>

#include "plan/FrequencyPlan.h"
#include "plan/PlanSvg.h"
#include "session/EditRules.h"

namespace {

using namespace zvk;

// The eight preconfigured frequencies as edit texts, cycled so that no result can be
// folded away.
struct Inputs {
    PlanEdits edits[8];
    Inputs() {
        for (int i = 0; i < 8; ++i) edits[i] = {"10.000", formatFrequency(kAbcPresets[i].fRF), 0};
    }
};

// Planning step and recompute step, each after reading the state from the image and the
// edit texts, as "Calculate" runs them; with tuningInfo also the texts the window writes.
void plan(benchmark::State& state, bool tuningInfo) {
    const Inputs in;
    RegisterImage regs = kDefaultImage;
    FrequencyState s;
    unsigned i = 0;
    for (auto _ : state) {
        const PlanEdits& e = in.edits[i++ & 7];
        ReadFrequencyState(s, regs, e);
        auto refusal = PlanDividers(s, regs, rfArgument(s.fRF));
        benchmark::DoNotOptimize(refusal);
        ReadFrequencyState(s, regs, e);
        RecomputeFrequencies(s);
        if (tuningInfo) {
            TuningInfo t = ShowTuningInfo(s);
            benchmark::DoNotOptimize(t);
        }
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(regs);
    }
}
void BM_Plan(benchmark::State& state) {
    plan(state, false);
}
BENCHMARK(BM_Plan);
void BM_PlanAndTuningInfo(benchmark::State& state) {
    plan(state, true);
}
BENCHMARK(BM_PlanAndTuningInfo);

// The picture of the plan after each plan: images, spurs and reference products, then the
// SVG text with its label layout. The window redraws it after every plan it makes, so it
// has to stay well below a millisecond.
void BM_PlanPicture(benchmark::State& state) {
    const Inputs in;
    std::vector<FrequencyState> plans;
    for (const PlanEdits& e : in.edits) {
        RegisterImage regs = kDefaultImage;
        FrequencyState s;
        ReadFrequencyState(s, regs, e);
        (void)PlanDividers(s, regs, rfArgument(s.fRF));
        ReadFrequencyState(s, regs, e);
        RecomputeFrequencies(s);
        plans.push_back(s);
    }
    unsigned i = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        PlanDrawing d = drawPlan(planPicture(plans[i++ & 7]));
        bytes += d.svg.size();
        benchmark::DoNotOptimize(d);
    }
    state.counters["svg_bytes"] = benchmark::Counter(double(bytes) / double(state.iterations()));
}
BENCHMARK(BM_PlanPicture);

void BM_FormatFrequency(benchmark::State& state) {
    double v = 514.6666666666666;
    for (auto _ : state) {
        std::string text = formatFrequency(v);
        benchmark::DoNotOptimize(text);
        v += 0.001;
    }
}
BENCHMARK(BM_FormatFrequency);

}  // namespace

BENCHMARK_MAIN();
