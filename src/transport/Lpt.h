// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <string>

#include "base/Clock.h"
#include "transport/PortIo.h"
#include "transport/Trace.h"

namespace zvk {

// One transfer's hold on the port: a shared port is claimed for its accesses only.
class PortTransfer {
  public:
    explicit PortTransfer(PortIo& io) : io_(io) { io_.beginTransfer(); }
    ~PortTransfer() { io_.endTransfer(); }
    PortTransfer(const PortTransfer&) = delete;
    PortTransfer& operator=(const PortTransfer&) = delete;

  private:
    PortIo& io_;
};

// What the parallel port and the adapter share of the five lines: the byte they were last
// given, by whichever transport gave it, and the pace of the line sequence. A trace that
// starts after a switch of transport begins with the lines as the other one left them.
class LineState {
  public:
    explicit LineState(Clock& clock) : clock_(&clock) {}

    Clock& clock() { return *clock_; }
    void setMessagePump(MessagePump pump) { pump_ = std::move(pump); }
    // Step delay in microseconds; waits use it truncated toward zero (0.01 gives 0).
    void setStepDelay(double us) { stepDelay_ = us; }
    double stepDelay() const { return stepDelay_; }
    // Runs the message pump at least once, then until us have passed on the clock.
    void microsecondWait(uint32_t us);
    void stepWait() { microsecondWait(uint32_t(stepDelay_)); }

    uint8_t lineByte() const { return lineByte_; }
    void setLineByte(uint8_t byte) { lineByte_ = byte; }

  private:
    Clock* clock_;
    MessagePump pump_;
    double stepDelay_ = 0.01;
    uint8_t lineByte_ = 0;
};

// The parallel port's line operations, which its transport (LptLink) builds words, line
// settings and MFO samples from. Only the port: the adapter is another transport.
class Lpt {
  public:
    // Pin map: fixed line numbers (the settings file stores them but never reads them).
    static constexpr int SPICLK = 1;
    static constexpr int SPIDTA = 2;
    static constexpr int SDEN = 0;
    static constexpr int Trig = 7;
    static constexpr int kDefaultBase = kDefaultPortBase;

    Lpt(PortIo& io, Clock& clock);

    void setBase(int base);
    // The user's change of base: taken only when the new base's driver can be had (or
    // nothing worked before); false keeps the old base. why gets the new base's reasons.
    bool changeBase(int base, std::string* why);
    int base() const { return base_; }
    PortIo& io() { return *io_; }
    const PortIo& io() const { return *io_; }
    LineState& lineState() { return lines_; }
    void setMessagePump(MessagePump pump) { lines_.setMessagePump(std::move(pump)); }
    Clock& clock() { return lines_.clock(); }
    void setStepDelay(double us) { lines_.setStepDelay(us); }
    double stepDelay() const { return lines_.stepDelay(); }

    // Start-up of the port, after the driver was (or was not) opened: a base of 0
    // becomes the default base; with the driver open the lines are reset (resetLines).
    void startUp(bool driverOpen);
    // startUp without the reset, for a start-up whose reset goes to the adapter instead.
    void setDriverOpen(bool driverOpen);
    bool driverOpen() const { return driverOpen_; }
    // All data lines low, then 3 into the control register.
    void resetLines();

    void writeByte(uint16_t address, uint8_t value);
    uint8_t readByte(uint16_t address);

    void setPin(int pin);
    void clearPin(int pin);
    void sclkPulse(int n = 1);
    void sdenPulse();
    void setSdta(int level);
    // True when the MFO pin is high (status bit 7 reads 0: the port inverts BUSY).
    bool readMfo();

    void microsecondWait(uint32_t us) { lines_.microsecondWait(us); }
    void stepWait() { lines_.stepWait(); }

    // The byte the lines were last given (the data register's, or the adapter's line
    // port's when the adapter wrote last).
    uint8_t lineByte() const { return lines_.lineByte(); }

    // The recorder of what goes over the wire; null when no trace runs.
    void setTrace(Trace* trace) { trace_ = trace; }
    Trace* trace() const { return trace_; }

  private:
    void changePin(int pin, bool set);

    PortIo* io_;
    LineState lines_;
    int base_ = kDefaultBase;
    bool driverOpen_ = false;
    Trace* trace_ = nullptr;
};

}  // namespace zvk
