// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>

#include "transport/Lpt.h"

namespace zvk {

class TZVK_SPIUSB;

// Everything the register routines ask of a transport: the words of the write cycle and
// the register read, the line settings and the lock-detect samples. The parallel port
// builds them from line operations, the adapter from its commands; the routines above
// are written once and the interface detection chooses which transport carries them.
class SpiLink {
  public:
    explicit SpiLink(LineState& lines) : lines_(&lines) {}
    virtual ~SpiLink() = default;
    SpiLink(const SpiLink&) = delete;
    SpiLink& operator=(const SpiLink&) = delete;

    // How many registers a write cycle sends, from R0 on.
    virtual int registersPerCycle() const = 0;
    // The adapter's clock delay byte (the settings' DEL); the port keeps its own pace.
    virtual void setDelay(int32_t /*del*/) {}
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

    // The whole line byte at once, as the data register (bit assignment D0..D4) has it.
    virtual void writeLines(uint8_t byte) = 0;
    // The start-up's two writes once the port driver opened: the lines low, then the
    // control register's 3.
    virtual void resetLines() = 0;
    // The three line settings each compose the whole byte from zero, then wait one step.
    void spiselLine(bool on);
    void abcPattern(int presetIndex);
    void modselLine(bool on);
    uint8_t lineByte() const { return lines_->lineByte(); }

    // Whether the lock-detect pin can be timed after a write cycle.
    virtual bool timesLockDetect() const = 0;
    // True when the MFO pin is high.
    virtual bool readMfo() = 0;

    // The accesses between these two are one transfer (a write cycle, a register read, a
    // line write). They nest.
    virtual void beginTransfer() {}
    virtual void endTransfer() {}
    // Inside a transfer: the board could not be reached (the port is held by another
    // program), so nothing went out and nothing read back means anything.
    virtual bool transferSkipped() const { return false; }

    // The clock and the microsecond wait the line sequence runs at.
    LineState& lines() { return *lines_; }
    // The recorder of what goes over the wire; null when no trace runs.
    virtual Trace* trace() const = 0;

  private:
    void setLines(uint8_t byte);
    LineState* lines_;
};

// The parallel port: every bit is line writes on the data register; MFO comes in on BUSY.
class LptLink : public SpiLink {
  public:
    explicit LptLink(Lpt& lpt) : SpiLink(lpt.lineState()), lpt_(&lpt) {}
    // R7 is the status register: the port has no use in sending it.
    int registersPerCycle() const override { return 7; }
    std::optional<uint16_t> writeWord(uint16_t word) override;
    ReadResult readWord(uint8_t request) override;
    void writeLines(uint8_t byte) override;
    void resetLines() override { lpt_->resetLines(); }
    bool timesLockDetect() const override { return true; }
    bool readMfo() override { return lpt_->readMfo(); }
    // A shared port is held for the transfer only.
    void beginTransfer() override { lpt_->io().beginTransfer(); }
    void endTransfer() override { lpt_->io().endTransfer(); }
    bool transferSkipped() const override { return lpt_->io().transferSkipped(); }
    Trace* trace() const override { return lpt_->trace(); }

  private:
    Lpt* lpt_;
};

// The ZVK_SPIUSB adapter: SpiWrite for a word, SpiRead for what the chip answers, its line
// port for the line byte and ReadInput for MFO.
class AdapterLink : public SpiLink {
  public:
    // lines: the port's line state, so both transports pace alike and keep one line byte.
    AdapterLink(TZVK_SPIUSB& adapter, LineState& lines) : SpiLink(lines), adapter_(&adapter) {}
    int registersPerCycle() const override { return 8; }
    void setDelay(int32_t del) override { delay_ = uint8_t(del & 0xFF); }
    std::optional<uint16_t> writeWord(uint16_t word) override;
    ReadResult readWord(uint8_t request) override;
    void writeLines(uint8_t byte) override;
    void resetLines() override;
    bool timesLockDetect() const override { return false; }
    bool readMfo() override;
    Trace* trace() const override;

  private:
    TZVK_SPIUSB* adapter_;
    uint8_t delay_ = 50;
};

}  // namespace zvk
