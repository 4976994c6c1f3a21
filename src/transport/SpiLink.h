// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>

#include "transport/Lpt.h"

namespace zvk {

class TZVK_SPIUSB;

// What the write cycle and the register read need from a transport, word by word. The
// parallel port builds each word from line operations, the adapter sends one command per
// word; the cycle itself is written once, above this.
class SpiLink {
  public:
    virtual ~SpiLink() = default;
    // How many registers a write cycle sends, from R0 on.
    virtual int registersPerCycle() const = 0;
    // One 16-bit register word, most significant bit first, latched by one SDEN pulse.
    // The word the link reads back after it, where it reads one.
    virtual std::optional<uint16_t> writeWord(uint16_t word) = 0;
    // A 4-bit read request, then the 12 bits the chip shifts out on MFO. The flag tells
    // whether the word belongs in the read-back image.
    struct ReadResult {
        uint16_t word;
        bool readBack;
    };
    virtual ReadResult readWord(uint8_t request) = 0;
    // Whether the lock-detect pin can be timed after a write cycle.
    virtual bool timesLockDetect() const = 0;
};

// The parallel port: every bit is line writes on the data register; MFO comes in on BUSY.
class LptLink : public SpiLink {
  public:
    explicit LptLink(Lpt& lpt) : lpt_(&lpt) {}
    // R7 is the status register: the port has no use in sending it.
    int registersPerCycle() const override { return 7; }
    std::optional<uint16_t> writeWord(uint16_t word) override;
    ReadResult readWord(uint8_t request) override;
    bool timesLockDetect() const override { return true; }

  private:
    Lpt* lpt_;
};

// The ZVK_SPIUSB adapter: SpiWrite for a word, SpiRead for what the chip answers.
class AdapterLink : public SpiLink {
  public:
    explicit AdapterLink(Lpt& lpt) : lpt_(&lpt) {}
    // The adapter's clock delay byte for SpiWrite and SpiRead (the settings' DEL).
    void setDelay(int32_t del) { delay_ = uint8_t(del & 0xFF); }
    int registersPerCycle() const override { return 8; }
    std::optional<uint16_t> writeWord(uint16_t word) override;
    ReadResult readWord(uint8_t request) override;
    bool timesLockDetect() const override { return false; }

  private:
    TZVK_SPIUSB& adapter() const;
    Lpt* lpt_;
    uint8_t delay_ = 50;
};

// The link the USB-in-use flag of the line layer selects at the moment of each call, so a
// detection tick's decision takes effect with the next word.
class SwitchedLink : public SpiLink {
  public:
    explicit SwitchedLink(Lpt& lpt) : lpt_(&lpt), port_(lpt), adapter_(lpt) {}
    void setDelay(int32_t del) { adapter_.setDelay(del); }
    int registersPerCycle() const override { return active().registersPerCycle(); }
    std::optional<uint16_t> writeWord(uint16_t word) override { return active().writeWord(word); }
    ReadResult readWord(uint8_t request) override { return active().readWord(request); }
    bool timesLockDetect() const override { return active().timesLockDetect(); }

  private:
    SpiLink& active() const {
        return lpt_->activeAdapter() != nullptr ? static_cast<SpiLink&>(adapter_)
                                                : static_cast<SpiLink&>(port_);
    }
    Lpt* lpt_;
    mutable LptLink port_;
    mutable AdapterLink adapter_;
};

}  // namespace zvk
