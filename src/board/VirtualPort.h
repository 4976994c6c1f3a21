// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <string>

#include "board/ChipModel.h"
#include "transport/PortIo.h"

namespace zvk {

// A parallel port at any base address wired to the chip model: data register writes drive
// the lines, the status register shows MFO in bit 7 inverted as a real port's BUSY input,
// the control register is latched. Every access is counted.
class VirtualPort : public PortIo {
  public:
    explicit VirtualPort(ChipModel& chip);

    uint8_t readPort(uint16_t address) override;
    void writePort(uint16_t address, uint8_t value) override;
    std::string name() const override { return "virtual"; }
    void useBase(int base) override { base_ = uint16_t(base); }
    void beginTransfer() override;
    void endTransfer() override;
    bool transferSkipped() const override { return depth_ > 0 && skipped_; }
    // Another program (named holder) holds the port for the next count transfers: they
    // are skipped, as the real port's are, and their accesses go nowhere.
    void holdElsewhere(uint64_t count, std::string holder = "lp");

    uint64_t accesses() const { return reads_ + writes_; }
    uint64_t reads() const { return reads_; }
    uint64_t writes() const { return writes_; }
    void resetCounts() { reads_ = writes_ = 0; }
    uint8_t data() const { return data_; }
    uint8_t control() const { return control_; }

  private:
    ChipModel* chip_;
    uint16_t base_ = kDefaultPortBase;
    uint8_t data_ = 0;
    uint8_t control_ = 0;
    uint64_t reads_ = 0, writes_ = 0;
    int depth_ = 0;
    bool skipped_ = false;
    uint64_t heldFor_ = 0;
    std::string holder_;
    bool told_ = false;
};

}  // namespace zvk
