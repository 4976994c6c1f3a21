// SPDX-License-Identifier: MIT
#include "chip/ChipController.h"

#include <algorithm>

#include "base/Numbers.h"
#include "transport/Priority.h"

namespace zvk {

namespace {

// Marks a transfer as running for as long as it lives, and runs what was asked for
// meanwhile when the outermost transfer ends. The transport is told where the transfer
// begins and ends (a shared parallel port is held for that long).
class TransferScope {
  public:
    TransferScope(bool& busy, SpiLink& link) : busy_(busy), link_(link) {
        // The transport first: a front end may end the transfer right there (the port is
        // held elsewhere), and nothing must stay marked as running then.
        link_.beginTransfer();
        busy_ = true;
    }
    ~TransferScope() {
        busy_ = false;
        link_.endTransfer();
    }
    TransferScope(const TransferScope&) = delete;
    TransferScope& operator=(const TransferScope&) = delete;

  private:
    bool& busy_;
    SpiLink& link_;
};

constexpr uint64_t kLockBound = 100000;  // counter counts: 100 ms at 1 MHz

}  // namespace

ChipController::ChipController(SpiLink& link) : link_(&link) {}

void ChipController::writeCycle() {
    if (busy_) {
        pendingWrite_ = true;
        return;
    }
    {
        TransferScope scope(busy_, *link_);
        runWriteCycle();
    }
    notePending();
    drainPending();
}

std::optional<uint16_t> ChipController::registerRead(int address) {
    readSkipped_ = false;
    if (busy_) return std::nullopt;
    std::optional<uint16_t> value;
    {
        TransferScope scope(busy_, *link_);
        value = runRegisterRead(address);
    }
    drainPending();
    return value;
}

bool ChipController::sendPending() {
    if (busy_ || !writePending()) return !writePending();
    {
        TransferScope scope(busy_, *link_);
        if (unsentWrite_) runWriteCycle();
        if (unsentModsel_) runModsel();
    }
    notePending();
    drainPending();
    return !writePending();
}

void ChipController::notePending() {
    if (writePending() == pendingTold_) return;
    pendingTold_ = writePending();
    observer_->writePending(pendingTold_);
}

void ChipController::runModsel() {
    if (link_->transferSkipped()) {
        unsentModsel_ = true;
        return;
    }
    unsentModsel_ = false;
    link_->modselLine(fieldValue(regs_, field("MODSEL")) != 0);
}

void ChipController::requestRead(int address, std::function<void(std::optional<uint16_t>)> answer) {
    pendingReads_.push_back({address, std::move(answer)});
    drainPending();
}

void ChipController::afterChange() {
    ++afterChangeRuns_;
    observer_->redraw(regs_);
    if (busy_) {
        if (sendAlways_) pendingWrite_ = true;
        pendingModsel_ = true;
        return;
    }
    {
        TransferScope scope(busy_, *link_);
        if (sendAlways_) runWriteCycle();
        runModsel();
    }
    notePending();
    drainPending();
}

void ChipController::drainPending() {
    // The merged write first, so that a queued read sees the image the program holds.
    while (!busy_ && (pendingWrite_ || pendingModsel_ || !pendingReads_.empty())) {
        if (pendingWrite_ || pendingModsel_) {
            TransferScope scope(busy_, *link_);
            if (pendingWrite_) {
                pendingWrite_ = false;
                runWriteCycle();
            }
            if (pendingModsel_) {
                pendingModsel_ = false;
                runModsel();
            }
            notePending();
            continue;
        }
        QueuedRead read = std::move(pendingReads_.front());
        pendingReads_.pop_front();
        std::optional<uint16_t> word;
        {
            TransferScope scope(busy_, *link_);
            word = runRegisterRead(read.address);
        }
        read.answer(word);
    }
}

void ChipController::runWriteCycle() {
    // Nothing reaches the board: the image goes out when the port can be had again.
    if (link_->transferSkipped()) {
        unsentWrite_ = true;
        return;
    }
    unsentWrite_ = false;
    ++writeCycles_;
    lastLockTime_.reset();
    const bool ldOut = mfoSelection() == kMfoLdOut;
    observer_->showLockTimeRow(ldOut);
    const RealtimePriority priority(realtime_);
    if (auto refused = takeRealtimeRefusal()) observer_->realtimeRefused(*refused);
    SpiLink& link = *link_;
    link.spiselLine(spiMode_);
    if (!spiMode_) {
        link.abcPattern(presetIndex_);
    } else {
        link.setDelay(del_);
        const int n = link.registersPerCycle();
        for (int i = 0; i < n; ++i) {
            const uint16_t frame = spiWord(i, regs_[size_t(i)]);
            if (Trace* t = link.trace())
                t->record({.kind = TraceEvent::Kind::Frame,
                           .a = frame,
                           .b = uint16_t(i),
                           .c = uint16_t(regs_[size_t(i)] & 0xFFF)});
            if (const auto back = link.writeWord(frame)) readBack_[size_t(i)] = *back;
        }
        if (ldOut && (link.timesLockDetect() || timeEveryLink_)) measureLockTime();
    }
}

std::optional<uint16_t> ChipController::runRegisterRead(int address, bool lockSample) {
    const int a = address & 7;
    SpiLink& link = *link_;
    readSkipped_ = link.transferSkipped();
    if (readSkipped_) return std::nullopt;
    link.setDelay(del_);
    const SpiLink::ReadResult r = link.readWord(readRequest(a));
    if (r.readBack) readBack_[size_t(a)] = r.word;
    if (Trace* t = link.trace())
        t->record({.kind = TraceEvent::Kind::ReadWord,
                   .a = uint16_t(a),
                   .b = r.word,
                   .c = uint16_t(lockSample ? 1 : 0)});
    return r.word;
}

void ChipController::measureLockTime() {
    SpiLink& link = *link_;
    Clock& clock = link.lines().clock();
    uint64_t start = clock.now();
    if (!link.readMfo()) return;
    while (!link.readMfo() && clock.now() - start < kLockBound) {
    }
    start = clock.now();
    uint64_t last = start;
    uint64_t samples = 0;
    for (;;) {
        const bool high = link.readMfo();
        ++samples;
        last = clock.now();
        if (!high || last - start >= kLockBound) break;
    }
    float ms = float(double(last - start) * counterPeriodMs_ - 0.002);
    const bool capped = ms >= 20.0f || last - start >= kLockBound;
    if (ms >= 20.0f) ms = 19.99f;
    lastLockTime_ =
        LockTime{.ms = double(ms),
                 .capped = capped,
                 .resolutionMs = std::max(
                     counterPeriodMs_, double(last - start) * counterPeriodMs_ / double(samples)),
                 .samples = samples,
                 .startCount = start};
    link.lines().microsecondWait(1);
    observer_->showLockTime(fixedText(double(ms), 2), ms > 10.0f);
    // With MFO carrying lock detect the chip cannot shift the status word out: every bit
    // of this read is the lock-detect pin, which is low once the synthesizer has locked.
    // Taking bit 10 as it comes would show "locked" for a synthesizer that never locks.
    const auto status = runRegisterRead(7, true);
    if (status && fieldValue(regs_, field("SHOWLD")) != 0)
        observer_->showLockFlag(lockSampleFlag(*status));
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
