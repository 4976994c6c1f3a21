// SPDX-License-Identifier: MIT
#include "transport/SpiLink.h"

#include <array>

#include "transport/Zvk_spiusb.h"

namespace zvk {

void SpiLink::setLines(uint8_t byte) {
    writeLines(byte);
    lines_->stepWait();
}

void SpiLink::spiselLine(bool on) {
    setLines(on ? 0x08 : 0x00);
}

void SpiLink::abcPattern(int presetIndex) {
    uint8_t b = 0;
    if (presetIndex & 1) b |= 0x02;  // B on SCLK (D1)
    if (presetIndex & 2) b |= 0x01;  // A on SDEN (D0)
    if (presetIndex & 4) b |= 0x04;  // C on SDTA (D2)
    setLines(b);
}

void SpiLink::modselLine(bool on) {
    setLines(on ? 0x10 : 0x00);
}

std::optional<uint16_t> LptLink::writeWord(uint16_t word) {
    Lpt& lpt = *lpt_;
    for (int b = 15; b >= 0; --b) {
        lpt.setSdta((word >> b) & 1);
        lpt.sclkPulse(1);
    }
    lpt.sdenPulse();
    return std::nullopt;
}

SpiLink::ReadResult LptLink::readWord(uint8_t request) {
    Lpt& lpt = *lpt_;
    for (int b = 3; b >= 0; --b) {
        lpt.setSdta((request >> b) & 1);
        lpt.sclkPulse(1);
    }
    lpt.sdenPulse();
    // The first bit the chip shifts out is bit 0 of the word.
    uint16_t result = 0;
    for (int i = 0; i < 12; ++i) {
        if (lpt.readMfo()) result = uint16_t(result | (1u << i));
        lpt.stepWait();
        lpt.sclkPulse(1);
    }
    return {result, false};
}

void LptLink::writeLines(uint8_t byte) {
    lpt_->writeByte(uint16_t(lpt_->base()), byte);
}

// The two unpackings of an SpiRead reply below differ, and both are kept as the program
// has always done them: the register read's is the one whose word the callers use (the
// status panel decodes it, and it equals the port's word bit for bit). The write cycle's
// lands only in the read-back image, which nothing reads, so changing it would buy nothing
// and would make the image differ from what earlier versions kept there.
std::optional<uint16_t> AdapterLink::writeWord(uint16_t word) {
    TZVK_SPIUSB& usb = *adapter_;
    std::array<uint8_t, 8> data{};
    data[0] = uint8_t(word >> 8);
    data[1] = uint8_t(word);
    usb.SpiWrite(TZVK_SPIUSB::kLinePort, delay_, 16, data);
    std::array<uint8_t, 8> reply{};
    usb.SpiRead(TZVK_SPIUSB::kLinePort, delay_, 12, reply);
    return uint16_t(reply[0] | ((reply[1] & 0x0F) << 8));
}

SpiLink::ReadResult AdapterLink::readWord(uint8_t request) {
    TZVK_SPIUSB& usb = *adapter_;
    std::array<uint8_t, 8> data{};
    // A 4-bit frame goes out of the upper nibble of the first data byte.
    data[0] = uint8_t(request << 4);
    usb.SpiWrite(TZVK_SPIUSB::kLinePort, delay_, 4, data);
    std::array<uint8_t, 8> reply{};
    usb.SpiRead(TZVK_SPIUSB::kLinePort, delay_, 12, reply);
    return {uint16_t((reply[0] << 4) | (reply[1] >> 4)), true};
}

void AdapterLink::writeLines(uint8_t byte) {
    adapter_->WritePort(TZVK_SPIUSB::kLinePort, byte);
    lines().setLineByte(byte);
}

void AdapterLink::resetLines() {
    // The adapter has one line port: the byte meant for the port's control register
    // lands there too, bit for bit as the port's register would have had it.
    writeLines(0);
    writeLines(3);
}

bool AdapterLink::readMfo() {
    uint8_t state = 0;
    adapter_->ReadInput(TZVK_SPIUSB::kMfoInput, TZVK_SPIUSB::kMfoSubInput, state);
    // The input answers 0 while MFO is high, as a clear BUSY bit on the port does.
    return state == 0;
}

Trace* AdapterLink::trace() const {
    return adapter_->trace();
}

}  // namespace zvk
