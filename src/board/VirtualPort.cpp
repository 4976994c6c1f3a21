// SPDX-License-Identifier: MIT
#include "board/VirtualPort.h"

#include <utility>

namespace zvk {

VirtualPort::VirtualPort(ChipModel& chip) : chip_(&chip) {}

void VirtualPort::holdElsewhere(uint64_t count, std::string holder) {
    heldFor_ = count;
    holder_ = std::move(holder);
}

void VirtualPort::beginTransfer() {
    if (depth_++ > 0) return;
    skipped_ = heldFor_ > 0;
    if (!skipped_) {
        told_ = false;
        return;
    }
    --heldFor_;
    if (!told_ && onBusy) {
        told_ = true;
        // As the real port says it; the listener may end the transfer by throwing.
        --depth_;
        onBusy("parport0 is in use by " + holder_);
        ++depth_;
    }
}

void VirtualPort::endTransfer() {
    if (depth_ > 0 && --depth_ == 0) skipped_ = false;
}

uint8_t VirtualPort::readPort(uint16_t address) {
    // A skipped transfer's accesses are the backend's "not claimed": nothing happens.
    if (depth_ == 0 && heldFor_ > 0) {
        beginTransfer();
        endTransfer();
        return 0xFF;
    }
    if (transferSkipped()) return 0xFF;
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
    if (depth_ == 0 && heldFor_ > 0) {
        beginTransfer();
        endTransfer();
        return;
    }
    if (transferSkipped()) return;
    ++writes_;
    if (address == base_) {
        data_ = value;
        chip_->setLines(value);
    } else if (address == uint16_t(base_ + 2)) {
        control_ = value;
    }
}

}  // namespace zvk
