// SPDX-License-Identifier: MIT
#include "transport/Zvk_spiusb.h"

#include <cstring>

namespace zvk {

TZVK_SPIUSB::TZVK_SPIUSB(const LibusbApi* api, UsbProblemSink problems, AdapterChoice choice)
    : usb_(api, std::move(problems), std::move(choice)) {
    Configure();
}

void TZVK_SPIUSB::command(std::array<uint8_t, kPacket>& buf) {
    ++commands_;
    // Without an open adapter the transfers return at once and nothing goes over the
    // wire: the trace shows only what did (the parallel port's board would otherwise log
    // the detection's GetVersion every second).
    Trace* trace = usb_.ready() ? trace_ : nullptr;
    TraceEvent e{.kind = TraceEvent::Kind::Command, .a = buf[0]};
    if (trace != nullptr) std::memcpy(e.request.data(), buf.data(), e.request.size());
    const int written = usb_.BulkWrite(buf.data(), kPacket);
    const int read = usb_.BulkRead(buf.data(), kPacket);
    lastReplyArrived_ = written >= 0 && read > 0;
    if (trace != nullptr) {
        e.b = lastReplyArrived_;
        std::memcpy(e.reply.data(), buf.data(), e.reply.size());
        trace->record(e);
    }
}

void TZVK_SPIUSB::WritePort(uint8_t sel, uint8_t value) {
    std::array<uint8_t, kPacket> b{};
    b[0] = kWritePort;
    b[1] = sel;
    b[2] = value;
    command(b);
}

void TZVK_SPIUSB::SetLevel(uint8_t enable, uint16_t millivolts) {
    std::array<uint8_t, kPacket> b{};
    b[0] = kSetLevel;
    b[1] = enable;
    b[2] = uint8_t(millivolts >> 8);
    b[3] = uint8_t(millivolts & 0xFF);
    command(b);
}

bool TZVK_SPIUSB::SearchAgain() {
    if (!usb_.SearchAgain()) return false;
    Configure();
    return true;
}

void TZVK_SPIUSB::Configure() {
    std::array<uint8_t, kPacket> b{};
    b[0] = kConfigure;
    b[1] = 0x01;
    b[2] = 0x01;
    b[3] = 0x01;
    command(b);
}

void TZVK_SPIUSB::SpiWrite(uint8_t sel, uint8_t delay, uint8_t bits,
                           const std::array<uint8_t, 8>& data) {
    std::array<uint8_t, kPacket> b{};
    b[0] = kSpiWrite;
    b[1] = sel;
    b[2] = delay;
    b[3] = bits;
    std::memcpy(&b[4], data.data(), 8);
    command(b);
}

uint8_t TZVK_SPIUSB::SpiRead(uint8_t sel, uint8_t delay, uint8_t bits,
                             std::array<uint8_t, 8>& data) {
    std::array<uint8_t, kPacket> b{};
    b[0] = kSpiRead;
    b[1] = sel;
    b[2] = delay;
    b[3] = bits;
    command(b);
    std::memcpy(data.data(), &b[4], 8);
    return b[4];
}

std::string TZVK_SPIUSB::GetVersion() {
    std::array<uint8_t, kPacket> b{};
    b[0] = kGetVersion;
    command(b);
    return std::string(reinterpret_cast<const char*>(&b[1]), 15);
}

uint8_t TZVK_SPIUSB::ReadInput(uint8_t sel, uint8_t sub, uint8_t& state) {
    std::array<uint8_t, kPacket> b{};
    b[0] = kReadInput;
    b[1] = sel;
    b[2] = sub;
    command(b);
    state = b[3];
    return state;
}

void TZVK_SPIUSB::ReadAnalog(uint8_t channel, uint16_t& value) {
    std::array<uint8_t, kPacket> b{};
    b[0] = kReadAnalog;
    b[1] = channel;
    command(b);
    value = uint16_t(b[1] * 256 + b[2]);
}

const char* TZVK_SPIUSB::commandName(uint8_t opcode) {
    switch (opcode) {
        case kWritePort:
            return "WritePort";
        case kSetLevel:
            return "SetLevel";
        case kConfigure:
            return "Configure";
        case kSpiWrite:
            return "SpiWrite";
        case kGetVersion:
            return "GetVersion";
        case kSpiRead:
            return "SpiRead";
        case kReadInput:
            return "ReadInput";
        case kReadAnalog:
            return "ReadAnalog";
        default:
            return nullptr;
    }
}

bool TZVK_SPIUSB::versionMatches(const std::string& text) {
    return text.size() >= 15 && text.compare(0, 15, kVersionText) == 0;
}

bool TZVK_SPIUSB::VersionMatches() {
    return versionMatches(GetVersion());
}

}  // namespace zvk
