// SPDX-License-Identifier: MIT
// What a locktime hop costs on the virtual board apart from the settling it waits for: the
// program clock steps a millisecond per reading, so the chip model's settling passes in a
// dozen samples and what is left is the plan, the write cycle, the samples and the lock
// flag's read. Beside it the same hop without the measurement (MFO at SPI out).
#include <benchmark/benchmark.h>

#include "base/Clock.h"
#include "chip/FieldMap.h"
#include "session/LockTime.h"
#include "session/Session.h"

namespace {

using namespace zvk;

std::unique_ptr<Session> boardSession(Clock& clock, bool ldOut) {
    SessionOptions o;
    o.boardName = "virtual";
    o.clock = &clock;
    o.realtime = false;
    auto s = std::make_unique<Session>(o);
    Config c;
    c.regs = kDefaultImage;
    c.spisel = true;
    s->takeConfig(c);
    s->chip().setField(field("OPMODE"), 1);
    if (ldOut) selectLockDetectOutput(*s);
    return s;
}

void hops(benchmark::State& state, bool ldOut) {
    SteppingClock clock(1000);
    auto s = boardSession(clock, ldOut);
    std::vector<LockTimeHop> out;
    uint64_t samples = 0;
    for (auto _ : state) {
        out.clear();
        lockTimeHops(*s, 400.0, 430.0, 2, out);
        for (const LockTimeHop& h : out)
            if (h.time) samples += h.time->samples;
    }
    // Each iteration is a tuning write and two hops.
    state.counters["per_hop"] = benchmark::Counter(
        double(state.iterations()) * 3, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["samples_per_hop"] = double(samples) / double(state.iterations() * 2);
}

void BM_LockTimeHop(benchmark::State& state) {
    hops(state, true);
}
BENCHMARK(BM_LockTimeHop);

void BM_HopWithoutMeasurement(benchmark::State& state) {
    hops(state, false);
}
BENCHMARK(BM_HopWithoutMeasurement);

}  // namespace

BENCHMARK_MAIN();
