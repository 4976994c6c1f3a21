// SPDX-License-Identifier: MIT
#include "chip/ChipController.h"

#include "base/Numbers.h"
#include "transport/Priority.h"

namespace zvk {

namespace {

// Marks a transfer as running for as long as it lives, and runs what was asked for
// meanwhile when the outermost transfer ends. The parallel port, when it carries the
// transfer, is held for as long as it runs.
class TransferScope {
  public:
    TransferScope(bool& busy, Lpt& lpt) : busy_(busy) {
        // The port first: a front end may end the transfer right there (the port is held
        // elsewhere), and nothing must stay marked as running then.
        if (lpt.activeAdapter() == nullptr) port_.emplace(lpt.io());
        busy_ = true;
    }
    ~TransferScope() { busy_ = false; }
    TransferScope(const TransferScope&) = delete;
    TransferScope& operator=(const TransferScope&) = delete;

  private:
    bool& busy_;
    std::optional<PortTransfer> port_;
};

constexpr uint64_t kLockBound = 100000;  // counter counts: 100 ms at 1 MHz

}  // namespace

ChipController::ChipController(Lpt& lpt) : lpt_(&lpt), link_(lpt) {}

void ChipController::writeCycle() {
    if (busy_) {
        pendingWrite_ = true;
        return;
    }
    {
        TransferScope scope(busy_, *lpt_);
        runWriteCycle();
    }
    drainPending();
}

std::optional<uint16_t> ChipController::registerRead(int address) {
    if (busy_) return std::nullopt;
    uint16_t value;
    {
        TransferScope scope(busy_, *lpt_);
        value = runRegisterRead(address);
    }
    drainPending();
    return value;
}

void ChipController::requestRead(int address, std::function<void(uint16_t)> answer) {
    pendingReads_.push_back({address, std::move(answer)});
    drainPending();
}

void ChipController::afterChange() {
    observer_->redraw(regs_);
    if (busy_) {
        if (sendAlways_) pendingWrite_ = true;
        pendingModsel_ = true;
        return;
    }
    {
        TransferScope scope(busy_, *lpt_);
        if (sendAlways_) runWriteCycle();
        lpt_->modselLine(fieldValue(regs_, field("MODSEL")) != 0);
    }
    drainPending();
}

void ChipController::drainPending() {
    // The merged write first, so that a queued read sees the image the program holds.
    while (!busy_ && (pendingWrite_ || pendingModsel_ || !pendingReads_.empty())) {
        if (pendingWrite_ || pendingModsel_) {
            TransferScope scope(busy_, *lpt_);
            if (pendingWrite_) {
                pendingWrite_ = false;
                runWriteCycle();
            }
            if (pendingModsel_) {
                pendingModsel_ = false;
                lpt_->modselLine(fieldValue(regs_, field("MODSEL")) != 0);
            }
            continue;
        }
        QueuedRead read = std::move(pendingReads_.front());
        pendingReads_.pop_front();
        uint16_t word;
        {
            TransferScope scope(busy_, *lpt_);
            word = runRegisterRead(read.address);
        }
        read.answer(word);
    }
}

void ChipController::runWriteCycle() {
    ++writeCycles_;
    const bool ldOut = mfoSelection() == kMfoLdOut;
    observer_->showLockTimeRow(ldOut);
    const RealtimePriority priority(realtime_);
    if (auto refused = takeRealtimeRefusal()) observer_->realtimeRefused(*refused);
    Lpt& lpt = *lpt_;
    lpt.spiselLine(spiMode_);
    if (!spiMode_) {
        lpt.abcPattern(presetIndex_);
    } else {
        link_.setDelay(del_);
        const int n = link_.registersPerCycle();
        for (int i = 0; i < n; ++i) {
            const uint16_t frame = spiWord(i, regs_[size_t(i)]);
            if (Trace* t = lpt.trace())
                t->record({.kind = TraceEvent::Kind::Frame,
                           .a = frame,
                           .b = uint16_t(i),
                           .c = uint16_t(regs_[size_t(i)] & 0xFFF)});
            if (const auto back = link_.writeWord(frame)) readBack_[size_t(i)] = *back;
        }
        if (ldOut && link_.timesLockDetect()) measureLockTime();
    }
}

uint16_t ChipController::runRegisterRead(int address, bool lockSample) {
    const int a = address & 7;
    link_.setDelay(del_);
    const SpiLink::ReadResult r = link_.readWord(readRequest(a));
    if (r.readBack) readBack_[size_t(a)] = r.word;
    if (Trace* t = lpt_->trace())
        t->record({.kind = TraceEvent::Kind::ReadWord,
                   .a = uint16_t(a),
                   .b = r.word,
                   .c = uint16_t(lockSample ? 1 : 0)});
    return r.word;
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
    float ms = float(double(last - start) * counterPeriodMs_ - 0.002);
    if (ms >= 20.0f) ms = 19.99f;
    lastLockTime_ = ms;
    lpt.microsecondWait(1);
    observer_->showLockTime(fixedText(double(ms), 2), ms > 10.0f);
    // With MFO carrying lock detect the chip cannot shift the status word out: every bit
    // of this read is the lock-detect pin, which is low once the synthesizer has locked.
    // Taking bit 10 as it comes would show "locked" for a synthesizer that never locks.
    const uint16_t status = runRegisterRead(7, true);
    if (fieldValue(regs_, field("SHOWLD")) != 0) observer_->showLockFlag(lockSampleFlag(status));
}

std::string lockSampleFlag(uint16_t word) {
    return statusField(word, field("LDRSSIL")) != 0 ? "no lock" : "locked";
}

StatusDecoding decodeStatus(uint16_t word, bool showLd) {
    static const char* const kState[] = {"tuned", "tune up", "tune dn", "CCO fail"};
    static const char* const kRssi[] = {"low", "in range", "not allowed", "high"};
    StatusDecoding d;
    d.IFFVAL = std::to_string(statusField(word, field("IFFVAL")));
    d.IFFSTATE = kState[statusField(word, field("IFFSTATE"))];
    const bool ldrssil = statusField(word, field("LDRSSIL")) != 0;
    const bool rssih = statusField(word, field("RSSIH")) != 0;
    if (showLd) {
        d.LD = ldrssil ? "locked" : "no lock";
        d.RSSI = rssih ? "high" : "in range";
    } else {
        d.RSSI = kRssi[(ldrssil ? 1 : 0) + (rssih ? 2 : 0)];
    }
    return d;
}

}  // namespace zvk
