// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <functional>

#include "base/Clock.h"

namespace zvk {

// One thing that went over the wire, recorded where it happened. Which of a, b and c
// mean what depends on the kind.
struct TraceEvent {
    enum class Kind : uint8_t {
        Lines,      // a: the byte on the port's data register (SDEN D0, SCLK D1, SDTA D2,
                    //    SPISEL D3, MODSEL D4)
        Mfo,        // a: the MFO level sampled (1 high)
        Command,    // a: the adapter's opcode, b: 1 when its reply came back;
                    //    request and reply: the packets' first bytes
        Frame,      // a: the 16-bit frame, b: the register, c: its 12-bit value
        ReadWord,   // a: the register read, b: the word read back, c: 1 when it sampled
                    //    the lock-detect pin (MFO at LD out) rather than a status word
        ChipLatch,  // the virtual chip's own view: a: the frame it latched
        Violation,  // the virtual board saw a protocol violation: a: its ViolationKind,
                    //    b and c: the low and high 16 bits of its frame number
    };
    static constexpr int kPacketHead = 12;

    Kind kind;
    uint64_t ticks = 0;  // the program clock's counts
    uint16_t a = 0, b = 0, c = 0;
    std::array<uint8_t, kPacketHead> request{};
    std::array<uint8_t, kPacketHead> reply{};
};

// The recorder the transports report to while a trace runs. Nothing is recorded while no
// recorder is attached: the transports test one pointer.
class Trace {
  public:
    // keep: how many of the newest events stay in memory (0: all of them).
    explicit Trace(Clock& clock, size_t keep = 0);

    void record(TraceEvent event);
    // The same for an event of one value: what the line layer records on every access,
    // passed in registers so that a caller's hot path builds no event of its own.
    void record(TraceEvent::Kind kind, uint16_t a);
    // Every event as it is recorded (a file or a window that shows them as they come).
    void setListener(std::function<void(const TraceEvent&)> listener) {
        listener_ = std::move(listener);
    }

    const std::deque<TraceEvent>& events() const { return events_; }
    uint64_t recorded() const { return recorded_; }
    uint64_t startTicks() const { return start_; }
    uint64_t frequency() const { return frequency_; }
    // Microseconds since the start of the trace.
    double microseconds(const TraceEvent& e) const;

  private:
    void store(TraceEvent& event);

    Clock* clock_;
    size_t keep_;
    uint64_t start_;
    uint64_t frequency_;
    uint64_t recorded_ = 0;
    std::deque<TraceEvent> events_;
    std::function<void(const TraceEvent&)> listener_;
};

}  // namespace zvk
