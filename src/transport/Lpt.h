// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <string>

#include "base/Clock.h"
#include "transport/PortIo.h"
#include "transport/Trace.h"

namespace zvk {

class TZVK_SPIUSB;

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

// The parallel-port line operations the write cycle and the register read are built
// from. Every byte write goes to the USB adapter's line port while the USB-in-use flag
// is set, so the SPISEL line, the MODSEL line and the ABC pattern behave the same on
// both transports.
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
    void setAdapter(TZVK_SPIUSB* adapter) { adapter_ = adapter; }
    TZVK_SPIUSB* adapter() const { return adapter_; }
    // The adapter the transfers go through: null while the USB-in-use flag is clear.
    TZVK_SPIUSB* activeAdapter() const { return usbInUse_ ? adapter_ : nullptr; }
    void setUsbInUse(bool inUse) { usbInUse_ = inUse; }
    bool usbInUse() const { return usbInUse_; }
    void setMessagePump(MessagePump pump) { pump_ = std::move(pump); }
    Clock& clock() { return *clock_; }
    // Step delay in microseconds; waits use it truncated toward zero (0.01 gives 0).
    void setStepDelay(double us) { stepDelay_ = us; }
    double stepDelay() const { return stepDelay_; }

    // Start-up of the port, after the driver was (or was not) opened: a base of 0
    // becomes the default base; with the driver open all data lines go low and the control
    // register gets 3.
    void startUp(bool driverOpen);
    bool driverOpen() const { return driverOpen_; }

    // Byte access with the adapter dispatch.
    void writeByte(uint16_t address, uint8_t value);
    uint8_t readByte(uint16_t address);

    void setPin(int pin);
    void clearPin(int pin);
    void sclkPulse(int n = 1);
    void sdenPulse();
    void setSdta(int level);
    // True when the MFO pin is high (status bit 7 reads 0: the port inverts BUSY; the
    // adapter's ReadInput answers 0 for high).
    bool readMfo();

    // The three line settings each compose the whole line byte from zero.
    void spiselLine(bool on);
    void abcPattern(int presetIndex);
    void modselLine(bool on);

    void microsecondWait(uint32_t us);
    void stepWait() { microsecondWait(uint32_t(stepDelay_)); }

    // The byte last written to the data register or the adapter's line port.
    uint8_t lineByte() const { return lineByte_; }

    // The recorder of what goes over the wire; null when no trace runs.
    void setTrace(Trace* trace) { trace_ = trace; }
    Trace* trace() const { return trace_; }

  private:
    void changePin(int pin, bool set);

    PortIo* io_;
    Clock* clock_;
    TZVK_SPIUSB* adapter_ = nullptr;
    MessagePump pump_;
    int base_ = kDefaultBase;
    bool usbInUse_ = false;
    bool driverOpen_ = false;
    double stepDelay_ = 0.01;
    uint8_t lineByte_ = 0;
    Trace* trace_ = nullptr;
};

}  // namespace zvk
