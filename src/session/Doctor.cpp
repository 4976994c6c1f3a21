// SPDX-License-Identifier: MIT
#include "session/Doctor.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/FileRead.h"
#include "base/Numbers.h"
#include "base/Text.h"
#include "storage/Settings.h"
#include "transport/Parports.h"
#include "transport/Priority.h"

namespace zvk {

namespace {

// The first line of a file of the kernel's, read as every file from outside is: bounded
// and never waiting (a FIFO or a link to /dev/zero in a copied layout).
std::string firstLine(const std::string& path) {
    const auto text = readRegularFile(path, kMaxSystemFileSize);
    if (!text) return {};
    return text->substr(0, text->find('\n'));
}

std::string hex4Text(int v) {
    return hexText(uint32_t(v), 4);
}

std::string adapterIds() {
    return hex4Text(TlibUSB::kVendor) + ":" + hex4Text(TlibUSB::kProduct);
}

constexpr const char* kUdevFix =
    "install the udev rule 60-zvk40310.rules (the package puts it in /lib/udev/rules.d; from "
    "the sources: sudo cp packaging/60-zvk40310.rules /etc/udev/rules.d/), run sudo udevadm "
    "control --reload-rules and replug the adapter; for use without a desktop login also: "
    "sudo adduser $USER plugdev, then log in again";

void add(DoctorReport& r, bool ok, std::string text, std::string fix = {}) {
    r.lines.push_back({ok, std::move(text), ok ? std::string() : std::move(fix)});
}

// The adapters libusb lists, and whether each opens and can be claimed.
bool checkAdapters(const DoctorInputs& in, DoctorReport& r) {
    const std::vector<std::string> hidden = inaccessibleAdapters(in.usbSysfs, in.usbDevfs);
    for (const std::string& h : hidden)
        add(r, false, "ZVK_SPIUSB found but not accessible: " + h, kUdevFix);
    if (in.adapterHeldHere) {
        add(r, true, "ZVK_SPIUSB adapter open in this program");
        return true;
    }
    if (in.usb == nullptr) return false;
    const LibusbApi& api = *in.usb;
    api.usb_init();
    api.usb_find_busses();
    api.usb_find_devices();
    int found = 0;
    bool usable = false;
    for (struct usb_bus* bus = api.usb_get_busses(); bus != nullptr; bus = bus->next) {
        for (struct usb_device* dev = bus->devices; dev != nullptr; dev = dev->next) {
            if (dev->descriptor.idVendor != TlibUSB::kVendor ||
                dev->descriptor.idProduct != TlibUSB::kProduct)
                continue;
            ++found;
            const std::string where = "ZVK_SPIUSB at bus " + escapedText(bus->dirname) +
                                      " device " + escapedText(dev->filename);
            // This libusb hands out a handle even when the node did not open; the claim
            // is where a failure shows.
            usb_dev_handle* h = api.usb_open(dev);
            if (h == nullptr) {
                add(r, false, where + ": cannot be opened", kUdevFix);
                continue;
            }
            const int claimed = api.usb_claim_interface(h, 0);
            if (claimed >= 0) {
                api.usb_release_interface(h, 0);
                add(r, true, where + ": opens and can be claimed");
                usable = true;
            } else {
                // libusb 0.1 hands the kernel's errno back negated.
                if (claimed == -EPERM || claimed == -EACCES)
                    add(r, false,
                        where + ": cannot be claimed (error " + std::to_string(claimed) +
                            ": the node is read-only for this user)",
                        kUdevFix);
                else if (claimed == -EBUSY)
                    add(r, false,
                        where + ": cannot be claimed (error " + std::to_string(claimed) +
                            ": another program or instance has it)",
                        "close the other program, or choose another adapter with --device "
                        "(zvk40310ctl list shows them)");
                else
                    add(r, false,
                        where + ": cannot be claimed (error " + std::to_string(claimed) + ")",
                        "close the other program that uses the adapter; otherwise " +
                            std::string(kUdevFix));
            }
            api.usb_close(h);
        }
    }
    if (found == 0 && hidden.empty())
        add(r, false, "no ZVK_SPIUSB adapter (" + adapterIds() + ") on the USB bus",
            "plug the adapter in; if it is plugged in, " + std::string(kUdevFix));
    return usable;
}

bool checkParports(const DoctorInputs& in, DoctorReport& r) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::vector<Parport> ports = listParports(in.port.procParport, in.port.devDir);
    // A USB printer cable looks like a printer port to the system, but its chip sends
    // whole bytes: no line can be set alone.
    for (fs::directory_iterator it(in.usbmisc, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("lp", 0) == 0)
            add(r, false,
                "USB printer cable " + escapedText(name) +
                    ": it prints bytes and cannot drive single lines, so the board cannot be "
                    "run from it",
                "use a PC parallel port (on the mainboard or a PCI card) or the ZVK_SPIUSB "
                "adapter");
    }
    if (!fs::is_directory(in.port.procParport, ec) || ports.empty()) {
        const std::string card = pciParallelCard(in.port.pciDevices, 0);
        if (!card.empty()) {
            add(r, false,
                "the kernel drives no parallel port, but PCI device " + card +
                    " is a parallel-port card",
                "check it with lspci -nn, then give parport_pc every port's base: sudo modprobe "
                "parport_pc io=0x378,0xBASE io_hi=0x778,0 irq=none,none (the README says how to "
                "keep it in /etc/modprobe.d)");
            return false;
        }
        add(r, false, "the kernel drives no parallel port (nothing in " + in.port.procParport + ")",
            "sudo modprobe parport_pc ppdev (a port on a PCI card: check that the card is seen "
            "by lspci -nn)");
        return false;
    }
    bool usable = false;
    for (const Parport& p : ports) {
        const std::string name = "parport" + std::to_string(p.number);
        const std::string at = name + (p.base >= 0 ? " at 0x" + hex4Text(p.base) + " (base-addr " +
                                                         std::to_string(p.base) + ")"
                                       : p.baseProblem.empty() ? std::string(" (base unknown)")
                                                               : " (" + p.baseProblem + ")");
        if (!fs::exists(p.device, ec)) {
            add(r, false, at + ": " + p.device + " missing",
                "sudo modprobe ppdev; to load it at every boot: echo ppdev | sudo tee "
                "/etc/modules-load.d/ppdev.conf");
            continue;
        }
        if (::access(p.device.c_str(), R_OK | W_OK) != 0) {
            add(r, false, at + ": " + p.device + " not read-write for this user",
                "sudo adduser $USER lp, then log in again");
            continue;
        }
        // lp bound to the board's port uses it between our transfers: opening /dev/lpN
        // (CUPS' probe) negotiates a mode that drives the data lines, and printed bytes
        // pulse SDEN.
        if (fs::is_directory(in.port.procParport + "/" + name + "/devices/lp", ec))
            add(r, false,
                name +
                    ": the printer driver lp is bound to it and may drive its lines between "
                    "the program's transfers",
                "sudo modprobe -r lp, and keep it off: echo 'blacklist lp' | sudo tee "
                "/etc/modprobe.d/zvk40310-no-lp.conf");
        std::string text = at + ": " + p.device + " read-write";
        if (auto holder = parportHolder(in.port.procParport, p.number))
            text += " (in use by " + *holder + " right now)";
        if (p.base >= 0)
            text += "; use --port " + name + " or --port 0x" + hexText(uint32_t(p.base), 1);
        add(r, true, text);
        usable = true;
    }
    return usable;
}

void checkLockdown(const DoctorInputs& in, DoctorReport& r) {
    const std::string line = firstLine(in.lockdown);
    const size_t open = line.find('['), close = line.find(']');
    if (line.empty() || open == std::string::npos || close == std::string::npos || close < open) {
        add(r, true, "kernel lockdown: not in effect (" + in.lockdown + " absent)");
        return;
    }
    const std::string mode = escapedText(line.substr(open + 1, close - open - 1));
    if (mode == "none") {
        add(r, true, "kernel lockdown: none (raw port access possible as root)");
        return;
    }
    add(r, false,
        "kernel lockdown: " + mode + " (ioperm and /dev/port are refused, as under Secure Boot)",
        "use the kernel's parallel-port driver (ppdev, /dev/parportN), which lockdown allows");
}

}  // namespace

