// SPDX-License-Identifier: MIT
#include "transport/PortIo.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define ZVK_HAVE_PORT_INSTRUCTIONS 1
#endif

#include "base/FileRead.h"
#include "base/Numbers.h"

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
    "needs root or CAP_SYS_RAWIO; refused under Secure Boot lockdown";

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
    // After another backend of this process was closed: what it gave back that this one
    // needs is taken again (an ioperm grant over overlapping addresses).
    virtual void regrant() {}
};

namespace {

// The kernel's parallel-port driver through /dev/parportN: a system call per access, but
// it works for group lp without root and leaves the port shared with the kernel.
class PpdevBackend : public HardwarePortIo::Backend {
  public:
    PpdevBackend(int fd, std::string path, std::string procDir, int number)
        : fd_(fd), path_(std::move(path)), procDir_(std::move(procDir)), number_(number) {}
    // It owns the descriptor: moved, never copied (a copy would close it twice).
    PpdevBackend(const PpdevBackend&) = delete;
    PpdevBackend& operator=(const PpdevBackend&) = delete;
    PpdevBackend(PpdevBackend&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)),
          path_(std::move(other.path_)),
          procDir_(std::move(other.procDir_)),
          number_(other.number_) {}
    PpdevBackend& operator=(PpdevBackend&& other) noexcept {
        if (this != &other) {
            closeFd();
            fd_ = std::exchange(other.fd_, -1);
            path_ = std::move(other.path_);
            procDir_ = std::move(other.procDir_);
            number_ = other.number_;
        }
        return *this;
    }
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
        if (auto problem = portInUse(procDir_, number_)) return problem;
        if (ioctl(fd_, PPCLAIM) != 0)
            return path_ + ": cannot claim the port (" + errorText(errno) + ")";
        return std::nullopt;
    }
    void release() override { ioctl(fd_, PPRELEASE); }

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
        auto backend = std::make_unique<PpdevBackend>(fd, path, paths.procParport, n);
        // A free port is claimed once now, so a node that is no parallel port is known at
        // once; a port in use is taken as it is, its transfers wait for it to be free.
        if (!portInUse(paths.procParport, n)) {
            if (ioctl(fd, PPCLAIM) != 0) {
                why = path + ": cannot claim the port (" + errorText(errno) + ")";
                return nullptr;
            }
            // A bidirectional port may have been left reading; the lines must drive the chip.
            int forward = 0;
            ioctl(fd, PPDATADIR, &forward);
            ioctl(fd, PPRELEASE);
        }
        return backend;
    }

  private:
    void closeFd() {
        if (fd_ >= 0) ::close(fd_);
    }

    int fd_;
    std::string path_;
    std::string procDir_;
    int number_;
};

#ifdef ZVK_HAVE_PORT_INSTRUCTIONS
// inb/outb after ioperm: no system call per access, so the fastest way to the port.
class DirectBackend : public HardwarePortIo::Backend {
  public:
    explicit DirectBackend(uint16_t base) : base_(base) {}
    ~DirectBackend() override { ioperm(base_, 3, 0); }
    // The grant is the process's: a copy would revoke it a second time.
    DirectBackend(const DirectBackend&) = delete;
    DirectBackend& operator=(const DirectBackend&) = delete;
    void regrant() override { ioperm(base_, 3, 1); }
    std::string name() const override { return "ioperm"; }
    uint8_t read(int reg) override { return inb(uint16_t(base_ + reg)); }
    void write(int reg, uint8_t value) override { outb(value, uint16_t(base_ + reg)); }

    static std::unique_ptr<Backend> open(uint16_t base, std::string& why) {
        if (ioperm(base, 3, 1) == 0) return std::make_unique<DirectBackend>(base);
        const int err = errno;
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
};
#endif

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

std::optional<std::string> rawIoConflict(std::string_view ioports, uint16_t base) {
    struct Range {
        size_t depth;
        unsigned long first, last;
        std::string name;
    };
    std::vector<Range> ranges;
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
    // ppdev knows its ports; raw access does not, and must not hit another device.
    std::string ioports;
    if (auto text = readWholeFile(paths_.ioports)) ioports = std::move(*text);
    if (auto conflict = rawIoConflict(ioports, base_)) {
        note(*conflict);
        return false;
    }
#ifdef ZVK_HAVE_PORT_INSTRUCTIONS
    if (!backend_ && paths_.directIo) {
        why.clear();
        backend_ = DirectBackend::open(base_, why);
        note(why);
    }
#else
    if (!backend_ && paths_.directIo) note("ioperm: no port I/O instructions on this processor");
#endif
    if (!backend_) {
        why.clear();
        backend_ = DevPortBackend::open(paths_.devPort, base_, why);
        note(why);
    }
    return backend_ != nullptr;
}

bool HardwarePortIo::isOpen() const {
    return backend_ != nullptr;
}

std::string HardwarePortIo::name() const {
    return backend_ ? backend_->name() : "none";
}

bool HardwarePortIo::claim() {
    if (!backend_) return false;
    const auto problem = backend_->acquire();
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
    backend_->regrant();
    base_ = fresh.base_;
    reasons_ = fresh.reasons_;
    busyTold_.clear();
    return true;
}

}  // namespace zvk
