// SPDX-License-Identifier: MIT
#include "transport/PortIo.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define ZVK_HAVE_PORT_INSTRUCTIONS 1
#endif

#include "base/FileRead.h"
#include "base/Numbers.h"
#include "transport/BoundedCall.h"

namespace zvk {

namespace {

// errno as a lower-case phrase that reads well after a colon.
std::string errorText(int err) {
    std::string s = std::strerror(err);
    if (!s.empty() && s[0] >= 'A' && s[0] <= 'Z') s[0] = char(s[0] - 'A' + 'a');
    return s;
}

std::string hexAddress(unsigned v) {
    return "0x" + hexText(v, 1);
}

// Why parportN cannot be had now, when another driver holds it.
std::optional<std::string> portInUse(const std::string& procDir, int number) {
    if (auto holder = parportHolder(procDir, number))
        return "parport" + std::to_string(number) + " is in use by " + *holder;
    return std::nullopt;
}

constexpr const char* kRawIoHint =
    "needs root: CAP_SYS_RAWIO alone does not do, as /proc/ioports then shows zeros and the "
    "addresses cannot be checked; refused under Secure Boot lockdown";

// A small text file of the kernel's; nullopt when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path) {
    return readRegularFile(path, kMaxSystemFileSize);
}

}  // namespace

// One way of reaching the port's three registers: 0 data, 1 status, 2 control.
class HardwarePortIo::Backend {
  public:
    virtual ~Backend() = default;
    virtual std::string name() const = 0;
    virtual uint8_t read(int reg) = 0;
    virtual void write(int reg, uint8_t value) = 0;
    // Takes the port for one transfer; why it cannot be had otherwise.
    virtual std::optional<std::string> acquire() { return std::nullopt; }
    virtual void release() {}
};

namespace {

// The kernel's parallel-port driver through /dev/parportN: a system call per access, but
// it works for group lp without root and leaves the port shared with the kernel.
class PpdevBackend : public HardwarePortIo::Backend {
  public:
    PpdevBackend(int fd, std::string path, const PortIoPaths& paths, int number)
        : fd_(fd),
          path_(std::move(path)),
          procDir_(paths.procParport),
          number_(number),
          lockWait_(paths.lockWait),
          claimWait_(paths.claimWait),
          ppclaim_(paths.ppclaim) {
        if (!ppclaim_) ppclaim_ = [](int node) { return ioctl(node, PPCLAIM); };
    }
    // It owns the descriptor: never copied (a copy would close it twice).
    PpdevBackend(const PpdevBackend&) = delete;
    PpdevBackend& operator=(const PpdevBackend&) = delete;
    ~PpdevBackend() override { closeFd(); }
    std::string name() const override { return "ppdev " + path_; }
    uint8_t read(int reg) override {
        static const unsigned long kRead[3] = {PPRDATA, PPRSTATUS, PPRCONTROL};
        unsigned char v = 0xFF;
        if (ioctl(fd_, kRead[reg], &v) != 0) return 0xFF;
        return v;
    }
    void write(int reg, uint8_t value) override {
        unsigned char v = value;
        if (reg == 0) ioctl(fd_, PPWDATA, &v);
        if (reg == 2) ioctl(fd_, PPWCONTROL, &v);
        // The status register is input only.
    }
    std::optional<std::string> acquire() override {
        claimRefused_ = false;
        if (fd_ < 0 && !reopen())
            return path_ + ": cannot be opened again (" + errorText(errno) + ")";
        const std::string port = "parport" + std::to_string(number_);
        // Our turn first: a lock no other instance has means none of them claims the port
        // between our look at its holder and our claim.
        if (boundedCall(lockWait_, [this] { return flock(fd_, LOCK_EX); }) != 0) {
            if (errno == EINTR)
                return port + " is in use by another instance of this program (no turn within " +
                       std::to_string(lockWait_.count()) + " ms)";
            // A file system without locks: go on without taking turns.
        }
        if (auto problem = portInUse(procDir_, number_)) {
            unlock();
            return problem;
        }
        if (boundedCall(claimWait_, [this] { return ppclaim_(fd_); }) != 0) {
            const int err = errno;
            if (err == EINTR) {
                // The kernel still counts us as waiting and would hand the port to this
                // descriptor later, with nobody here to release it: a new descriptor has
                // no place in that queue. Closing also drops our lock.
                closeFd();
                reopen();
                return port + " is in use: its holder did not let go within " +
                       std::to_string(claimWait_.count()) + " ms";
            }
            unlock();
            claimRefused_ = true;
            return claimError(err);
        }
        return std::nullopt;
    }
    void release() override {
        ioctl(fd_, PPRELEASE);
        unlock();
    }
    // The last acquire failed because the kernel refused the claim (not a holder).
    bool claimRefused() const { return claimRefused_; }

