// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/Clock.h"
#include "transport/Trace.h"
#include "transport/Violation.h"

namespace zvk {

// A deterministic software model of the ZVK40310 on its demonstration board. It sees
// only the pins: levels of SDEN, SCLK, SDTA, SPISEL and MODSEL, and answers on MFO. It
// decodes frames on its own (it shares no encoding code with the program), so a test
// that passes against it proves the waveform, not the program's intent.
//
// Serial interface: SDTA is shifted into a 16-bit register on each rising SCLK edge. A
// rising SDEN edge decodes the bits shifted last: bit 0 = 0 latches the register named
// by bits 3..1 with bits 15..4 (needs 16 bits since the previous SDEN edge), bit 0 = 1
// is a read request for the register in bits 3..1 (needs 4 bits). An edge after fewer
// bits is ignored and counted. When SCLK and SDEN change in the same line write, the
// clock edge comes first. Writes to R7 are traced but not stored: R7 is computed.
//
// Protocol check: the model also records every breach of the serial protocol it sees
// (ViolationKind). SCLK rests low and SDEN rests low: a bit is shifted on a rising SCLK
// edge while SDEN is low, with SDTA set in an earlier line write, and a rising SDEN edge
// with SCLK low ends a frame. The lines are judged only while SPISEL is high before and
// after a write, since with SPISEL low they are the A, B and C pins. A write that changes
// several lines at once is taken as simultaneous: where its outcome would depend on the
// order of the changes it is a violation, whatever order the decoding above picks.
//
// MFO pin, by the latched MFO field (R3 bits 11..8):
//   1 "SPI out"  after a read request bit 0 of the register at once, the next bit on
//                each falling SCLK edge; low when no read is shifting out
//   3 "logic 1"  high
//   8 "LD out"   high while the synthesizer is not locked, low once it is
//   others       low
//
// The physics behind R7 (the status word), from the latched registers:
//   crystal 10 MHz; N = R2[11:5] + 128 * R3[3:0], A = R2[4:0], R = R4[10:0];
//   LO1 = 10 / R * (32 * N + A) MHz (none when R = 0).
//   The synthesizer runs when OPMODE (R0[1:0]) is 1 "Receive" or 3 "Synthesizer only".
//   It is locked when it runs, LO1 lies in the VCO range 200..1000 MHz and it has
//   settled. Every latched change of R2, R3 or R4 starts a settling of 1 ms plus 20 us
//   per MHz of the LO1 step, at most 15 ms, counted from that latch; one still running
//   ends no earlier than it would have.
//   IF filter: fIFF = 10 / RIFF * 136.8 MHz (RIFF = R5[10:0]), nominal 2 MHz.
//     IFFSTATE 3 "CCO fail" when auto adjustment (IFTUNE, R6[9]) is off, RIFF = 0 or
//     fIFF lies outside 1..4 MHz; else 0 "tuned" within 2 MHz +-5 %, 1 "tune up"
//     below that band, 2 "tune dn" above it.
//     IFFVAL = IFFPRES (R6[7:0]) while adjustment is off, halted (IFHLT, R6[8]) or
//     failed; else IFFPRES + round(100 * (fIFF / 2 MHz - 1)), held within 0..255.
//   RSSI from the test signal, only while OPMODE is "Receive" (otherwise the detector
//     sees nothing, as at -infinity): the low comparator is 1 at or above -100 dBm,
//     the high comparator (RSSIH, R7[11]) is 1 above -30 dBm.
//   LDRSSIL (R7[10]) is the lock flag when SHOWLD (R1[11]) is 1, else the low comparator.
class ChipModel {
  public:
    // Line bits as on the parallel port's data register and the adapter's line port.
    static constexpr uint8_t kSden = 0x01, kSclk = 0x02, kSdta = 0x04, kSpisel = 0x08,
                             kModsel = 0x10;

    static constexpr double kCrystalMhz = 10.0;
    static constexpr double kVcoMinMhz = 200.0, kVcoMaxMhz = 1000.0;
    static constexpr uint64_t kSettleBaseUs = 1000, kSettlePerMhzUs = 20, kSettleMaxUs = 15000;
    static constexpr double kIffNominalMhz = 2.0;
    static constexpr double kRssiLowDbm = -100.0, kRssiHighDbm = -30.0;

