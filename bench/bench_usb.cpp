// SPDX-License-Identifier: MIT
// The write cycle through the USB adapter on the virtual board: how much time the
// program's own layers (write cycle, adapter commands, device access, function table)
// add to each command on top of the adapter's firmware.
//
//   BM_WriteCycleUsb        the whole program path: one write cycle per iteration
//   BM_BusAndFirmware       the same 17 requests straight into the simulated libusb table
//   BM_FirmwareAlone        the same 17 requests handed to the firmware directly
//
// Per command, our code adds BM_WriteCycleUsb - BM_FirmwareAlone (of which the simulated
// bus is BM_BusAndFirmware - BM_FirmwareAlone). Goal: at most 2 us per command.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "board/ChipModel.h"
#include "board/VirtualAdapter.h"
#include "board/VirtualPort.h"
#include "chip/ChipController.h"
#include "transport/Libusb32.h"
#include "transport/Lpt.h"
#include "transport/SpiLink.h"
#include "transport/Zvk_spiusb.h"

namespace zvk {
namespace {

struct Wiring {
    Wiring() : chip(clock), vport(chip), bus(chip, 1), usb(bus.api(), nullptr) {
        bus.setRecording(false);
        usbInUse = usb.DeviceReady() && usb.VersionMatches();
        if (usbInUse) controller.setLink(adapterLink);
        controller.setRegs(kDefaultImage);
        controller.setSpiMode(true);
        // Switching the scheduling policy is a system call per cycle, not per command,
        // and is refused without the capability; it is left out of the measurement.
        controller.setRealtime(false);
    }
    // The chip model keeps a trace of every frame; emptied now and then so a long run
    // does not grow without bound.
    void trimTrace(int64_t iteration) {
        if ((iteration & 4095) == 0) chip.clearTrace();
    }

    SteppingClock clock;
    ChipModel chip;
    VirtualPort vport;
    VirtualUsbBus bus;
    TZVK_SPIUSB usb;
    Lpt lpt{vport, clock};
    LptLink portLink{lpt};
    AdapterLink adapterLink{usb, lpt.lineState()};
    ChipController controller{portLink};
    bool usbInUse = false;
};

// The requests one write cycle of the default image sends, as the firmware received them
// (each 64 bytes long).
std::vector<VirtualUsbBus::Packet> writeCycleRequests() {
    Wiring b;
    b.bus.setRecording(true);
    b.bus.resetCounts();
    b.controller.writeCycle();
    std::vector<VirtualUsbBus::Packet> packets;
    for (const VirtualUsbBus::Request& r : b.bus.requests()) {
        VirtualUsbBus::Packet p{};
        std::copy_n(r.begin(), std::min(r.size(), p.size()), p.begin());
        packets.push_back(p);
    }
    return packets;
}

void perCommandCounters(benchmark::State& state, uint64_t commands, uint64_t transfers) {
    const double cycles = double(state.iterations());
    state.counters["commands_per_cycle"] = double(commands) / cycles;
    state.counters["transfers_per_cycle"] = double(transfers) / cycles;
    state.counters["time_per_command"] = benchmark::Counter(
        double(commands), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_WriteCycleUsb(benchmark::State& state) {
    Wiring b;
    if (!b.usbInUse) {
        state.SkipWithError("the virtual adapter did not pass the version check");
        return;
    }
    b.bus.resetCounts();
    const uint64_t commandsBefore = b.usb.commandCount();
    int64_t i = 0;
    for (auto _ : state) {
        b.controller.writeCycle();
        b.trimTrace(++i);
    }
    perCommandCounters(state, b.usb.commandCount() - commandsBefore, b.bus.transfers());
}
BENCHMARK(BM_WriteCycleUsb);

void BM_BusAndFirmware(benchmark::State& state) {
    const std::vector<VirtualUsbBus::Packet> requests = writeCycleRequests();
    Wiring b;
    const LibusbApi& api = *b.bus.api();
    usb_dev_handle* h = b.usb.usb().handle();
    const int timeout = b.usb.usb().timeout();
    b.bus.resetCounts();
    VirtualUsbBus::Packet p;
    int64_t i = 0;
    for (auto _ : state) {
        for (const auto& r : requests) {
            p = r;
            char* bytes = reinterpret_cast<char*>(p.data());
            api.usb_bulk_write(h, TlibUSB::kEndpointOut, bytes, TZVK_SPIUSB::kPacket, timeout);
            api.usb_bulk_read(h, TlibUSB::kEndpointIn, bytes, TZVK_SPIUSB::kPacket, timeout);
        }
        benchmark::DoNotOptimize(p);
        b.trimTrace(++i);
    }
    perCommandCounters(state, uint64_t(state.iterations()) * requests.size(), b.bus.transfers());
}
BENCHMARK(BM_BusAndFirmware);

void BM_FirmwareAlone(benchmark::State& state) {
    const std::vector<VirtualUsbBus::Packet> requests = writeCycleRequests();
    Wiring b;
    VirtualUsbBus::Packet p;
    int64_t i = 0;
    for (auto _ : state) {
        for (const auto& r : requests) {
            p = r;
            b.bus.firmwareCommand(0, p);
        }
        benchmark::DoNotOptimize(p);
        b.trimTrace(++i);
    }
    perCommandCounters(state, uint64_t(state.iterations()) * requests.size(), 0);
}
BENCHMARK(BM_FirmwareAlone);

}  // namespace
}  // namespace zvk

BENCHMARK_MAIN();
