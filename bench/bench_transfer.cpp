// SPDX-License-Identifier: MIT
// What the program itself costs per port access: the write cycle and the register read
// over a port that does nothing (our line layer alone), and over the virtual board. A
// write cycle in SPI mode is 701 port accesses, a register read 88; the counter
// "per_access" divides the time by those.
#include <benchmark/benchmark.h>

#include "board/ChipModel.h"
#include "board/VirtualPort.h"
#include "chip/ChipController.h"
#include "chip/TraceText.h"
#include "transport/Lpt.h"

namespace {

using namespace zvk;

// Reads a register that always holds the last byte written, like a bare data register,
// and keeps the compiler from dropping the writes.
class NullPortIo : public PortIo {
  public:
    uint8_t readPort(uint16_t) override { return last_; }
    void writePort(uint16_t, uint8_t value) override {
        last_ = value;
        benchmark::DoNotOptimize(last_);
    }
    std::string name() const override { return "null"; }

  private:
    uint8_t last_ = 0;
};

constexpr double kCycleAccesses = 701, kReadAccesses = 88;

void perAccess(benchmark::State& state, double accessesPerIteration) {
    // A rate, inverted: seconds per access, which the report shows in ns.
    state.counters["per_access"] =
        benchmark::Counter(double(state.iterations()) * accessesPerIteration,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The line layer and the register routines on a port, started up with the default image.
void prepare(Lpt& lpt, ChipController& cc) {
    lpt.setBase(kDefaultPortBase);
    lpt.startUp(true);
    cc.setRegs(kDefaultImage);
    cc.setSpiMode(true);
    cc.setRealtime(false);  // measure our code, not the scheduler's system calls
}

struct NullStack {
    SteadyClock clock;
    NullPortIo port;
    Lpt lpt{port, clock};
    LptLink link{lpt};
    ChipController cc{link};
    NullStack() { prepare(lpt, cc); }
};

struct VirtualStack {
    SteadyClock clock;
    ChipModel chip{clock};
    VirtualPort port{chip};
    Lpt lpt{port, clock};
    LptLink link{lpt};
    ChipController cc{link};
    VirtualStack() { prepare(lpt, cc); }
};

void BM_WriteCycle_NullPort(benchmark::State& state) {
    NullStack s;
    for (auto _ : state) s.cc.writeCycle();
    perAccess(state, kCycleAccesses);
}
BENCHMARK(BM_WriteCycle_NullPort);

void BM_WriteCycle_VirtualPort(benchmark::State& state) {
    VirtualStack s;
    for (auto _ : state) {
        s.cc.writeCycle();
        s.chip.clearTrace();  // keeps the trace from growing without end; a few ns
    }
    perAccess(state, kCycleAccesses);
}
BENCHMARK(BM_WriteCycle_VirtualPort);

// The same with a trace recording, as the window keeps it (the newest 100,000 events).
void BM_WriteCycle_NullPort_Tracing(benchmark::State& state) {
    NullStack s;
    Trace trace(s.clock, 100000);
    s.lpt.setTrace(&trace);
    for (auto _ : state) s.cc.writeCycle();
    perAccess(state, kCycleAccesses);
}
BENCHMARK(BM_WriteCycle_NullPort_Tracing);

// What showing a write cycle's events as log lines costs, against the cycle itself on
// the virtual board above.
void BM_WriteCycle_LogLines(benchmark::State& state) {
    VirtualStack s;
    Trace trace(s.clock);
    s.lpt.setTrace(&trace);
    s.chip.setTrace(&trace);
    s.cc.writeCycle();
    s.lpt.setTrace(nullptr);
    s.chip.setTrace(nullptr);
    size_t bytes = 0;
    for (auto _ : state) {
        TraceText text(trace, kDefaultImage, 0);
        for (const TraceEvent& e : trace.events()) bytes += text.line(e).size();
    }
    benchmark::DoNotOptimize(bytes);
    state.counters["events"] = double(trace.events().size());
}
BENCHMARK(BM_WriteCycle_LogLines);

void BM_RegisterRead_NullPort(benchmark::State& state) {
    NullStack s;
    for (auto _ : state) benchmark::DoNotOptimize(s.cc.registerRead(7));
    perAccess(state, kReadAccesses);
}
BENCHMARK(BM_RegisterRead_NullPort);

void BM_RegisterRead_VirtualPort(benchmark::State& state) {
    VirtualStack s;
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.cc.registerRead(7));
        s.chip.clearTrace();
    }
    perAccess(state, kReadAccesses);
}
BENCHMARK(BM_RegisterRead_VirtualPort);

// One access of the line layer: a pin operation is a read and a write.
void BM_PinOperation_NullPort(benchmark::State& state) {
    NullStack s;
    for (auto _ : state) {
        s.lpt.setPin(Lpt::SPIDTA);
        s.lpt.clearPin(Lpt::SPIDTA);
    }
    perAccess(state, 4);
}
BENCHMARK(BM_PinOperation_NullPort);

}  // namespace

BENCHMARK_MAIN();