    static std::unique_ptr<Backend> open(const PortIoPaths& paths, uint16_t base,
                                         std::string& why) {
        std::error_code ec;
        if (!std::filesystem::is_directory(paths.procParport, ec)) {
            why = "ppdev: the kernel drives no parallel port (no " + paths.procParport +
                  "; load parport_pc and ppdev)";
            return nullptr;
        }
        const int n = parportForBase(paths.procParport, base);
        if (n < 0) {
            why = "ppdev: no kernel parallel port at " + hexAddress(base);
            return nullptr;
        }
        const std::string path = paths.devDir + "/parport" + std::to_string(n);
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            const int err = errno;
            if (err == EACCES || err == EPERM)
                why = path + ": permission denied; add yourself to group lp";
            else if (err == ENOENT || err == ENODEV || err == ENXIO)
                why = path + ": no such device (load the ppdev module)";
            else
                why = path + ": " + errorText(err);
            return nullptr;
        }
        auto backend = std::make_unique<PpdevBackend>(fd, path, paths, n);
        // A free port is claimed once now, so a node that is no parallel port is known at
        // once; a port in use is taken as it is, its transfers wait for it to be free.
        const auto problem = backend->acquire();
        if (problem && backend->claimRefused()) {
            why = *problem;
            return nullptr;
        }
        if (!problem) {
            // A bidirectional port may have been left reading; the lines must drive the chip.
            int forward = 0;
            ioctl(backend->fd_, PPDATADIR, &forward);
            backend->release();
        }
        return backend;
    }

  private:
    std::string claimError(int err) const {
        return path_ + ": cannot claim the port (" + errorText(err) + ")";
    }
    bool reopen() {
        fd_ = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
        return fd_ >= 0;
    }
    void unlock() {
        if (fd_ >= 0) flock(fd_, LOCK_UN);
    }
    void closeFd() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    int fd_;
    std::string path_;
    std::string procDir_;
    int number_;
    std::chrono::milliseconds lockWait_;
    std::chrono::milliseconds claimWait_;
    std::function<int(int)> ppclaim_;
    bool claimRefused_ = false;
};

// The raw port instructions as the paths name them: injected, or the processor's.
struct RawCalls {
    explicit RawCalls(const PortIoPaths& p) : ioperm(p.ioperm), inb(p.inb), outb(p.outb) {
#ifdef ZVK_HAVE_PORT_INSTRUCTIONS
        if (!ioperm)
            ioperm = [](unsigned long from, unsigned long n, int on) {
                return ::ioperm(from, n, on);
            };
        if (!inb) inb = [](uint16_t a) { return uint8_t(::inb(a)); };
        if (!outb) outb = [](uint8_t v, uint16_t a) { ::outb(v, a); };
#endif
    }
    bool available() const {
        return ioperm && inb && outb;
    }
    std::function<int(unsigned long, unsigned long, int)> ioperm;
    std::function<uint8_t(uint16_t)> inb;
    std::function<void(uint8_t, uint16_t)> outb;
};

