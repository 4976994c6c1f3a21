// SPDX-License-Identifier: MIT
// What sharing the parallel port costs per transfer, as far as it runs without a port:
// the look at devices/active before each claim (a small /proc read), on a scratch copy of
// /proc/sys/dev/parport, and the hold logic around a write cycle's 701 accesses on a
// port held elsewhere (every access skipped). Not measured: the PPCLAIM and PPRELEASE
// ioctls themselves, two system calls per transfer on a real port.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

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

}  // namespace

BENCHMARK_MAIN();
