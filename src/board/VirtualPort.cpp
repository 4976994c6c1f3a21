// SPDX-License-Identifier: MIT
#include "board/VirtualPort.h"

namespace zvk {

VirtualPort::VirtualPort(ChipModel& chip) : chip_(&chip) {}

uint8_t VirtualPort::readPort(uint16_t address) {
    ++reads_;
    if (address == base_) return data_;
    if (address == uint16_t(base_ + 1)) {
        // BUSY (bit 7) is inverted by the port; the other inputs are not wired and float
        // high.
        return chip_->mfo() ? 0x7F : 0xFF;
    }
    if (address == uint16_t(base_ + 2)) return control_;
    return 0xFF;  // nothing answers there
}

void VirtualPort::writePort(uint16_t address, uint8_t value) {
    ++writes_;
    if (address == base_) {
        data_ = value;
        chip_->setLines(value);
    } else if (address == uint16_t(base_ + 2)) {
        control_ = value;
    }
}

}  // namespace zvk