// ioperm grants belong to the thread, not to whoever asked: a second backend over the
// same addresses (the doctor's, while the window's is open) revoking its grant would
// revoke the window's too, and its next access would be a fatal fault. Grants are counted
// per address and given back only when nobody holds them any more.
class GrantCount {
  public:
    static int take(const RawCalls& calls, uint16_t base) {
        std::lock_guard lock(mutex());
        if (calls.ioperm(base, 3, 1) != 0) return errno;
        for (int i = 0; i < 3; ++i) ++counts()[uint16_t(base + i)];
        return 0;
    }
    static void giveBack(const RawCalls& calls, uint16_t base) {
        std::lock_guard lock(mutex());
        for (int i = 0; i < 3; ++i) {
            const uint16_t a = uint16_t(base + i);
            if (--counts()[a] == 0) {
                counts().erase(a);
                calls.ioperm(a, 1, 0);
            }
        }
    }

  private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::map<uint16_t, int>& counts() {
        static std::map<uint16_t, int> c;
        return c;
    }
};

// inb/outb after ioperm: no system call per access, so the fastest way to the port.
class DirectBackend : public HardwarePortIo::Backend {
  public:
    DirectBackend(uint16_t base, RawCalls calls) : base_(base), calls_(std::move(calls)) {}
    ~DirectBackend() override { GrantCount::giveBack(calls_, base_); }
    // The grant is counted once: a copy would give it back twice.
    DirectBackend(const DirectBackend&) = delete;
    DirectBackend& operator=(const DirectBackend&) = delete;
    std::string name() const override { return "ioperm"; }
    uint8_t read(int reg) override { return calls_.inb(uint16_t(base_ + reg)); }
    void write(int reg, uint8_t value) override { calls_.outb(value, uint16_t(base_ + reg)); }

    static std::unique_ptr<Backend> open(const RawCalls& calls, uint16_t base, std::string& why) {
        const int err = GrantCount::take(calls, base);
        if (err == 0) return std::make_unique<DirectBackend>(base, calls);
        if (err == EPERM)
            why = std::string("ioperm: operation not permitted (") + kRawIoHint + ")";
        else if (err == ENOSYS)
            why = "ioperm: not supported by this kernel";
        else if (err == EINVAL)
            why = "ioperm: " + hexAddress(base) + " to " + hexAddress(base + 2u) +
                  " is no valid port range";
        else
            why = "ioperm: " + errorText(err);
        return nullptr;
    }

  private:
    uint16_t base_;
    RawCalls calls_;
};

// /dev/port: a pread or pwrite at the port address; the last resort.
class DevPortBackend : public HardwarePortIo::Backend {
  public:
    DevPortBackend(int fd, uint16_t base, std::string path)
        : fd_(fd), base_(base), path_(std::move(path)) {}
    // It owns the descriptor: moved, never copied (a copy would close it twice).
    DevPortBackend(const DevPortBackend&) = delete;
    DevPortBackend& operator=(const DevPortBackend&) = delete;
    DevPortBackend(DevPortBackend&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)), base_(other.base_), path_(std::move(other.path_)) {}
    DevPortBackend& operator=(DevPortBackend&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) ::close(fd_);
            fd_ = std::exchange(other.fd_, -1);
            base_ = other.base_;
            path_ = std::move(other.path_);
        }
        return *this;
    }
    ~DevPortBackend() override {
        if (fd_ >= 0) ::close(fd_);
    }
    std::string name() const override { return path_; }
    uint8_t read(int reg) override {
        unsigned char v = 0xFF;
        if (pread(fd_, &v, 1, off_t(base_) + reg) != 1) return 0xFF;
        return v;
    }
    void write(int reg, uint8_t value) override {
        const unsigned char v = value;
        if (pwrite(fd_, &v, 1, off_t(base_) + reg) != 1) {
            // Transfers report nothing and run to their end; a lost byte shows on the chip.
        }
    }

    static std::unique_ptr<Backend> open(const std::string& path, uint16_t base, std::string& why) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            const int err = errno;
            if (err == ENOENT)
                why = path + ": not present";
            else if (err == EACCES || err == EPERM)
                why = path + ": permission denied (" + kRawIoHint + ")";
            else
                why = path + ": " + errorText(err);
            return nullptr;
        }
        return std::make_unique<DevPortBackend>(fd, base, path);
    }

  private:
    int fd_;
    uint16_t base_;
    std::string path_;
};

}  // namespace

