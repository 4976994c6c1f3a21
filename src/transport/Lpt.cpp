// SPDX-License-Identifier: MIT
#include "transport/Lpt.h"

namespace zvk {

void LineState::microsecondWait(uint32_t us) {
    const uint64_t start = clock_->now();
    const uint64_t counts = uint64_t(us) * clock_->frequency() / 1000000u;
    for (;;) {
        if (pump_) pump_();
        if (clock_->now() - start >= counts) break;
    }
}

Lpt::Lpt(PortIo& io, Clock& clock) : io_(&io), lines_(clock) {}

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
    setDriverOpen(driverOpen);
    if (driverOpen_) resetLines();
}

void Lpt::setDriverOpen(bool driverOpen) {
    if (base_ != effectiveBase(base_)) setBase(effectiveBase(base_));
    driverOpen_ = driverOpen;
}

void Lpt::resetLines() {
    writeByte(uint16_t(base_), 0);
    writeByte(uint16_t(base_ + 2), 3);
}

void Lpt::writeByte(uint16_t address, uint8_t value) {
    io_->writePort(address, value);
    if (address == uint16_t(base_)) {
        lines_.setLineByte(value);
        if (trace_ != nullptr) trace_->record(TraceEvent::Kind::Lines, value);
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
    const bool high = (readByte(uint16_t(base_ + 1)) & 0x80) == 0;
    if (trace_ != nullptr) trace_->record(TraceEvent::Kind::Mfo, high);
    return high;
}

}  // namespace zvk
