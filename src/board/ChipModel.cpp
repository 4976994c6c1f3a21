// SPDX-License-Identifier: MIT
#include "board/ChipModel.h"

#include <algorithm>
#include <cmath>

namespace zvk {

namespace {

constexpr int kMfoSpiOut = 1;
constexpr int kMfoLogic1 = 3;
constexpr int kMfoLdOut = 8;

}  // namespace

ChipModel::ChipModel(Clock& clock, const std::array<uint16_t, 8>& powerOn)
    : clock_(&clock), regs_(powerOn) {}

void ChipModel::powerOn(const std::array<uint16_t, 8>& image) {
    regs_ = image;
    lines_ = 0;
    shift_ = 0;
    bitsSinceSden_ = 0;
    reading_ = false;
    readBit_ = 0;
    readWord_ = 0;
    settleUntil_ = 0;
    settling_ = false;
    sdenEdges_ = 0;
    clearTrace();
    clearViolations();
}

void ChipModel::violation(ViolationKind kind, uint64_t frame) {
    const uint64_t ticks = clock_->now();
    const uint64_t frequency = clock_->frequency();
    const Violation v{
        kind, frame,
        frequency == 1000000 ? ticks : uint64_t(double(ticks) * 1e6 / double(frequency))};
    violations_.push_back(v);
    if (trace_ != nullptr)
        trace_->record({.kind = TraceEvent::Kind::Violation,
                        .a = uint16_t(kind),
                        .b = uint16_t(frame & 0xFFFF),
                        .c = uint16_t((frame >> 16) & 0xFFFF)});
    if (violationListener_) violationListener_(v);
}

void ChipModel::judge(uint8_t prev, uint8_t lines) {
    if (!(prev & kSpisel) || !(lines & kSpisel)) return;
    const uint8_t changed = prev ^ lines;
    const bool clock = changed & kSclk, enable = changed & kSden;
    if (clock && (lines & kSclk) && (changed & kSdta))
        violation(ViolationKind::DataWithClockEdge, sdenEdges_);
    if (clock && enable) {
        violation(ViolationKind::EnableWithClock, sdenEdges_);
    } else if (enable && (lines & kSclk)) {
        violation(ViolationKind::ClockHighAtEnableEdge, sdenEdges_);
    } else if (clock && (lines & kSden)) {
        violation(ViolationKind::ClockWhileEnabled, sdenEdges_);
    }
}

void ChipModel::setLines(uint8_t lines) {
    const uint8_t prev = lines_;
    lines_ = lines;
    if (prev != lines) judge(prev, lines);
    const uint8_t rose = uint8_t(~prev & lines);
    const uint8_t fell = uint8_t(prev & ~lines);

    if ((prev ^ lines) & (kSpisel | kModsel))
        selectHistory_.push_back(uint8_t(lines & (kSpisel | kModsel)));
    if (rose & kSclk) {
        shift_ = uint16_t((shift_ << 1) | ((lines & kSdta) ? 1 : 0));
        // Saturates: only "enough bits for a frame" matters, never the exact count.
        if (bitsSinceSden_ < 16) ++bitsSinceSden_;
    }
    if ((fell & kSclk) && reading_ && ((regs_[3] >> 8) & 0xF) == kMfoSpiOut) ++readBit_;
    if (rose & kSden) onSdenRise((prev & kSpisel) && (lines & kSpisel));
}

void ChipModel::onSdenRise(bool judged) {
    const int bits = bitsSinceSden_;
    bitsSinceSden_ = 0;
    const uint64_t frame = sdenEdges_++;
    if ((shift_ & 1) == 0) {
        if (bits < 16) {
            ++ignoredEdges_;
            if (judged) violation(ViolationKind::ShortFrame, frame);
            return;
        }
        if (!(lines_ & kSpisel)) violation(ViolationKind::LatchWithoutSpisel, frame);
        frames_.push_back(shift_);
        if (trace_ != nullptr) trace_->record({.kind = TraceEvent::Kind::ChipLatch, .a = shift_});
        frameLines_.push_back(uint8_t(lines_ & (kSpisel | kModsel)));
        reading_ = false;
        latch((shift_ >> 1) & 7, uint16_t(shift_ >> 4));
        return;
    }
    if (bits < 4) {
        ++ignoredEdges_;
        if (judged) violation(ViolationKind::ShortFrame, frame);
        return;
    }
    const uint8_t request = uint8_t(shift_ & 0xF);
    readRequests_.push_back(request);
    const int address = (request >> 1) & 7;
    readWord_ = address == 7 ? statusWord() : uint16_t(regs_[size_t(address)] & 0xFFF);
    reading_ = true;
    readBit_ = 0;
}

void ChipModel::latch(int address, uint16_t value) {
    if (address == 7) return;  // the status register is computed, not written
    uint16_t& reg = regs_[size_t(address)];
    if (address < 2 || address > 4 || reg == value) {
        reg = value;
        return;
    }
    const std::optional<double> before = lo1Mhz();
    reg = value;
    const std::optional<double> after = lo1Mhz();
    // A synthesizer that had or gets no LO1 at all moves across the whole VCO range.
    const double step = (before && after) ? std::fabs(*after - *before) : kVcoMaxMhz;
    const double us = double(kSettleBaseUs) + step * double(kSettlePerMhzUs);
    // A small change while a large step still settles does not shorten the settling.
    const uint64_t until = clock_->now() + uint64_t(std::min(us, double(kSettleMaxUs)));
    settleUntil_ = std::max(settleUntil_, until);
    settling_ = true;
}

std::optional<double> ChipModel::lo1Mhz() const {
    const unsigned r = regs_[4] & 0x7FF;
    if (r == 0) return std::nullopt;
    const unsigned a = regs_[2] & 0x1F;
    const unsigned n = ((regs_[2] >> 5) & 0x7F) | ((regs_[3] & 0xF) << 7);
    return kCrystalMhz / double(r) * double(32 * n + a);
}

bool ChipModel::synthesizerRuns() const {
    const int opmode = regs_[0] & 3;
    return opmode == 1 || opmode == 3;
}

bool ChipModel::locked() const {
    if (!synthesizerRuns()) return false;
    const std::optional<double> f = lo1Mhz();
    if (!f || *f < kVcoMinMhz || *f > kVcoMaxMhz) return false;
    if (settling_) {
        if (clock_->now() < settleUntil_) return false;
        settling_ = false;
    }
    return true;
}

bool ChipModel::mfo() {
    switch ((regs_[3] >> 8) & 0xF) {
        case kMfoSpiOut:
            return reading_ && readBit_ < 12 && ((readWord_ >> readBit_) & 1) != 0;
        case kMfoLogic1:
            return true;
        case kMfoLdOut:
            return !locked();
        default:
            return false;
    }
}

uint16_t ChipModel::statusWord() const {
    const unsigned riff = regs_[5] & 0x7FF;
    const int preset = regs_[6] & 0xFF;
    const bool halted = (regs_[6] >> 8) & 1;
    const bool autoAdjust = (regs_[6] >> 9) & 1;

    unsigned state = 3;  // CCO fail
    int value = preset;
    if (autoAdjust && riff != 0) {
        const double fIff = kCrystalMhz / double(riff) * 136.8;
        if (fIff >= 1.0 && fIff <= 4.0) {
            const double ratio = fIff / kIffNominalMhz;
            state = ratio < 0.95 ? 1 : ratio > 1.05 ? 2 : 0;
            if (!halted)
                value = std::clamp(preset + int(std::lround(100.0 * (ratio - 1.0))), 0, 255);
        }
    }

    const bool receiving = (regs_[0] & 3) == 1;
    const bool aboveLow = receiving && signalDbm_ >= kRssiLowDbm;
    const bool high = receiving && signalDbm_ > kRssiHighDbm;
    const bool showLd = (regs_[1] >> 11) & 1;
    const bool ldrssil = showLd ? locked() : aboveLow;

    return uint16_t(unsigned(value) | (state << 8) | (ldrssil ? 0x400u : 0u) |
                    (high ? 0x800u : 0u));
}

std::array<uint16_t, 8> ChipModel::latched() const {
    std::array<uint16_t, 8> r = regs_;
    r[7] = statusWord();
    return r;
}

int ChipModel::abcPreset() const {
    if (lines_ & kSpisel) return -1;
    return ((lines_ & kSclk) ? 1 : 0) | ((lines_ & kSden) ? 2 : 0) | ((lines_ & kSdta) ? 4 : 0);
}

void ChipModel::clearTrace() {
    frames_.clear();
    frameLines_.clear();
    readRequests_.clear();
    selectHistory_.clear();
    ignoredEdges_ = 0;
}

}  // namespace zvk
