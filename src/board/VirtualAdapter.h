#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "board/ChipModel.h"
#include "transport/Libusb32.h"

namespace zvk {

// A simulated USB bus for the libusb 0.1 function table, holding zero, one or two
// ZVK_SPIUSB adapters whose firmware answers the 64-byte commands and drives the chip
// model through the same five lines as the virtual parallel port.
class VirtualUsbBus {
public:
    struct Faults {
        bool unplugged = false;      // every transfer fails
        bool wrongVersion = false;   // GetVersion answers another text
        bool claimFails = false;     // claiming interface 0 fails until configuration 1
        bool configFails = false;    // selecting configuration 1 fails
        bool timeout = false;        // transfers time out
        bool releaseFails = false;   // releasing interface 0 fails
    };

    explicit VirtualUsbBus(ChipModel& chip, int adapters = 1);
    ~VirtualUsbBus();
    VirtualUsbBus(const VirtualUsbBus&) = delete;
    VirtualUsbBus& operator=(const VirtualUsbBus&) = delete;

    // The function table over this bus. It stays valid as long as the bus lives.
    const LibusbApi* api() const;

    Faults& faults();
    int adapterCount() const;
    // Index (0-based, in walk order) of the adapter that was opened last; -1 when none.
    int openedAdapter() const;
    // Bulk transfers attempted on the bus (both directions), and the calls per function.
    uint64_t transfers() const;
    uint64_t calls(const std::string& function) const;
    void resetCounts();
    // The reference level ReadAnalog reports, millivolts (follows SetLevel, or the
    // external reference when disabled).
    void setExternalLevel(uint16_t mv);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace zvk
