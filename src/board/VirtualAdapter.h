// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board/ChipModel.h"
#include "transport/Libusb32.h"

namespace zvk {

// A simulated USB bus for the libusb 0.1 function table, holding zero, one or two
// ZVK_SPIUSB adapters whose firmware answers the 64-byte commands and drives the chip
// model through the same five lines as the virtual parallel port.
//
// The bus is laid out as a real machine would show it: the first bus carries an
// unrelated device (a hub) before the first adapter; a second adapter sits on a second
// bus. Both adapters are wired to the same chip.
//
// Protocol check: a request that is not 64 bytes, an unknown opcode or selector, or a
// command other than GetVersion before the first Configure is recorded as a violation
// with the chip (ChipModel::violations), numbered by the requests received before it; the
// firmware still answers it as it can, so what the program makes of the answer shows too.
class VirtualUsbBus {
  public:
    struct Faults {
        bool unplugged = false;     // every transfer fails; the adapter is gone
        bool wrongVersion = false;  // GetVersion answers another text
        bool claimFails = false;    // claiming interface 0 fails until configuration 1
        bool configFails = false;   // selecting configuration 1 fails
        bool timeout = false;       // transfers time out
        bool releaseFails = false;  // releasing interface 0 fails
        bool openFails = false;     // usb_open gives no handle (no access to the node)
        // Pulls the adapter out after this many further bulk transfers (negative: never).
        int64_t unplugAfter = -1;
    };

    using Packet = std::array<uint8_t, 64>;
    // A request as it came over the bus, at its true length.
    using Request = std::vector<uint8_t>;

    // libusb 0.1 results the simulated calls give on failure.
    static constexpr int kErrNoDevice = -19;  // -ENODEV
    static constexpr int kErrTimeout = -110;  // -ETIMEDOUT
    static constexpr int kErrBusy = -16;      // -EBUSY
    static constexpr int kErrPipe = -32;      // -EPIPE
    static constexpr int kErrInvalid = -22;   // -EINVAL

    static constexpr const char* kFirmwareVersion = "ZVK-SPIUSB v1.3";
    static constexpr const char* kWrongVersion = "ZVK-SPIUSB v1.2";

    explicit VirtualUsbBus(ChipModel& chip, int adapters = 1);
    ~VirtualUsbBus();
    VirtualUsbBus(const VirtualUsbBus&) = delete;
    VirtualUsbBus& operator=(const VirtualUsbBus&) = delete;

    // The function table over this bus. It stays valid as long as the bus lives.
    const LibusbApi* api() const;

    Faults& faults();
    // The adapters plugged back in after an unplug, as Linux shows it: each is a new
    // device with a new number, found only by a new search (usb_find_devices), while
    // every handle opened before answers ENODEV for ever. (Clearing faults().unplugged
    // instead is a contact that came back: the old handles answer again.)
    void replug();
    int adapterCount() const;
    // Index (0-based, in walk order) of the adapter that was opened last; -1 when none.
    int openedAdapter() const;
    // Handles opened and not yet closed.
    int openHandles() const;
    // Bulk transfers attempted on the bus (both directions), and the calls per function.
    uint64_t transfers() const;
    uint64_t calls(const std::string& function) const;
    // The libusb calls in the order they were made, by function name.
    const std::vector<std::string>& callLog() const;
    // Every request the firmware of any adapter received, in order, at its true length.
    const std::vector<Request>& requests() const;
    // A request as its command name and decimal arguments, as the firmware reads it:
    // "SetLevel 1 2500", "SpiWrite 1 50 16 8 192" (the data bytes the bits fill); a
    // request that is not 64 bytes long says so: "SpiWrite 1 50 16 8 192 (6 bytes)".
    static std::string describe(const Request& request);
    // Recording requests and the call log costs an allocation now and then; the
    // benchmark switches it off.
    void setRecording(bool on);
    void resetCounts();
    // The reference level ReadAnalog reports, millivolts (follows SetLevel, or the
    // external reference when disabled).
    void setExternalLevel(uint16_t mv);

    // What the firmware of adapter `index` holds.
    struct AdapterState {
        uint8_t linePort = 0;                    // the line byte last put on the five lines
        bool levelEnabled = false;               // internal reference on
        uint16_t levelMv = 0;                    // internal reference level
        std::array<uint8_t, 3> configuration{};  // the three Configure bytes
        uint8_t lastDelay = 0;                   // clock delay byte of the last SpiWrite/SpiRead
        bool interfaceClaimed = false;
        bool configured = false;     // a Configure arrived: the firmware takes every command
        int configurationValue = 0;  // 0 until usb_set_configuration succeeded
    };
    const AdapterState& adapter(int index) const;

    // The firmware of adapter `index` answering one request without the bus around it:
    // the packet is replaced by the reply. Lets the benchmark weigh the firmware alone.
    void firmwareCommand(int index, Packet& packet);

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace zvk
