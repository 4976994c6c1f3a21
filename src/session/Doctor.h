// SPDX-License-Identifier: MIT
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "transport/Libusb32.h"
#include "transport/PortIo.h"

namespace zvk {

// One finding of the doctor: what was checked, what was found and, for a failure, what
// to do about it.
struct DoctorLine {
    bool ok = false;
    std::string text;
    std::string fix;  // empty when ok
};

// Where the doctor looks. The defaults are the system's; a root folder moves /proc, /sys
// and /dev under it, so a copy of another machine's layout (or a test's scratch folder)
// can be checked.
struct DoctorInputs {
    PortIoPaths port;
    std::string usbSysfs = "/sys/bus/usb/devices";  // one folder per USB device
    std::string usbDevfs = "/dev/bus/usb";          // the device nodes, BBB/DDD
    std::string lockdown = "/sys/kernel/security/lockdown";
    std::string usbmisc = "/sys/class/usbmisc";  // USB printer cables show as lpN here
    std::string settingsPath;
    int base = kDefaultPortBase;     // the base the settings name
    const LibusbApi* usb = nullptr;  // null: libusb could not be loaded
    bool adapterHeldHere = false;    // the caller has the adapter open already
    // Whether real-time priority may be had; nullopt when it may, else why (with the fix).
    std::function<std::optional<std::string>()> realtime;

    // The system's places under root ("" for the system itself).
    static DoctorInputs under(const std::string& root);
};

struct DoctorReport {
    std::vector<DoctorLine> lines;
    bool transportUsable = false;  // the adapter or a parallel port can be used
};

DoctorReport runDoctor(const DoctorInputs& in);

// "ok   text" or "FAIL text: fix", one line each.
std::string doctorLineText(const DoctorLine& line);

// What a program that runs on a board says around the doctor's lines: before them what is
// in use and what the checks are about, after them what they come to. virtualBoard: the
// description of the virtual board the program runs on, empty on the hardware (whose
// heading is empty too).
struct DoctorSummary {
    std::string heading;
    std::string verdict;
};
DoctorSummary doctorSummary(const DoctorReport& r, const std::string& virtualBoard);

// The ZVK_SPIUSB adapters the kernel lists (sysfs) whose device node cannot be opened
// read-write by this user: libusb passes over such a node without a word, so the adapter
// would look absent. One text per adapter naming the node and why.
std::vector<std::string> inaccessibleAdapters(const std::string& usbSysfs,
                                              const std::string& usbDevfs);

// What "list" shows: every adapter the kernel lists and every parallel port it drives.
struct ListedAdapter {
    int bus = -1, device = -1;
    std::string portPath;  // the sysfs name, "1-1.4"
    std::string node;      // usbDevfs/BBB/DDD
    std::string problem;   // empty when the node opens read-write for this user
};
struct ListedPort {
    Parport port;
    std::string holder;   // "none" when free, empty when the kernel does not say
    std::string problem;  // empty when the node opens for this user
};
struct BoardList {
    std::vector<ListedAdapter> adapters;  // by bus number, then device number
    std::vector<ListedPort> ports;        // by N
};
BoardList listBoards(const DoctorInputs& in);

}  // namespace zvk
