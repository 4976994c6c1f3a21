// SPDX-License-Identifier: MIT
#include "transport/SpiLink.h"

#include <array>

#include "transport/Zvk_spiusb.h"

namespace zvk {

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

TZVK_SPIUSB& AdapterLink::adapter() const {
    return *lpt_->adapter();
}

// The two unpackings of an SpiRead reply below differ, and both are kept as the program
// has always done them: the register read's is the one whose word the callers use (the
// status panel decodes it, and it equals the port's word bit for bit). The write cycle's
// lands only in the read-back image, which nothing reads, so changing it would buy nothing
// and would make the image differ from what earlier versions kept there.
std::optional<uint16_t> AdapterLink::writeWord(uint16_t word) {
    TZVK_SPIUSB& usb = adapter();
    std::array<uint8_t, 8> data{};
    data[0] = uint8_t(word >> 8);
    data[1] = uint8_t(word);
    usb.SpiWrite(TZVK_SPIUSB::kLinePort, delay_, 16, data);
    std::array<uint8_t, 8> reply{};
    usb.SpiRead(TZVK_SPIUSB::kLinePort, delay_, 12, reply);
    return uint16_t(reply[0] | ((reply[1] & 0x0F) << 8));
}

SpiLink::ReadResult AdapterLink::readWord(uint8_t request) {
    TZVK_SPIUSB& usb = adapter();
    std::array<uint8_t, 8> data{};
    // A 4-bit frame goes out of the upper nibble of the first data byte.
    data[0] = uint8_t(request << 4);
    usb.SpiWrite(TZVK_SPIUSB::kLinePort, delay_, 4, data);
    std::array<uint8_t, 8> reply{};
    usb.SpiRead(TZVK_SPIUSB::kLinePort, delay_, 12, reply);
    return {uint16_t((reply[0] << 4) | (reply[1] >> 4)), true};
}

}  // namespace zvk
