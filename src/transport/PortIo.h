// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "transport/Parports.h"

namespace zvk {

// The parallel port's base address wherever the settings name none.
inline constexpr int kDefaultPortBase = 0x378;
// A base must leave room for the status and control registers above it inside the
// 16-bit I/O space.
inline constexpr int kMinPortBase = 0x0001;
inline constexpr int kMaxPortBase = 0xFFFD;
// The base a stored value stands for: 0 is what the settings file holds for "unset", and
// a value no port can have is taken the same way rather than opened.
constexpr bool validPortBase(long long base) {
    return base >= kMinPortBase && base <= kMaxPortBase;
}
constexpr int effectiveBase(int stored) {
    return validPortBase(stored) ? stored : kDefaultPortBase;
}

// Byte access to I/O ports: the stand-in for the port-I/O driver's read and write calls.
class PortIo {
  public:
    virtual ~PortIo() = default;
    virtual uint8_t readPort(uint16_t address) = 0;
    virtual void writePort(uint16_t address, uint8_t value) = 0;
    virtual std::string name() const = 0;
    // Told whenever the parallel-port base address changes, before the next access.
    virtual void useBase(int /*base*/) {}
    // A change of base asked for by the user: the new base is taken only when it can be
    // had, or when nothing worked before; false keeps the old one. why gets the reasons
    // when the new base's driver could not be had.
    virtual bool switchBase(int base, std::string* /*why*/) {
        useBase(base);
        return true;
    }
    // The accesses between these two form one transfer (a write cycle, a register read, a
    // line write): a shared port is held only for that long. They nest.
    virtual void beginTransfer() {}
    virtual void endTransfer() {}
};

// Where no driver could be had: writes go nowhere and reads return a fixed value, so the
// transfers still run to their end without touching anything.
class ClosedPortIo : public PortIo {
  public:
    uint8_t readPort(uint16_t) override { return 0xFF; }
    void writePort(uint16_t, uint8_t) override {}
    std::string name() const override { return "none"; }
};

// Where the hardware backends look for their devices. The defaults are the system's;
// tests point them at a scratch directory.
struct PortIoPaths {
    std::string procParport = "/proc/sys/dev/parport";  // one directory per port
    std::string devDir = "/dev";                        // holds parportN
    std::string devPort = "/dev/port";
    std::string ioports = "/proc/ioports";  // who owns which I/O range
    bool directIo = true;                   // try ioperm/inb/outb
};

// Why raw port access (ioperm, /dev/port) to the three registers at base would risk
// another device, given the text of /proc/ioports: one of its innermost ranges that is no
// parallel port overlaps them, or it shows no ranges (all zeros, as to a process without
// the right to see them: then nothing can be checked). nullopt when nothing is in the way.
std::optional<std::string> rawIoConflict(std::string_view ioports, uint16_t base);

// The real parallel port. Opening tries ppdev (the kernel's parallel-port driver, which
// works for group lp without root and under Secure Boot), then direct port I/O
// (ioperm/inb/outb, fastest, needs CAP_SYS_RAWIO) and last /dev/port; it keeps the
// first that works and the reason each one failed. The backend is looked up again
// whenever the base address changes.
//
// ppdev shares the port with the kernel's other users (lp, a second instance of this
// program): it is claimed for each transfer and released after. A port another user
// holds is never waited for (the kernel's claim sleeps without a limit, holding a lock
// every other ppdev call on that port needs): the transfer is skipped and onBusy hears
// why, once for each new reason until a claim succeeds again.
class HardwarePortIo : public PortIo {
  public:
    HardwarePortIo();
    explicit HardwarePortIo(PortIoPaths paths);
    ~HardwarePortIo() override;
    HardwarePortIo(const HardwarePortIo&) = delete;
    HardwarePortIo& operator=(const HardwarePortIo&) = delete;

    // Opens a backend for the port at base (only its low 16 bits count); false when none
    // could be had, with the reasons in failureReasons().
    bool open(int base);
    bool isOpen() const;
    const std::string& failureReasons() const { return reasons_; }
    std::string name() const override;

    uint8_t readPort(uint16_t address) override;
    void writePort(uint16_t address, uint8_t value) override;
    // A new base is opened again with the backends in their order.
    void useBase(int base) override;
    // The new base's backend is opened before the old one is closed.
    bool switchBase(int base, std::string* why) override;
    void beginTransfer() override;
    void endTransfer() override;
    // Told when a transfer was skipped because the port could not be had.
    std::function<void(const std::string&)> onBusy;

    class Backend;

  private:
    void close();
    bool claim();

    PortIoPaths paths_;
    std::unique_ptr<Backend> backend_;
    uint16_t base_ = 0;
    std::string reasons_;
    int depth_ = 0;         // nested transfers
    bool claimed_ = false;  // the outermost transfer has the port
    std::string busyTold_;  // the last reason onBusy heard, until a claim succeeds
};

}  // namespace zvk
