// SPDX-License-Identifier: MIT
#include "transport/Lpt.h"

#include "transport/Zvk_spiusb.h"

namespace zvk {

Lpt::Lpt(PortIo& io, Clock& clock) : io_(&io), clock_(&clock) {}

void Lpt::setBase(int base) {
    base_ = base;
    io_->useBase(base_);
}

bool Lpt::changeBase(int base, std::string* why) {
    if (!io_->switchBase(base, why)) return false;
    base_ = base;
    return true;
}

void Lpt::startUp(bool driverOpen) {
    if (base_ != effectiveBase(base_)) setBase(effectiveBase(base_));
    driverOpen_ = driverOpen;
    if (!driverOpen_) return;
    writeByte(uint16_t(base_), 0);
    writeByte(uint16_t(base_ + 2), 3);
}

void Lpt::writeByte(uint16_t address, uint8_t value) {
    if (TZVK_SPIUSB* const usb = activeAdapter()) {
        // The adapter has one line port: whatever register the byte was meant for,
        // it lands there, bit for bit as the data register would have had it.
        usb->WritePort(TZVK_SPIUSB::kLinePort, value);
        lineByte_ = value;
        return;
    }
    io_->writePort(address, value);
    if (address == uint16_t(base_)) {
        lineByte_ = value;
        if (trace_ != nullptr) trace_->record({.kind = TraceEvent::Kind::Lines, .a = value});
    }
}

uint8_t Lpt::readByte(uint16_t address) {
    return io_->readPort(address);
}

void Lpt::changePin(int pin, bool set) {
    uint16_t address = uint16_t(base_);
    uint8_t mask = 0;
    if (pin & 0x10) {
        // Control-register pins: undo the port's inversion of bits 0, 1 and 3 so the
        // pin number always means the level at the connector.
        address = uint16_t(base_ + 2);
        mask = 0x0B;
    }
    uint8_t v = uint8_t(readByte(address) ^ mask);
    const uint8_t bit = uint8_t(1u << (pin & 7));
    v = set ? uint8_t(v | bit) : uint8_t(v & ~bit);
    writeByte(address, uint8_t(v ^ mask));
}

void Lpt::setPin(int pin) {
    changePin(pin, true);
}
void Lpt::clearPin(int pin) {
    changePin(pin, false);
}

void Lpt::sclkPulse(int n) {
    for (int i = 0; i < n; ++i) {
        setPin(SPICLK);
        clearPin(SPICLK);
    }
}

void Lpt::sdenPulse() {
    setPin(SDEN);
    clearPin(SDEN);
}

void Lpt::setSdta(int level) {
    if (level == 1)
        setPin(SPIDTA);
    else
        clearPin(SPIDTA);
}

bool Lpt::readMfo() {
    if (TZVK_SPIUSB* const usb = activeAdapter()) {
        uint8_t state = 0;
        usb->ReadInput(TZVK_SPIUSB::kMfoInput, TZVK_SPIUSB::kMfoSubInput, state);
        return state == 0;
    }
    const bool high = (readByte(uint16_t(base_ + 1)) & 0x80) == 0;
    if (trace_ != nullptr) trace_->record({.kind = TraceEvent::Kind::Mfo, .a = high});
    return high;
}

void Lpt::spiselLine(bool on) {
    writeByte(uint16_t(base_), on ? 0x08 : 0x00);
    stepWait();
}

void Lpt::abcPattern(int presetIndex) {
    uint8_t b = 0;
    if (presetIndex & 1) b |= 0x02;  // B on SCLK (D1)
    if (presetIndex & 2) b |= 0x01;  // A on SDEN (D0)
    if (presetIndex & 4) b |= 0x04;  // C on SDTA (D2)
    writeByte(uint16_t(base_), b);
    stepWait();
}

void Lpt::modselLine(bool on) {
    writeByte(uint16_t(base_), on ? 0x10 : 0x00);
    stepWait();
}

void Lpt::microsecondWait(uint32_t us) {
    const uint64_t start = clock_->now();
    const uint64_t counts = uint64_t(us) * clock_->frequency() / 1000000u;
    for (;;) {
        if (pump_) pump_();
        if (clock_->now() - start >= counts) break;
    }
}

}  // namespace zvk