    // At power-on the chip holds its default image.
    static constexpr std::array<uint16_t, 8> kPowerOn = {0x08C, 0x8F4, 0xF14, 0x100,
                                                         0x04B, 0x2AC, 0xE4B, 0x000};

    // powerOn: what the registers hold before anything is written. Tests that check what
    // was sent start from an image unlike the one they send.
    explicit ChipModel(Clock& clock, const std::array<uint16_t, 8>& powerOn = kPowerOn);
    // Powers the chip down and up again with this image: registers, serial state and
    // records start afresh.
    void powerOn(const std::array<uint16_t, 8>& image);

    // Drives the five lines; edges are found against the previous levels.
    void setLines(uint8_t lines);
    uint8_t lines() const { return lines_; }
    // Level of the MFO pin.
    bool mfo();

    // The clock count at which the synthesizer's last settling ends.
    uint64_t settleUntil() const { return settleUntil_; }
    // The registers the chip has latched (R7 computed from them).
    std::array<uint16_t, 8> latched() const;
    uint16_t statusWord() const;
    // The 16-bit write frames in the order the chip latched them.
    const std::vector<uint16_t>& frames() const { return frames_; }
    // The SPISEL and MODSEL levels (line bits 3 and 4) at the moment each frame latched.
    const std::vector<uint8_t>& frameLines() const { return frameLines_; }
    // The 4-bit read requests, in order.
    const std::vector<uint8_t>& readRequests() const { return readRequests_; }
    // The SPISEL and MODSEL levels (line bits 3 and 4) each time one of them changed.
    const std::vector<uint8_t>& selectHistory() const { return selectHistory_; }
    // SDEN edges that came after too few bits for any frame.
    uint64_t ignoredEdges() const { return ignoredEdges_; }
    // With SPISEL low the three lines are the A, B, C pins: the preset they select
    // (A = SDEN is bit 1, B = SCLK bit 0, C = SDTA bit 2); -1 while SPISEL is high.
    int abcPreset() const;
    void clearTrace();
    // The recorder the chip reports its latched frames to; null when no trace runs.
    void setTrace(Trace* trace) { trace_ = trace; }

    // The protocol violations seen since power-on (or the last clearViolations), the
    // adapter's included: it reports through violation().
    const std::vector<Violation>& violations() const { return violations_; }
    void clearViolations() { violations_.clear(); }
    void violation(ViolationKind kind, uint64_t frame);
    // Each violation as it is recorded.
    void setViolationListener(std::function<void(const Violation&)> listener) {
        violationListener_ = std::move(listener);
    }
    // SDEN rising edges since power-on: the number of the frame in progress.
    uint64_t frame() const { return sdenEdges_; }

    // Test signal at the antenna in dBm, which the RSSI flags follow.
    void setTestSignal(double dbm) { signalDbm_ = dbm; }
    double testSignal() const { return signalDbm_; }

    // The synthesizer as the latched registers set it.
    std::optional<double> lo1Mhz() const;
    bool locked() const;

  private:
    void judge(uint8_t prev, uint8_t lines);
    // judged: SPISEL was high before and after the write (the serial lines are no pins).
    void onSdenRise(bool judged);
    void latch(int address, uint16_t value);
    bool synthesizerRuns() const;

    Clock* clock_;
    Trace* trace_ = nullptr;
    uint8_t lines_ = 0;
    std::array<uint16_t, 8> regs_;
    std::vector<uint16_t> frames_;
    std::vector<uint8_t> frameLines_;
    std::vector<uint8_t> readRequests_;
    std::vector<uint8_t> selectHistory_;
    uint64_t ignoredEdges_ = 0;
    uint64_t sdenEdges_ = 0;
    std::vector<Violation> violations_;
    std::function<void(const Violation&)> violationListener_;
    double signalDbm_ = -60.0;
    // serial state
    uint16_t shift_ = 0;
    int bitsSinceSden_ = 0;
    bool reading_ = false;
    int readBit_ = 0;
    uint16_t readWord_ = 0;
    // synthesizer settling (LD out); mutable because looking at the clock ends it
    uint64_t settleUntil_ = 0;
    mutable bool settling_ = false;
};

}  // namespace zvk
