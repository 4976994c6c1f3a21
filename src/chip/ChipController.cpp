#include "chip/ChipController.h"

#include <array>

#include "chip/Numbers.h"
#include "transport/Priority.h"
#include "transport/Zvk_spiusb.h"

namespace zvk {

namespace {

// Marks a transfer as running for as long as it lives, and runs what was asked for
// meanwhile when the outermost transfer ends.
class TransferScope {
  public:
    explicit TransferScope(bool& busy) : busy_(busy) { busy_ = true; }
    ~TransferScope() { busy_ = false; }

  private:
    bool& busy_;
};

constexpr uint64_t kLockBound = 100000;  // counter counts: 100 ms at 1 MHz

}  // namespace

ChipController::ChipController(Lpt& lpt) : lpt_(&lpt) {}

void ChipController::writeCycle() {
    if (busy_) {
        pendingWrite_ = true;
        return;
    }
    {
        TransferScope scope(busy_);
        runWriteCycle();
    }
    drainPending();
}

std::optional<uint16_t> ChipController::registerRead(int address) {
    if (busy_) return std::nullopt;
    uint16_t value;
    {
        TransferScope scope(busy_);
        value = runRegisterRead(address);
    }
    drainPending();
    return value;
}

void ChipController::afterChange() {
    observer_->redraw(regs);
    if (busy_) {
        if (sendAlways) pendingWrite_ = true;
        pendingModsel_ = true;
        return;
    }
    {
        TransferScope scope(busy_);
        if (sendAlways) runWriteCycle();
        lpt_->modselLine(bitTest(regs[5], 11));
    }
    drainPending();
}

void ChipController::drainPending() {
    while (!busy_ && (pendingWrite_ || pendingModsel_)) {
        TransferScope scope(busy_);
        if (pendingWrite_) {
            pendingWrite_ = false;
            runWriteCycle();
        }
        if (pendingModsel_) {
            pendingModsel_ = false;
            lpt_->modselLine(bitTest(regs[5], 11));
        }
    }
}

void ChipController::runWriteCycle() {
    ++writeCycles_;
    const bool ldOut = observer_->mfoSelection(regs) == 8;
    observer_->showLockTimeRow(ldOut);
    if (realtime) raiseToRealtimePriority();
    Lpt& lpt = *lpt_;
    lpt.spiselLine(spiMode);
    if (!spiMode) {
        lpt.abcPattern(presetIndex);
    } else if (TZVK_SPIUSB* const adapter = lpt.activeAdapter()) {
        TZVK_SPIUSB& usb = *adapter;
        const uint8_t d = uint8_t(del & 0xFF);
        for (int i = 0; i < 8; ++i) {
            const uint16_t w = spiWord(i, regs[size_t(i)]);
            std::array<uint8_t, 8> data{};
            data[0] = uint8_t(w >> 8);
            data[1] = uint8_t(w);
            usb.SpiWrite(0x01, d, 16, data);
            std::array<uint8_t, 8> reply{};
            usb.SpiRead(0x01, d, 12, reply);
            readBack[size_t(i)] = uint16_t(reply[0] | ((reply[1] & 0x0F) << 8));
        }
    } else {
        for (int i = 0; i < 7; ++i) {
            const uint16_t w = spiWord(i, regs[size_t(i)]);
            for (int b = 15; b >= 0; --b) {
                lpt.setSdta((w >> b) & 1);
                lpt.sclkPulse(1);
            }
            lpt.sdenPulse();
        }
        if (ldOut) measureLockTime();
    }
    if (realtime) backToNormalPriority();
}

uint16_t ChipController::runRegisterRead(int address) {
    const int a = address & 7;
    Lpt& lpt = *lpt_;
    if (TZVK_SPIUSB* const adapter = lpt.activeAdapter()) {
        TZVK_SPIUSB& usb = *adapter;
        const uint8_t d = uint8_t(del & 0xFF);
        std::array<uint8_t, 8> data{};
        data[0] = uint8_t(readRequest(a) << 4);
        usb.SpiWrite(0x01, d, 4, data);
        std::array<uint8_t, 8> reply{};
        usb.SpiRead(0x01, d, 12, reply);
        const uint16_t v = uint16_t((reply[0] << 4) | (reply[1] >> 4));
        readBack[size_t(a)] = v;
        return v;
    }
    const int req = readRequest(a);
    for (int b = 3; b >= 0; --b) {
        lpt.setSdta((req >> b) & 1);
        lpt.sclkPulse(1);
    }
    lpt.sdenPulse();
    uint16_t result = 0;
    for (int i = 0; i < 12; ++i) {
        if (lpt.readMfo()) result = uint16_t(result | (1u << i));
        lpt.stepWait();
        lpt.sclkPulse(1);
    }
    return result;
}

void ChipController::measureLockTime() {
    Lpt& lpt = *lpt_;
    Clock& clock = lpt.clock();
    uint64_t start = clock.now();
    if (!lpt.readMfo()) return;
    while (!lpt.readMfo() && clock.now() - start < kLockBound) {
    }
    start = clock.now();
    uint64_t last = start;
    for (;;) {
        const bool high = lpt.readMfo();
        last = clock.now();
        if (!high || last - start >= kLockBound) break;
    }
    float ms = float(double(last - start) * counterPeriodMs - 0.002);
    if (ms >= 20.0f) ms = 19.99f;
    lastLockTime_ = ms;
    lpt.microsecondWait(1);
    observer_->showLockTime(fixedText(double(ms), 2), ms > 10.0f);
    // With MFO carrying lock detect the chip cannot shift the status word out: every bit
    // of this read is the lock-detect pin, which is low once the synthesizer has locked.
    // Taking bit 10 as it comes would show "locked" for a synthesizer that never locks.
    const uint16_t status = runRegisterRead(7);
    if (bitTest(regs[1], 11)) observer_->showLockFlag(bitTest(status, 10) ? "no lock" : "locked");
}

StatusDecoding decodeStatus(uint16_t word, bool showLd) {
    static const char* const kState[] = {"tuned", "tune up", "tune dn", "CCO fail"};
    static const char* const kRssi[] = {"low", "in range", "not allowed", "high"};
    StatusDecoding d;
    d.IFFVAL = std::to_string(word & 0xFF);
    d.IFFSTATE = kState[(word >> 8) & 3];
    const bool ldrssil = bitTest(word, 10);
    const bool rssih = bitTest(word, 11);
    if (showLd) {
        d.LD = ldrssil ? "locked" : "no lock";
        d.RSSI = rssih ? "high" : "in range";
    } else {
        d.RSSI = kRssi[(ldrssil ? 1 : 0) + (rssih ? 2 : 0)];
    }
    return d;
}

}  // namespace zvk