HardwarePortIo::HardwarePortIo() = default;
HardwarePortIo::HardwarePortIo(PortIoPaths paths) : paths_(std::move(paths)) {}
HardwarePortIo::~HardwarePortIo() = default;

void HardwarePortIo::close() {
    if (claimed_ && backend_) backend_->release();
    claimed_ = false;
    backend_.reset();
}

namespace {

// The lines of /proc/ioports: "  0378-037a : parport0", indented by nesting depth.
struct IoRange {
    size_t depth;
    unsigned long first, last;
    std::string name;
};
std::vector<IoRange> ioportRanges(std::string_view ioports) {
    std::vector<IoRange> ranges;
    size_t pos = 0;
    while (pos < ioports.size()) {
        size_t end = ioports.find('\n', pos);
        if (end == std::string_view::npos) end = ioports.size();
        const std::string_view line = ioports.substr(pos, end - pos);
        pos = end + 1;
        const size_t depth = line.find_first_not_of(' ');
        const size_t dash = line.find('-');
        const size_t colon = line.find(" : ");
        if (depth == std::string_view::npos || dash == std::string_view::npos ||
            colon == std::string_view::npos || dash > colon)
            continue;
        const auto first = parseHex(line.substr(depth, dash - depth));
        const auto last = parseHex(line.substr(dash + 1, colon - dash - 1));
        if (!first || !last) continue;
        ranges.push_back({depth, static_cast<unsigned long>(*first),
                          static_cast<unsigned long>(*last), std::string(line.substr(colon + 3))});
    }
    return ranges;
}

}  // namespace

std::optional<std::string> rawIoConflict(std::string_view ioports, uint16_t base) {
    using Range = IoRange;
    const std::vector<Range> ranges = ioportRanges(ioports);
    const std::string where = hexAddress(base) + " to " + hexAddress(base + 2u);
    bool anyRange = false;
    for (const Range& r : ranges) anyRange = anyRange || r.last != 0;
    if (!anyRange)
        return "raw port access refused: /proc/ioports shows no ranges to this user, so " + where +
               " cannot be checked against other devices";
    for (size_t i = 0; i < ranges.size(); ++i) {
        const Range& r = ranges[i];
        // A range with ranges inside it is a bus window, not a device.
        if (i + 1 < ranges.size() && ranges[i + 1].depth > r.depth) continue;
        if (r.name.find("parport") != std::string::npos || r.name.rfind("PCI Bus", 0) == 0)
            continue;
        if (r.first <= base + 2u && base <= r.last)
            return "raw port access refused: " + where + " belongs to \"" + r.name + "\" (" +
                   hexAddress(uint16_t(r.first)) + " to " + hexAddress(uint16_t(r.last)) + ")";
    }
    return std::nullopt;
}

namespace {

// Innermost ranges of /proc/ioports named parport* that hold the three registers.
bool kernelNamesParport(std::string_view ioports, uint16_t base) {
    for (const IoRange& r : ioportRanges(ioports))
        if (r.name.rfind("parport", 0) == 0 && r.first <= base && base + 2u <= r.last) return true;
    return false;
}

constexpr uint16_t kLegacyBases[] = {0x378, 0x278, 0x3BC};
// Below it sit the PC's DMA and interrupt controllers, the timer, the keyboard controller
// and the chipset's port 0x92 (bit 0 resets the machine).
constexpr uint16_t kLowestRawBase = 0x100;

}  // namespace

