#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "transport/Clock.h"

namespace zvk {

// A deterministic software model of the ZVK40310 on its demonstration board. It sees
// only the pins: levels of SDEN, SCLK, SDTA, SPISEL and MODSEL, and answers on MFO. It
// decodes frames on its own (it shares no encoding code with the program), so a test
// that passes against it proves the waveform, not the program's intent.
class ChipModel {
public:
    // Line bits as on the parallel port's data register and the adapter's line port.
    static constexpr uint8_t kSden = 0x01, kSclk = 0x02, kSdta = 0x04, kSpisel = 0x08,
                             kModsel = 0x10;

    explicit ChipModel(Clock& clock);

    // Drives the five lines; edges are found against the previous levels.
    void setLines(uint8_t lines);
    uint8_t lines() const { return lines_; }
    // Level of the MFO pin.
    bool mfo();

    // The registers the chip has latched (R7 computed from them).
    std::array<uint16_t, 8> latched() const;
    uint16_t statusWord() const;
    // The 16-bit write frames in the order the chip latched them.
    const std::vector<uint16_t>& frames() const { return frames_; }
    // The 4-bit read requests, in order.
    const std::vector<uint8_t>& readRequests() const { return readRequests_; }
    // SDEN edges that came after too few bits for any frame.
    uint64_t ignoredEdges() const { return ignoredEdges_; }
    // With SPISEL low the three lines are the A, B, C pins: the preset they select.
    int abcPreset() const;
    void clearTrace();

    // Test signal at the antenna in dBm, which the RSSI flags follow.
    void setTestSignal(double dbm) { signalDbm_ = dbm; }
    double testSignal() const { return signalDbm_; }

private:
    struct Impl;
    Clock* clock_;
    uint8_t lines_ = 0;
    std::array<uint16_t, 8> regs_;
    std::vector<uint16_t> frames_;
    std::vector<uint8_t> readRequests_;
    uint64_t ignoredEdges_ = 0;
    double signalDbm_ = -60.0;
    // serial state
    uint32_t shift_ = 0;
    int bitsSinceSden_ = 0;
    int readReg_ = -1;
    int readBit_ = 0;
    uint16_t readWord_ = 0;
    // synthesizer settling (LD out)
    uint64_t settleUntil_ = 0;
    double lastLo1_ = 0.0;
};

}  // namespace zvk
