// SPDX-License-Identifier: MIT
// The doctor on scratch copies of a machine's /proc, /sys and /dev.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "TempDir.h"
#include "board/VirtualAdapter.h"
#include "session/Doctor.h"
#include "transport/PortIo.h"

namespace zvk {
namespace {

using ::testing::HasSubstr;

class Doctor : public test::TempDir {
  protected:
    Doctor() : TempDir("zvk-doctor") {}
    DoctorInputs inputs() const {
        DoctorInputs in = DoctorInputs::under(dir.string());
        in.settingsPath = file("zvk40310.INI");
        in.realtime = [this] { return rtRefusal; };
        return in;
    }
    // The line that mentions what, or null.
    static const DoctorLine* line(const DoctorReport& r, const std::string& what) {
        for (const DoctorLine& l : r.lines)
            if (l.text.find(what) != std::string::npos) return &l;
        return nullptr;
    }
    std::optional<std::string> rtRefusal = "real-time priority not permitted (RLIMIT_RTPRIO is 0)";
};

// Nothing there at all: every missing piece is named with what to do about it.
TEST_F(Doctor, AnEmptyMachineNamesEachMissingPieceWithItsFix) {
    const DoctorReport r = runDoctor(inputs());
    EXPECT_FALSE(r.transportUsable);
    struct Expect {
        const char* text;
        const char* fix;
    };
    for (const Expect& e :
         {Expect{"libusb 0.1", "apt install libusb-0.1-4"},
          Expect{"the kernel drives no parallel port", "modprobe parport_pc ppdev"},
          Expect{"Driver not open at 0x0378", "parallel-port line"},
          Expect{"real-time priority not permitted", "rtprio"}}) {
        const DoctorLine* l = line(r, e.text);
        ASSERT_NE(l, nullptr) << e.text;
        EXPECT_FALSE(l->ok) << e.text;
        EXPECT_THAT(l->fix, HasSubstr(e.fix)) << e.text;
        EXPECT_THAT(doctorLineText(*l), HasSubstr("FAIL ")) << e.text;
    }
    const DoctorLine* settings = line(r, "settings file: ");
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(settings->ok);
    EXPECT_THAT(settings->text, HasSubstr("not there yet"));
    for (const DoctorLine& l : r.lines)
        EXPECT_EQ(l.ok, l.fix.empty()) << "a failure needs a fix, a success none: " << l.text;
}

TEST_F(Doctor, ParallelPortsAreListedWithTheirNodesAndHolders) {
    put("proc/sys/dev/parport/parport0/base-addr", "888\t1912\n");
    put("proc/sys/dev/parport/parport0/devices/active", "lp\n");
    put("dev/parport0", "");
    put("proc/sys/dev/parport/parport1/base-addr", "53248\t-1\n");  // 0xD000, a PCI card
    rtRefusal.reset();
    const DoctorReport r = runDoctor(inputs());
    const DoctorLine* p0 = line(r, "parport0 at 0x0378 (base-addr 888)");
    ASSERT_NE(p0, nullptr);
    EXPECT_TRUE(p0->ok);
    EXPECT_THAT(p0->text, HasSubstr("in use by lp"));
    const DoctorLine* p1 = line(r, "parport1 at 0xD000");
    ASSERT_NE(p1, nullptr);
    EXPECT_FALSE(p1->ok);
    EXPECT_THAT(p1->text, HasSubstr("parport1 missing"));
    EXPECT_THAT(p1->fix, HasSubstr("/etc/modules-load.d/ppdev.conf"));
    const DoctorLine* rt = line(r, "real-time priority");
    ASSERT_NE(rt, nullptr);
    EXPECT_TRUE(rt->ok);
    // The port is held at start: the program takes it as it is, so it counts as usable.
    EXPECT_TRUE(r.transportUsable);
    const DoctorLine* driver = line(r, "port driver at 0x0378");
    ASSERT_NE(driver, nullptr);
    EXPECT_THAT(driver->text, HasSubstr("ppdev"));
}

// What may use the board's port or stand in for one: lp bound to the port, a USB printer
// cable, a PCI card the kernel does not drive, an adapter another program has claimed.
TEST_F(Doctor, NamesWhatDrivesTheLinesOrCannotDriveThem) {
    put("proc/sys/dev/parport/parport0/base-addr", "888\t1912\n");
    put("proc/sys/dev/parport/parport0/devices/lp/timeslice", "200\n");
    put("dev/parport0", "");
    put("sys/class/usbmisc/lp1/dev", "180:1\n");
    SteppingClock clock;
    ChipModel chip(clock);
    VirtualUsbBus bus(chip, 1);
    bus.faults().claimFails = true;  // EBUSY until configuration 1: another program's
    DoctorInputs in = inputs();
    in.usb = bus.api();
    const DoctorReport r = runDoctor(in);
    const DoctorLine* lp = line(r, "printer driver lp is bound");
    ASSERT_NE(lp, nullptr);
    EXPECT_FALSE(lp->ok);
    EXPECT_THAT(lp->fix, HasSubstr("blacklist lp"));
    const DoctorLine* cable = line(r, "USB printer cable lp1");
    ASSERT_NE(cable, nullptr);
    EXPECT_THAT(cable->text, HasSubstr("cannot drive single lines"));
    const DoctorLine* claim = line(r, "cannot be claimed");
    ASSERT_NE(claim, nullptr);
    EXPECT_THAT(claim->text, HasSubstr("another program or instance has it"));
    EXPECT_THAT(claim->fix, HasSubstr("--device"));

    // No port the kernel drives, but a card on the PCI bus: the card is named.
    std::filesystem::remove_all(dir / "proc/sys/dev/parport");
    put("sys/bus/pci/devices/0000:05:00.0/class", "0x070103\n");
    const DoctorReport card = runDoctor(inputs());
    const DoctorLine* named = line(card, "PCI device 0000:05:00.0");
    ASSERT_NE(named, nullptr);
    EXPECT_THAT(named->fix, HasSubstr("lspci -nn"));
    EXPECT_THAT(named->fix, HasSubstr("io_hi=0x778,0 irq=none,none"));
}

// The doctor's own backend over the port the window has open gives back only its own
// ioperm grant: the window's next access must not fault.
TEST_F(Doctor, ItsRawBackendLeavesTheWindowsGrantInPlace) {
    std::vector<std::tuple<unsigned long, unsigned long, int>> grants;
    uint8_t data = 0x5A;
    DoctorInputs in = inputs();
    in.port.directIo = true;
    in.port.ioperm = [&](unsigned long from, unsigned long n, int on) {
        grants.emplace_back(from, n, on);
        return 0;
    };
    in.port.inb = [&](uint16_t a) { return a == 0x378 ? data : uint8_t(0xFF); };
    in.port.outb = [&](uint8_t v, uint16_t a) {
        if (a == 0x378) data = v;
    };
    put("proc/ioports", "0000-0cf7 : PCI Bus 0000:00\n  0060-0060 : keyboard\n");
    HardwarePortIo window(in.port);
    ASSERT_TRUE(window.open(0x378)) << window.failureReasons();
    const DoctorReport r = runDoctor(in);
    const DoctorLine* driver = line(r, "port driver at 0x0378: ioperm");
    ASSERT_NE(driver, nullptr);
    for (const auto& g : grants) EXPECT_NE(std::get<2>(g), 0) << "a grant was revoked";
    EXPECT_EQ(grants.size(), 2u);
}

TEST_F(Doctor, KernelLockdownIsReadFromItsBracketedMode) {
    struct Case {
        const char* file;  // null: no lockdown file
        bool ok;
        const char* says;
    };
    for (const Case& c : {Case{nullptr, true, "not in effect"},
                          Case{"[none] integrity confidentiality\n", true, "none"},
                          Case{"none [integrity] confidentiality\n", false, "integrity"},
                          Case{"none integrity [confidentiality]\n", false, "confidentiality"}}) {
        std::filesystem::remove(dir / "sys/kernel/security/lockdown");
        if (c.file != nullptr) put("sys/kernel/security/lockdown", c.file);
        const DoctorReport r = runDoctor(inputs());
        const DoctorLine* l = line(r, "kernel lockdown");
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->ok, c.ok) << l->text;
        EXPECT_THAT(l->text, HasSubstr(c.says));
    }
}

TEST_F(Doctor, AnAdapterTheKernelListsButThisUserCannotOpenIsNamed) {
    const std::string sysfs = (dir / "sys/bus/usb/devices").string();
    const std::string devfs = (dir / "dev/bus/usb").string();
    // The adapter as 1-2 on bus 1, device 5; a mouse beside it.
    put("sys/bus/usb/devices/1-2/idVendor", "03e9\n");
    put("sys/bus/usb/devices/1-2/idProduct", "0309\n");
    put("sys/bus/usb/devices/1-2/busnum", "1\n");
    put("sys/bus/usb/devices/1-2/devnum", "5\n");
    put("sys/bus/usb/devices/1-3/idVendor", "046d\n");
    put("sys/bus/usb/devices/1-3/idProduct", "c077\n");
    put("sys/bus/usb/devices/1-3/busnum", "1\n");
    put("sys/bus/usb/devices/1-3/devnum", "6\n");
    auto found = inaccessibleAdapters(sysfs, devfs);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], devfs + "/001/005 missing");

    put("dev/bus/usb/001/005", "");
    EXPECT_TRUE(inaccessibleAdapters(sysfs, devfs).empty()) << "a node this user can open";
    const DoctorReport r = runDoctor(inputs());
    EXPECT_EQ(line(r, "not accessible"), nullptr);

    std::filesystem::remove(dir / "dev/bus/usb/001/005");
    const DoctorReport missing = runDoctor(inputs());
    const DoctorLine* l = line(missing, "ZVK_SPIUSB found but not accessible: ");
    ASSERT_NE(l, nullptr);
    EXPECT_FALSE(l->ok);
    EXPECT_THAT(l->fix, HasSubstr("60-zvk40310.rules"));
}

}  // namespace
}  // namespace zvk

namespace zvk {
namespace {

// What the window's Diagnose says around the lines: on the hardware whether the board can be
// reached; on a virtual board what is in use, and that the checks are of the real hardware.
TEST(DoctorSummary, NamesTheVirtualBoardInUse) {
    DoctorReport usable, unusable;
    usable.transportUsable = true;
    EXPECT_EQ(doctorSummary(usable, "").heading, "");
    EXPECT_EQ(doctorSummary(usable, "").verdict, "The board can be reached.");
    EXPECT_EQ(doctorSummary(unusable, "").verdict,
              "Neither the adapter nor a parallel port can be used.");
    const DoctorSummary v = doctorSummary(unusable, "virtual board on the parallel port");
    EXPECT_EQ(v.heading.rfind("In use: the virtual board on the parallel port", 0), 0u)
        << v.heading;
    EXPECT_NE(v.heading.find("real adapter and parallel ports"), std::string::npos) << v.heading;
    EXPECT_EQ(v.verdict, "For a real board: neither the adapter nor a parallel port can be used.");
}

}  // namespace
}  // namespace zvk