std::string pciParallelCard(const std::string& pciDevices, uint16_t base) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<fs::path> devices;
    for (const auto& entry : fs::directory_iterator(pciDevices, ec))
        devices.push_back(entry.path());
    std::sort(devices.begin(), devices.end());
    for (const fs::path& dir : devices) {
        const auto cls = readWholeFile((dir / "class").string());
        unsigned long long code = 0;
        if (!cls || std::sscanf(cls->c_str(), "%llx", &code) != 1 || (code >> 8) != 0x0701)
            continue;
        const std::string name = dir.filename().string() + " (class 0x" + hexText(code, 6) + ")";
        if (base == 0) return name;
        const auto resources = readWholeFile((dir / "resource").string());
        if (!resources) continue;
        size_t pos = 0;
        while (pos < resources->size()) {
            size_t end = resources->find('\n', pos);
            if (end == std::string::npos) end = resources->size();
            const std::string line = resources->substr(pos, end - pos);
            pos = end + 1;
            // "start end flags", each 0x and hexadecimal; IORESOURCE_IO is 0x100.
            unsigned long long first = 0, last = 0, flags = 0;
            if (std::sscanf(line.c_str(), "%llx %llx %llx", &first, &last, &flags) != 3) continue;
            if ((flags & 0x100) != 0 && first <= base && base + 2u <= last) return name;
        }
    }
    return "";
}

RawPortVerdict rawPortVerdict(std::string_view ioports, const std::string& pciDevices,
                              uint16_t base) {
    RawPortVerdict v;
    if (auto conflict = rawIoConflict(ioports, base)) {
        v.refusal = *conflict;
        return v;
    }
    const std::string where = hexAddress(base);
    if (base < kLowestRawBase) {
        v.refusal = "raw port access refused: " + where +
                    " is below 0x100, where a PC's own controllers sit (0x92 resets it); no "
                    "parallel port is there";
        return v;
    }
    if (kernelNamesParport(ioports, base)) {
        v.known = RawPortKnown::KernelNamed;
        return v;
    }
    if (!pciParallelCard(pciDevices, base).empty()) {
        v.known = RawPortKnown::PciCard;
        return v;
    }
    for (uint16_t legacy : kLegacyBases)
        if (base == legacy) {
            v.known = RawPortKnown::LegacyAddress;
            return v;
        }
    v.refusal = "raw port access refused: " + where +
                " is no parallel port this system knows (no /proc/ioports range named parport, "
                "no PCI parallel-port card with it, not 0x378, 0x278 or 0x3BC); let the kernel "
                "drive it (modprobe parport_pc io=" +
                where + ") and it is used through ppdev";
    const std::string card = pciParallelCard(pciDevices, 0);
    if (!card.empty()) v.refusal += "; PCI device " + card + " is probably the card";
    return v;
}

bool HardwarePortIo::open(int base) {
    close();
    base_ = uint16_t(base);
    reasons_.clear();
    if (base_ == 0) {
        // Address 0 is the DMA controller on a PC, never a parallel port.
        reasons_ = "no parallel port at address 0";
        return false;
    }
    auto note = [this](const std::string& why) {
        if (why.empty()) return;
        if (!reasons_.empty()) reasons_ += " | ";
        reasons_ += why;
    };
    std::string why;
    backend_ = PpdevBackend::open(paths_, base_, why);
    note(why);
    if (backend_) return true;
    // ppdev knows its ports; raw access does not, and must reach a parallel port for
    // certain: an unknown address may be the chipset's.
    std::string ioports;
    if (auto text = readWholeFile(paths_.ioports)) ioports = std::move(*text);
    const RawPortVerdict verdict = rawPortVerdict(ioports, paths_.pciDevices, base_);
    if (verdict.known == RawPortKnown::Refused) {
        note(verdict.refusal);
        return false;
    }
    const RawCalls calls(paths_);
    if (paths_.directIo && calls.available()) {
        why.clear();
        backend_ = DirectBackend::open(calls, base_, why);
        note(why);
    } else if (paths_.directIo) {
        note("ioperm: no port I/O instructions on this processor");
    }
    if (!backend_) {
        why.clear();
        backend_ = DevPortBackend::open(paths_.devPort, base_, why);
        note(why);
    }
    if (backend_ && verdict.known == RawPortKnown::LegacyAddress) {
        // Only 0x00 goes out: start-up writes it anyway, and any other byte would clock
        // the chip's lines. A port keeps what its data register was given; an address
        // where nothing answers reads 0xFF.
        backend_->write(0, 0x00);
        const uint8_t back = backend_->read(0);
        if (back != 0x00) {
            note("no parallel port answers at " + hexAddress(base_) + " (" + backend_->name() +
                 ": the data register read 0x" + hexText(back, 2) +
                 " after 0x00 was written); a port the kernel drives is used through ppdev");
            backend_.reset();
        }
    }
    return backend_ != nullptr;
}

