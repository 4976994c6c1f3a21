// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
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
    // Inside a transfer: the port could not be had, so its accesses went nowhere and its
    // reads mean nothing.
    virtual bool transferSkipped() const { return false; }
    // Told when a transfer was skipped because the port could not be had, once for each
    // new reason until the port can be had again.
    std::function<void(const std::string&)> onBusy;
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
    std::string ioports = "/proc/ioports";            // who owns which I/O range
    std::string pciDevices = "/sys/bus/pci/devices";  // class and resource of each device
    bool directIo = true;                             // try ioperm/inb/outb
    // The raw port instructions; tests put a model of a port (or of none) in their place.
    // Null: the processor's own.
    std::function<int(unsigned long from, unsigned long count, int on)> ioperm;
    std::function<uint8_t(uint16_t address)> inb;
    std::function<void(uint8_t value, uint16_t address)> outb;
    // How long a transfer waits for its turn among our own instances (a lock on the
    // ppdev node), and for the kernel's claim of a port another driver holds.
    std::chrono::milliseconds lockWait{300};
    std::chrono::milliseconds claimWait{300};
    // The kernel's claim (the PPCLAIM ioctl on the open node); tests put a call that
    // sleeps or fails in its place.
    std::function<int(int fd)> ppclaim;
};

// Why raw port access (ioperm, /dev/port) to the three registers at base would risk
// another device, given the text of /proc/ioports: one of its innermost ranges that is no
// parallel port overlaps them, or it shows no ranges (all zeros, as to a process without
// the right to see them: then nothing can be checked). nullopt when nothing is in the way.
std::optional<std::string> rawIoConflict(std::string_view ioports, uint16_t base);

// Whether raw port access at base reaches a parallel port for certain. Writes to an
// unknown address go nowhere at best (a laptop: the doctor would say "ok", reads give
// 0x000) and at worst reach the chipset (bit 0 of 0x92 resets a PC), so raw access is
// only for an address positively known to be a parallel port.
enum class RawPortKnown {
    Refused,        // refusal says why, and what would make it usable
    KernelNamed,    // /proc/ioports names the range parport*
    PciCard,        // an I/O range of a PCI device of class 0x0701 (parallel port)
    LegacyAddress,  // 0x378, 0x278 or 0x3BC: usable once a port answers there
};
struct RawPortVerdict {
    RawPortKnown known = RawPortKnown::Refused;
    std::string refusal;
};
RawPortVerdict rawPortVerdict(std::string_view ioports, const std::string& pciDevices,
                              uint16_t base);
// The PCI device (its sysfs name and class) of class 0x0701 whose I/O range holds base;
// empty when none. Also any PCI parallel-port card at all when base is 0.
std::string pciParallelCard(const std::string& pciDevices, uint16_t base);

// The real parallel port. Opening tries ppdev (the kernel's parallel-port driver, which
// works for group lp without root and under Secure Boot), then direct port I/O
// (ioperm/inb/outb, fastest, needs CAP_SYS_RAWIO) and last /dev/port; it keeps the
// first that works and the reason each one failed. The backend is looked up again
// whenever the base address changes.
//
// ppdev shares the port with the kernel's other users (lp, a second instance of this
// program): it is claimed for each transfer and released after. Our own instances take
// turns through a lock on the node, held from before the check of the port's holder to
// after the release, so none of them claims a port another one has. A holder that is not
// ours is waited for only briefly: the kernel's claim sleeps without a limit, holding a
// lock every other ppdev call needs, so the claim is interrupted after claimWait and the
// transfer skipped; onBusy hears why, once for each new reason until a claim succeeds.
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
    bool transferSkipped() const override { return depth_ > 0 && !claimed_ && backend_; }
    // A port held elsewhere is tried again every few ms for up to ms before the transfer
    // is skipped (0: at once). sleep waits that many ms (a test counts instead).
    void setBusyWait(uint32_t ms, std::function<void(uint32_t)> sleep = {});

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
    uint32_t busyWaitMs_ = 0;
    std::function<void(uint32_t)> sleep_;
};

}  // namespace zvk
