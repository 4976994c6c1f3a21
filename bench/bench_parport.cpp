// SPDX-License-Identifier: MIT
// What sharing the parallel port costs per transfer, as far as it runs without a port:
// the look at devices/active before each claim (a small /proc read), on a scratch copy of
// /proc/sys/dev/parport, and the hold logic around a write cycle's 701 accesses on a
// port held elsewhere (every access skipped). Then what taking turns adds: the lock on
// the node (flock) and the bounded claim (a per-thread timer armed and disarmed around
// the lock and around PPCLAIM), for one transfer alone and beside a write cycle's 701
// accesses, each an ioctl on the node as on a real port (the scratch node is a plain
// file: the ioctls fail, but each is still its system call). Not measured: the PPCLAIM
// and PPRELEASE ioctls doing their work on a real port.
// Figures from this machine are in bench/parport-turns.md.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "transport/BoundedCall.h"
#include "transport/Parports.h"
#include "transport/PortIo.h"

namespace {

namespace fs = std::filesystem;
using namespace zvk;

struct ScratchProc {
    ScratchProc() {
        std::string tmpl = (fs::temp_directory_path() / "zvk-bench-parport-XXXXXX").string();
        dir = mkdtemp(tmpl.data());
        fs::create_directories(dir / "proc/parport0/devices");
        fs::create_directories(dir / "dev");
        std::ofstream(dir / "proc/parport0/base-addr") << "888\t1912\n";
        std::ofstream(dir / "proc/parport0/devices/active") << "lp\n";
        std::ofstream(dir / "dev/parport0");
    }
    ~ScratchProc() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    PortIoPaths paths() const {
        PortIoPaths p;
        p.procParport = (dir / "proc").string();
        p.devDir = (dir / "dev").string();
        p.devPort = (dir / "no-port").string();
        p.directIo = false;
        return p;
    }
    fs::path dir;
};

void BM_InUseCheck(benchmark::State& state) {
    ScratchProc s;
    const std::string proc = (s.dir / "proc").string();
    for (auto _ : state) benchmark::DoNotOptimize(parportHolder(proc, 0));
}
BENCHMARK(BM_InUseCheck);

// One write cycle's worth of accesses in one transfer on a port held by another driver.
void BM_WriteCycleOnHeldPort(benchmark::State& state) {
    ScratchProc s;
    HardwarePortIo io(s.paths());
    if (!io.open(0x378)) {
        state.SkipWithError("the scratch port did not open");
        return;
    }
    for (auto _ : state) {
        io.beginTransfer();
        for (int i = 0; i < 701; ++i) io.writePort(0x378, uint8_t(i));
        io.endTransfer();
    }
}
BENCHMARK(BM_WriteCycleOnHeldPort);

// The timer of a bounded call, armed and disarmed around a call that returns at once.
void BM_BoundedCallAlone(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(
            zvk::boundedCall(std::chrono::milliseconds(300), [] { return 0; }));
}
BENCHMARK(BM_BoundedCallAlone);

// A free port whose claim succeeds at once: the turn (flock), the holder check, the
// bounded claim and the release with the lock given back.
PortIoPaths freePaths(const ScratchProc& s) {
    std::ofstream(s.dir / "proc/parport0/devices/active") << "none\n";
    PortIoPaths p = s.paths();
    p.ppclaim = [](int) { return 0; };
    return p;
}

void BM_TurnAndClaimAlone(benchmark::State& state) {
    ScratchProc s;
    HardwarePortIo io(freePaths(s));
    if (!io.open(0x378)) {
        state.SkipWithError("the scratch port did not open");
        return;
    }
    for (auto _ : state) {
        io.beginTransfer();
        io.endTransfer();
    }
}
BENCHMARK(BM_TurnAndClaimAlone);

// A write cycle's 701 accesses with the turn and the claim around them.
void BM_WriteCycleWithTurnAndClaim(benchmark::State& state) {
    ScratchProc s;
    HardwarePortIo io(freePaths(s));
    if (!io.open(0x378)) {
        state.SkipWithError("the scratch port did not open");
        return;
    }
    for (auto _ : state) {
        io.beginTransfer();
        for (int i = 0; i < 701; ++i) io.writePort(0x378, uint8_t(i));
        io.endTransfer();
    }
}
BENCHMARK(BM_WriteCycleWithTurnAndClaim);

}  // namespace

BENCHMARK_MAIN();