DoctorInputs DoctorInputs::under(const std::string& root) {
    DoctorInputs in;
    if (root.empty()) return in;
    in.port.procParport = root + "/proc/sys/dev/parport";
    in.port.devDir = root + "/dev";
    in.port.devPort = root + "/dev/port";
    in.port.ioports = root + "/proc/ioports";
    in.port.pciDevices = root + "/sys/bus/pci/devices";
    in.port.directIo = false;  // another machine's layout: this machine's ports are not it
    in.usbSysfs = root + "/sys/bus/usb/devices";
    in.usbDevfs = root + "/dev/bus/usb";
    in.lockdown = root + "/sys/kernel/security/lockdown";
    in.usbmisc = root + "/sys/class/usbmisc";
    return in;
}

std::vector<std::string> inaccessibleAdapters(const std::string& usbSysfs,
                                              const std::string& usbDevfs) {
    namespace fs = std::filesystem;
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator it(usbSysfs, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string dir = it->path().string();
        const auto vendor = parseHex(firstLine(dir + "/idVendor"));
        const auto product = parseHex(firstLine(dir + "/idProduct"));
        if (!vendor || !product || *vendor != TlibUSB::kVendor || *product != TlibUSB::kProduct)
            continue;
        const auto bus = parseDecimal32(firstLine(dir + "/busnum"));
        const auto dev = parseDecimal32(firstLine(dir + "/devnum"));
        if (!bus || !dev) continue;
        char node[32];
        std::snprintf(node, sizeof node, "/%03d/%03d", int(*bus), int(*dev));
        const std::string path = usbDevfs + node;
        if (!fs::exists(path, ec)) {
            found.push_back(path + " missing");
            continue;
        }
        // Opened as libusb opens it: read-write for the claim.
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            found.push_back(path + " (" + std::strerror(errno) + ")");
            continue;
        }
        ::close(fd);
    }
    return found;
}