bool HardwarePortIo::isOpen() const {
    return backend_ != nullptr;
}

std::string HardwarePortIo::name() const {
    return backend_ ? backend_->name() : "none";
}

void HardwarePortIo::setBusyWait(uint32_t ms, std::function<void(uint32_t)> sleep) {
    busyWaitMs_ = ms;
    sleep_ = sleep ? std::move(sleep)
                   : [](uint32_t n) { std::this_thread::sleep_for(std::chrono::milliseconds(n)); };
}

bool HardwarePortIo::claim() {
    if (!backend_) return false;
    // Another user's transfers are short (a printed page is not, and is given up on).
    constexpr uint32_t kRetryMs = 10;
    auto problem = backend_->acquire();
    for (uint32_t waited = 0; problem && waited < busyWaitMs_; waited += kRetryMs) {
        sleep_(kRetryMs);
        problem = backend_->acquire();
    }
    if (!problem) {
        busyTold_.clear();
        return true;
    }
    if (*problem != busyTold_) {
        busyTold_ = *problem;
        if (onBusy) onBusy(*problem);
    }
    return false;
}

void HardwarePortIo::beginTransfer() {
    // The listener may end the transfer by throwing: nothing is counted then.
    if (depth_ == 0) claimed_ = claim();
    ++depth_;
}

void HardwarePortIo::endTransfer() {
    if (depth_ == 0 || --depth_ > 0) return;
    if (claimed_ && backend_) backend_->release();
    claimed_ = false;
}

// Only the three registers of the port that was opened are ever touched: an ioperm
// grant covers no more, and a stray address must not reach some other device. An
// access outside a transfer is a transfer of its own.
uint8_t HardwarePortIo::readPort(uint16_t address) {
    const uint16_t reg = uint16_t(address - base_);
    if (!backend_ || reg > 2) return 0xFF;
    beginTransfer();
    const uint8_t v = claimed_ ? backend_->read(reg) : 0xFF;
    endTransfer();
    return v;
}

void HardwarePortIo::writePort(uint16_t address, uint8_t value) {
    const uint16_t reg = uint16_t(address - base_);
    if (!backend_ || reg > 2) return;
    beginTransfer();
    if (claimed_) backend_->write(reg, value);
    endTransfer();
}

void HardwarePortIo::useBase(int base) {
    if (backend_ && uint16_t(base) == base_) return;
    open(base);
}

bool HardwarePortIo::switchBase(int base, std::string* why) {
    if (backend_ && uint16_t(base) == base_) return true;
    // Nothing works now: there is nothing to keep.
    if (!backend_) {
        open(base);
        if (!backend_ && why != nullptr) *why = reasons_;
        return true;
    }
    HardwarePortIo fresh(paths_);
    if (!fresh.open(base)) {
        if (why != nullptr) *why = fresh.reasons_;
        return false;
    }
    std::unique_ptr<Backend> old = std::move(backend_);
    backend_ = std::move(fresh.backend_);
    old.reset();
    base_ = fresh.base_;
    reasons_ = fresh.reasons_;
    busyTold_.clear();
    return true;
}

}  // namespace zvk
