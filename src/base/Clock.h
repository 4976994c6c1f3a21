// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

namespace zvk {

// The high-resolution counter of the transport: microseconds, so its frequency is
// 1,000,000 counts per second. Waits, the lock-time measurement and the virtual chip
// take one injectable clock so that timing paths run deterministically under test.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual uint64_t now() = 0;
    virtual uint64_t frequency() const { return 1000000; }
    // Returns once now() has reached deadline. A long wait sleeps here instead of reading
    // the counter in a loop; a clock without a sleep of its own can only count.
    virtual void sleepUntil(uint64_t deadline) {
        while (now() < deadline) {
        }
    }
};

class SteadyClock : public Clock {
  public:
    uint64_t now() override {
        return uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count());
    }
    void sleepUntil(uint64_t deadline) override {
        const uint64_t t = now();
        if (t < deadline) std::this_thread::sleep_for(std::chrono::microseconds(deadline - t));
    }
};

// A clock that moves forward by a fixed step every time it is read: a busy-wait loop
// always terminates and a measurement yields the same count on every run.
class SteppingClock : public Clock {
  public:
    explicit SteppingClock(uint64_t step = 1) : step_(step) {}
    uint64_t now() override {
        t_ += step_;
        return t_;
    }
    void advance(uint64_t counts) { t_ += counts; }
    // Time passes at once: a test's wait costs nothing and ends exactly at its deadline.
    void sleepUntil(uint64_t deadline) override {
        if (t_ < deadline) t_ = deadline;
    }
    uint64_t peek() const { return t_; }

  private:
    uint64_t t_ = 0;
    uint64_t step_;
};

// Lets the window's message loop run inside a wait; the command-line tool passes none.
using MessagePump = std::function<void()>;
// Runs the front end's message loop for about ms milliseconds without using the processor
// (the window's event loop, which sleeps until an event or the time comes).
using IdleWait = std::function<void(uint32_t ms)>;

}  // namespace zvk