BoardList listBoards(const DoctorInputs& in) {
    namespace fs = std::filesystem;
    BoardList list;
    auto openProblem = [](const std::string& path) -> std::string {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return std::strerror(errno);
        ::close(fd);
        return {};
    };
    std::error_code ec;
    for (fs::directory_iterator it(in.usbSysfs, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string dir = it->path().string();
        const auto vendor = parseHex(firstLine(dir + "/idVendor"));
        const auto product = parseHex(firstLine(dir + "/idProduct"));
        if (!vendor || !product || *vendor != TlibUSB::kVendor || *product != TlibUSB::kProduct)
            continue;
        ListedAdapter a;
        a.portPath = it->path().filename().string();
        const auto bus = parseDecimal32(firstLine(dir + "/busnum"));
        const auto dev = parseDecimal32(firstLine(dir + "/devnum"));
        if (!bus || !dev) continue;
        a.bus = *bus;
        a.device = *dev;
        char node[32];
        std::snprintf(node, sizeof node, "/%03d/%03d", a.bus, a.device);
        a.node = in.usbDevfs + node;
        a.problem = openProblem(a.node);
        list.adapters.push_back(std::move(a));
    }
    std::sort(list.adapters.begin(), list.adapters.end(), [](const auto& x, const auto& y) {
        return x.bus != y.bus ? x.bus < y.bus : x.device < y.device;
    });
    for (const Parport& p : listParports(in.port.procParport, in.port.devDir)) {
        ListedPort l;
        l.port = p;
        if (auto holder = parportHolder(in.port.procParport, p.number))
            l.holder = *holder;
        else if (fs::exists(in.port.procParport + "/parport" + std::to_string(p.number) +
                                "/devices/active",
                            ec))
            l.holder = "none";
        l.problem = openProblem(p.device);
        list.ports.push_back(std::move(l));
    }
    return list;
}

DoctorReport runDoctor(const DoctorInputs& in) {
    DoctorReport r;
    if (in.usb != nullptr)
        add(r, true, "libusb 0.1 loaded (libusb-0.1.so.4)");
    else
        add(r, false, "libusb 0.1 (libusb-0.1.so.4) cannot be loaded: no adapter can be used",
            "sudo apt install libusb-0.1-4");
    const bool usb = checkAdapters(in, r);
    const bool ports = checkParports(in, r);
    // What the program itself would open at the settings' base.
    HardwarePortIo io(in.port);
    const bool opened = io.open(in.base);
    if (opened)
        add(r, true, "port driver at 0x" + hex4Text(in.base) + ": " + io.name());
    else
        add(r, false, "Driver not open at 0x" + hex4Text(in.base) + ": " + io.failureReasons(),
            ports ? "choose a port the kernel drives: --port parportN, or the LPT menu"
                  : "see the parallel-port line above");
    checkLockdown(in, r);
    const auto rt = in.realtime ? in.realtime() : realtimeNotAllowed();
    if (rt)
        add(r, false, *rt, kRealtimeFix);
    else
        add(r, true, "real-time priority allowed for the write cycles");
    bool exists = false;
    std::string unreadable;
    if (!in.settingsPath.empty()) readSettings(in.settingsPath, &exists, &unreadable);
    if (!unreadable.empty())
        add(r, false, unreadable,
            "make it a readable settings file, remove it to start from the defaults, or name "
            "another with --settings");
    else
        add(r, true,
            "settings file: " + escapedText(in.settingsPath) +
                (exists ? "" : " (not there yet: defaults)"));
    r.transportUsable = usb || opened;
    return r;
}

std::string doctorLineText(const DoctorLine& line) {
    if (line.ok) return "ok   " + line.text;
    return "FAIL " + line.text + (line.fix.empty() ? "" : " -> " + line.fix);
}

DoctorSummary doctorSummary(const DoctorReport& r, const std::string& virtualBoard) {
    if (virtualBoard.empty())
        return {"", r.transportUsable ? "The board can be reached."
                                      : "Neither the adapter nor a parallel port can be used."};
    // The virtual board works whatever the machine has: the checks say what a real board
    // would meet here, not why this window works.
    return {"In use: the " + virtualBoard +
                ", which needs none of the hardware below. These checks are of this "
                "machine's real adapter and parallel ports.",
            r.transportUsable
                ? "For a real board: the adapter or a parallel port can be used."
                : "For a real board: neither the adapter nor a parallel port can be used."};
}

}  // namespace zvk
