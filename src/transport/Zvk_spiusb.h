// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "transport/Libusb32.h"
#include "transport/Trace.h"

namespace zvk {

// The ZVK_SPIUSB adapter's driver: one method per command, each a 64-byte request
// followed by a 64-byte reply read into the same buffer.
class TZVK_SPIUSB {
  public:
    static constexpr const char* kVersionText = "ZVK-SPIUSB v1.3";
    static constexpr int kPacket = 64;

    // The first byte of every request.
    enum Opcode : uint8_t {
        kWritePort = 0x02,
        kSetLevel = 0x05,
        kConfigure = 0x06,
        kSpiWrite = 0x07,
        kGetVersion = 0x80,
        kSpiRead = 0x81,
        kReadInput = 0x83,
        kReadAnalog = 0x85,
    };
    // Selectors: the serial lines' port (SpiWrite, SpiRead, WritePort), the input that
    // carries MFO (ReadInput) and the analog channel that measures the line level.
    static constexpr uint8_t kLinePort = 0x01;
    static constexpr uint8_t kMfoInput = 0x02;
    static constexpr uint8_t kMfoSubInput = 0x00;
    static constexpr uint8_t kLevelChannel = 7;
    // The command an opcode names ("SpiWrite"); null for none.
    static const char* commandName(uint8_t opcode);

    // Creates the device access (search, open, claim), then sends Configure.
    TZVK_SPIUSB(const LibusbApi* api, UsbProblemSink problems, AdapterChoice choice = {});

    bool DeviceReady() const { return usb_.ready(); }
    // The lost adapter closed and the bus searched again; one found is configured as at
    // start. True when one was found.
    bool SearchAgain();
    TlibUSB& usb() { return usb_; }

    void WritePort(uint8_t sel, uint8_t value);
    void SetLevel(uint8_t enable, uint16_t millivolts);
    void Configure();
    void SpiWrite(uint8_t sel, uint8_t delay, uint8_t bits, const std::array<uint8_t, 8>& data);
    uint8_t SpiRead(uint8_t sel, uint8_t delay, uint8_t bits, std::array<uint8_t, 8>& data);
    std::string GetVersion();
    uint8_t ReadInput(uint8_t sel, uint8_t sub, uint8_t& state);
    void ReadAnalog(uint8_t channel, uint16_t& value);

    // The version check of every detection tick: all 15 characters, case-sensitive.
    bool VersionMatches();
    static bool versionMatches(const std::string& text);

    // Commands sent since construction (each is one write and one read).
    uint64_t commandCount() const { return commands_; }
    // Whether the last command's request went out and its reply came back; a failed
    // read leaves the buffer holding the request, which is no answer.
    bool lastReplyArrived() const { return lastReplyArrived_; }

    // The recorder of every command and its reply; null when no trace runs.
    void setTrace(Trace* trace) { trace_ = trace; }
    Trace* trace() const { return trace_; }

  private:
    void command(std::array<uint8_t, kPacket>& buf);
    TlibUSB usb_;
    uint64_t commands_ = 0;
    bool lastReplyArrived_ = false;
    Trace* trace_ = nullptr;
};

}  // namespace zvk
