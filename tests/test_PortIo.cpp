// SPDX-License-Identifier: MIT
// The hardware port backends on a scratch directory that stands in for /proc and /dev:
// a regular file as /dev/port takes the pread/pwrite backend's bytes at the port
// addresses, so its addressing can be checked without a parallel port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "chip/ChipController.h"
#include "transport/Lpt.h"
#include "transport/PortIo.h"

namespace zvk {
namespace {

constexpr const char* kIoports =
    "0000-0cf7 : PCI Bus 0000:00\n"
    "  0000-001f : dma1\n"
    "  0060-0060 : keyboard\n"
    "  0064-0064 : keyboard\n"
    "  0070-0071 : rtc_cmos\n"
    "    0070-0071 : rtc0\n"
    "  03bc-03be : parport0\n"
    "  03f8-03ff : serial\n"
    "0cf8-0cff : PCI conf1\n"
    "0d00-ffff : PCI Bus 0000:00\n";

namespace fs = std::filesystem;

struct Scratch {
    Scratch() {
        std::string tmpl = (fs::temp_directory_path() / "zvk-portio-XXXXXX").string();
        dir = mkdtemp(tmpl.data());
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void put(const std::string& relative, const std::string& text) const {
        const fs::path p = dir / relative;
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text;
    }
    // A file as large as the I/O port space, all 0xEE.
    std::string portFile() const {
        const fs::path p = dir / "port";
        std::ofstream(p, std::ios::binary) << std::string(0x10000, '\xEE');
        return p.string();
    }
    uint8_t byteAt(const std::string& file, size_t offset) const {
        std::ifstream f(file, std::ios::binary);
        f.seekg(std::streamoff(offset));
        return uint8_t(f.get());
    }
    PortIoPaths paths(const std::string& devPort = "") const {
        PortIoPaths p;
        p.procParport = (dir / "proc").string();
        p.devDir = (dir / "dev").string();
        p.devPort = devPort.empty() ? (dir / "no-port").string() : devPort;
        p.directIo = false;  // never touch real ports from a test
        // As a PC lists its legacy devices to root; nothing at 0x378.
        std::ofstream(dir / "ioports") << kIoports;
        p.ioports = (dir / "ioports").string();
        return p;
    }
    fs::path dir;
};

TEST(RawIoConflict, OnlyWhereNoOtherDeviceIsAndTheRangesCanBeSeen) {
    struct Case {
        uint16_t base;
        const char* says;  // null: nothing in the way
    };
    const Case cases[] = {
        {0x378, nullptr},  {0x064, "keyboard"}, {0x062, "keyboard"},  // 0x62..0x64 reaches it
        {0x070, "rtc0"},                      // the innermost entry names the device
        {0x3F6, "serial"}, {0x3BC, nullptr},  // parport0's own range
        {0xE000, nullptr},                    // inside a bus window only
        {0x0001, "dma1"},
    };
    for (const Case& c : cases) {
        const auto conflict = rawIoConflict(kIoports, c.base);
        if (c.says == nullptr) {
            EXPECT_FALSE(conflict.has_value()) << c.base << ": " << conflict.value_or("");
        } else {
            ASSERT_TRUE(conflict.has_value()) << c.base;
            EXPECT_NE(conflict->find(c.says), std::string::npos) << *conflict;
        }
    }
    // Without the right to see the ranges, nothing can be checked: nothing is risked.
    const std::string hidden = "0000-0000 : PCI Bus 0000:00\n  0000-0000 : dma1\n";
    for (const std::string& text : {hidden, std::string()}) {
        const auto conflict = rawIoConflict(text, 0x378);
        ASSERT_TRUE(conflict.has_value());
        EXPECT_NE(conflict->find("cannot be checked"), std::string::npos) << *conflict;
    }
}

// A PCI parallel-port card at 0xD010 (class 0x0701) and a network card beside it.
void putPciCards(const Scratch& s) {
    s.put("pci/0000:05:00.0/class", "0x070103\n");
    s.put("pci/0000:05:00.0/resource",
          "0x000000000000d010 0x000000000000d017 0x0000000000040101\n"
          "0x000000000000d000 0x000000000000d007 0x0000000000040101\n");
    s.put("pci/0000:03:00.0/class", "0x020000\n");
    s.put("pci/0000:03:00.0/resource",
          "0x000000000000e000 0x000000000000e01f 0x0000000000040101\n");
}

TEST(RawPortVerdict, OnlyAddressesKnownToBeAParallelPort) {
    Scratch s;
    putPciCards(s);
    const std::string pci = (s.dir / "pci").string();
    struct Case {
        uint16_t base;
        RawPortKnown known;
        const char* says;  // in the refusal
    };
    const Case cases[] = {
        {0x092, RawPortKnown::Refused, "below 0x100"},  // the chipset's fast reset
        {0x090, RawPortKnown::Refused, "below 0x100"},
        {0x0FD, RawPortKnown::Refused, "below 0x100"},
        {0x064, RawPortKnown::Refused, "keyboard"},
        {0x3BC, RawPortKnown::KernelNamed, ""},
        {0xD010, RawPortKnown::PciCard, ""},
        {0x378, RawPortKnown::LegacyAddress, ""},
        {0x278, RawPortKnown::LegacyAddress, ""},
        {0x2E8, RawPortKnown::Refused, "parport_pc io=0x2E8"},  // unlisted
        {0xE000, RawPortKnown::Refused, "0000:05:00.0 (class 0x070103) is probably the card"},
        {0xD000, RawPortKnown::PciCard, ""},  // any I/O range of the card
    };
    for (const Case& c : cases) {
        const RawPortVerdict v = rawPortVerdict(kIoports, pci, c.base);
        EXPECT_EQ(v.known, c.known) << std::hex << c.base << ": " << v.refusal;
        EXPECT_NE(v.refusal.find(c.says), std::string::npos)
            << std::hex << c.base << ": " << v.refusal;
        EXPECT_EQ(v.refusal.empty(), c.known != RawPortKnown::Refused) << v.refusal;
    }
    EXPECT_EQ(pciParallelCard(pci, 0xD016), "") << "the three registers must fit the range";
}

// The raw port instructions over a model of the I/O space: a port at 0x378 keeps what its
// data register is given, nothing answers anywhere else; every grant is logged.
struct RawModel {
    struct Grant {
        unsigned long from, count;
        int on;
        bool operator==(const Grant&) const = default;
    };
    void attach(PortIoPaths& p) {
        p.directIo = true;
        p.ioperm = [this](unsigned long from, unsigned long count, int on) {
            grants.push_back({from, count, on});
            return 0;
        };
        p.inb = [this](uint16_t a) { return a == 0x378 ? data : uint8_t(0xFF); };
        p.outb = [this](uint8_t v, uint16_t a) {
            written.emplace_back(a, v);
            if (a == 0x378) data = v;
        };
    }
    std::vector<Grant> grants;
    std::vector<std::pair<uint16_t, uint8_t>> written;
    uint8_t data = 0x5A;
};

TEST(HardwarePortIo, RawAccessOnlyWhereAPortAnswersAndOnlyZeroIsWrittenToFindOut) {
    Scratch s;
    RawModel m;
    PortIoPaths p = s.paths();
    m.attach(p);
    HardwarePortIo io(p);
    ASSERT_TRUE(io.open(0x378)) << io.failureReasons();
    EXPECT_EQ(io.name(), "ioperm");
    EXPECT_EQ(m.written, (std::vector<std::pair<uint16_t, uint8_t>>{{0x378, 0x00}}));

    m.written.clear();
    EXPECT_FALSE(io.open(0x278));
    EXPECT_NE(io.failureReasons().find("no parallel port answers at 0x278"), std::string::npos)
        << io.failureReasons();
    EXPECT_EQ(m.written, (std::vector<std::pair<uint16_t, uint8_t>>{{0x278, 0x00}}));

    m.grants.clear();
    m.written.clear();
    for (uint16_t base : {0x92, 0x90, 0x2E8}) {
        EXPECT_FALSE(io.open(base)) << base;
        EXPECT_NE(io.failureReasons().find("raw port access refused"), std::string::npos)
            << io.failureReasons();
    }
    EXPECT_TRUE(m.grants.empty()) << "no grant is even asked for";
    EXPECT_TRUE(m.written.empty());
}

// The doctor opens a second backend over the window's port and closes it: the grant the
// window's thread holds must outlive it.
TEST(HardwarePortIo, ClosingOneOfTwoGrantsOverAPortKeepsTheOther) {
    Scratch s;
    RawModel m;
    PortIoPaths p = s.paths();
    m.attach(p);
    using Grant = RawModel::Grant;
    auto window = std::make_unique<HardwarePortIo>(p);
    ASSERT_TRUE(window->open(0x378)) << window->failureReasons();
    {
        HardwarePortIo doctor(p);
        ASSERT_TRUE(doctor.open(0x378));
    }
    EXPECT_EQ(m.grants, (std::vector<Grant>{{0x378, 3, 1}, {0x378, 3, 1}}));
    window.reset();
    EXPECT_EQ(m.grants,
              (std::vector<Grant>{
                  {0x378, 3, 1}, {0x378, 3, 1}, {0x378, 1, 0}, {0x379, 1, 0}, {0x37A, 1, 0}}));
}

TEST(HardwarePortIo, RawAccessIsNotTriedWhereAnotherDeviceSits) {
    Scratch s;
    HardwarePortIo io(s.paths(s.portFile()));
    EXPECT_FALSE(io.open(0x64));
    EXPECT_NE(io.failureReasons().find("belongs to \"keyboard\""), std::string::npos)
        << io.failureReasons();
    EXPECT_TRUE(io.open(0x378)) << io.failureReasons();
}

TEST(ParportForBase, FindsThePortWhoseBaseAddrNamesTheBase) {
    Scratch s;
    s.put("proc/parport0/base-addr", "888\t1912\n");  // 0x378
    s.put("proc/parport1/base-addr", "956\t-1\n");    // 0x3BC
    s.put("proc/parport2/base-addr", "632\t1656\n");  // 0x278
    s.put("proc/parport3/base-addr", "");
    s.put("proc/parportX/base-addr", "888\n");
    s.put("proc/default/base-addr", "956\n");
    s.put("proc/parport4/base-addr", "888\t1912\n");  // a second port at 0x378
    const std::string proc = (s.dir / "proc").string();
    struct Case {
        int base;
        int port;
    };
    for (const Case& c :
         {Case{0x378, 0}, Case{0x3BC, 1}, Case{0x278, 2}, Case{0x2BC, -1}, Case{0, -1}}) {
        EXPECT_EQ(parportForBase(proc, c.base), c.port) << std::hex << c.base;
    }
    EXPECT_EQ(parportForBase((s.dir / "missing").string(), 0x378), -1);
}

TEST(HardwarePortIo, NamesWhyEachBackendFailed) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;
        std::string reason;
    };
    const Case cases[] = {
        {"no parallel port driver", {}, "ppdev: the kernel drives no parallel port"},
        {"no port at that base",
         {{"proc/parport0/base-addr", "956\t0\n"}},
         "ppdev: no kernel parallel port at 0x378"},
        {"no device node",
         {{"proc/parport0/base-addr", "888\t0\n"}},
         "/parport0: no such device (load the ppdev module)"},
        {"node is no parallel port",
         {{"proc/parport1/base-addr", "888\t0\n"}, {"dev/parport1", ""}},
         "/parport1: cannot claim the port"},
    };
    for (const Case& c : cases) {
        Scratch s;
        for (const auto& [path, text] : c.files) s.put(path, text);
        HardwarePortIo io(s.paths());
        EXPECT_FALSE(io.open(0x378)) << c.what;
        EXPECT_FALSE(io.isOpen());
        const std::string& r = io.failureReasons();
        EXPECT_NE(r.find(c.reason), std::string::npos) << c.what << ": " << r;
        // The fallback was tried after ppdev and said why too.
        const size_t fallback = r.find("no-port: not present");
        ASSERT_NE(fallback, std::string::npos) << r;
        EXPECT_LT(r.find(c.reason), fallback) << r;
    }
}

TEST(HardwarePortIo, ClosedPortReadsAllOnesAndIgnoresWrites) {
    Scratch s;
    HardwarePortIo io(s.paths());
    EXPECT_FALSE(io.open(0x378));
    EXPECT_EQ(io.name(), "none");
    io.writePort(0x378, 0x55);
    for (uint16_t a : {0x378, 0x379, 0x37A}) EXPECT_EQ(io.readPort(a), 0xFF);
}

TEST(HardwarePortIo, AddressZeroIsNeverOpened) {
    Scratch s;
    HardwarePortIo io(s.paths(s.portFile()));
    EXPECT_FALSE(io.open(0));
    EXPECT_NE(io.failureReasons().find("address 0"), std::string::npos);
    io.useBase(0x378);  // start-up replaces 0 by 0x378
    EXPECT_TRUE(io.isOpen());
}

TEST(HardwarePortIo, DevPortFallbackReachesOnlyThePortsThreeRegisters) {
    Scratch s;
    const std::string port = s.portFile();
    HardwarePortIo io(s.paths(port));
    ASSERT_TRUE(io.open(0x378)) << io.failureReasons();
    EXPECT_EQ(io.name(), port);
    EXPECT_NE(io.failureReasons().find("ppdev"), std::string::npos)
        << "why ppdev was not used stays readable";

    io.writePort(0x378, 0x08);
    io.writePort(0x37A, 0x03);
    io.writePort(0x377, 0x11);  // not this port's
    io.writePort(0x37B, 0x22);
    EXPECT_EQ(s.byteAt(port, 0x378), 0x08);
    EXPECT_EQ(s.byteAt(port, 0x37A), 0x03);
    EXPECT_EQ(s.byteAt(port, 0x377), 0xEE);
    EXPECT_EQ(s.byteAt(port, 0x37B), 0xEE);
    EXPECT_EQ(io.readPort(0x379), 0xEE);
    EXPECT_EQ(io.readPort(0x37A), 0x03);
    EXPECT_EQ(io.readPort(0x3BC), 0xFF);

    // A new base moves the window.
    io.useBase(0x278);
    ASSERT_TRUE(io.isOpen());
    io.writePort(0x278, 0x10);
    io.writePort(0x378, 0x00);
    EXPECT_EQ(s.byteAt(port, 0x278), 0x10);
    EXPECT_EQ(s.byteAt(port, 0x378), 0x08);
}

TEST(HardwarePortIo, CarriesTheLineLayerAndAWriteCycle) {
    Scratch s;
    const std::string port = s.portFile();
    HardwarePortIo io(s.paths(port));
    SteppingClock clock;
    Lpt lpt(io, clock);
    lpt.setBase(0);
    ASSERT_FALSE(io.isOpen());
    lpt.startUp(true);  // base 0 becomes 0x378, which opens the backend
    ASSERT_TRUE(io.isOpen());
    EXPECT_EQ(s.byteAt(port, 0x378), 0x00);
    EXPECT_EQ(s.byteAt(port, 0x37A), 0x03);
    LptLink link(lpt);
    ChipController cc(link);
    cc.setRealtime(false);
    cc.setSpiMode(true);
    cc.setRegs(kDefaultImage);
    cc.setRegister(5, 0xAAC);
    cc.setSendAlways(true);
    cc.afterChange();
    EXPECT_EQ(s.byteAt(port, 0x378), 0x10) << "MODSEL high, every other line low";
}

// A port the kernel lists, with a node that opens; devices/active says who holds it.
struct SharedPort : Scratch {
    SharedPort() {
        put("proc/parport0/base-addr", "888\t1912\n");
        put("dev/parport0", "");
        holder("lp");
    }
    void holder(const std::string& name) const { put("proc/parport0/devices/active", name + "\n"); }
};

TEST(HardwarePortIo, TransfersOnAPortHeldElsewhereAreSkippedAndToldOnce) {
    SharedPort s;
    HardwarePortIo io(s.paths(s.portFile()));
    std::vector<std::string> told;
    io.onBusy = [&](const std::string& why) { told.push_back(why); };
    // Held at open: taken as it is, not waited for, and no fallback to raw access.
    ASSERT_TRUE(io.open(0x378)) << io.failureReasons();
    EXPECT_EQ(io.name(), "ppdev " + (s.dir / "dev/parport0").string());
    for (int transfer = 0; transfer < 3; ++transfer) {
        io.beginTransfer();
        io.writePort(0x378, 0x08);
        EXPECT_EQ(io.readPort(0x379), 0xFF);
        io.endTransfer();
    }
    io.writePort(0x378, 0x00);  // an access of its own
    EXPECT_EQ(told, std::vector<std::string>{"parport0 is in use by lp"});

    // Free again: the claim is tried (this node is no port, so it fails and says so).
    s.holder("none");
    io.writePort(0x378, 0x08);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_NE(told[1].find("parport0: cannot claim the port"), std::string::npos) << told[1];
    // Held by someone else once more: told again.
    s.holder("ppdev0");
    io.writePort(0x378, 0x08);
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[2], "parport0 is in use by ppdev0");
}

TEST(HardwarePortIo, AHeldPortIsTriedAgainForTheBusyWaitOnly) {
    SharedPort s;
    HardwarePortIo io(s.paths(s.portFile()));
    std::vector<std::string> told;
    io.onBusy = [&](const std::string& why) { told.push_back(why); };
    ASSERT_TRUE(io.open(0x378)) << io.failureReasons();
    uint32_t slept = 0;
    io.setBusyWait(50, [&](uint32_t ms) { slept += ms; });
    io.beginTransfer();
    EXPECT_TRUE(io.transferSkipped());
    io.endTransfer();
    EXPECT_EQ(slept, 50u) << "gives up after the bound";
    EXPECT_EQ(told, std::vector<std::string>{"parport0 is in use by lp"});

    // The holder lets go while we wait: the claim is tried then (this node is no port).
    slept = 0;
    io.setBusyWait(1000, [&](uint32_t ms) {
        slept += ms;
        if (slept == 30) s.holder("none");
    });
    io.beginTransfer();
    io.endTransfer();
    ASSERT_EQ(told.size(), 2u);
    EXPECT_NE(told[1].find("cannot claim the port"), std::string::npos) << told[1];
    EXPECT_FALSE(io.transferSkipped()) << "outside a transfer nothing is skipped";
}

// A port the kernel lets us claim: the claim is a call that succeeds (the node is a plain
// file, so the other ioctls go nowhere).
struct FreePort : SharedPort {
    FreePort() { holder("none"); }
    PortIoPaths paths(std::chrono::milliseconds lockWait) const {
        PortIoPaths p = SharedPort::paths();
        p.lockWait = lockWait;
        p.ppclaim = [](int) { return 0; };
        return p;
    }
};

TEST(HardwarePortIo, TwoInstancesTakeTurnsInsteadOfClaimingTogether) {
    using namespace std::chrono_literals;
    FreePort s;
    HardwarePortIo first(s.paths(20ms));
    HardwarePortIo second(s.paths(20ms));
    std::vector<std::string> told;
    second.onBusy = [&](const std::string& why) { told.push_back(why); };
    ASSERT_TRUE(first.open(0x378)) << first.failureReasons();
    ASSERT_TRUE(second.open(0x378)) << second.failureReasons();

    first.beginTransfer();
    ASSERT_FALSE(first.transferSkipped());
    second.beginTransfer();  // no turn within the bound: skipped, not hung
    EXPECT_TRUE(second.transferSkipped());
    second.endTransfer();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("another instance of this program"), std::string::npos) << told[0];
    first.endTransfer();
    second.beginTransfer();
    EXPECT_FALSE(second.transferSkipped()) << "the turn is free once the first one released";
    second.endTransfer();

    // One waits while the other holds the port: it gets its turn when the other ends.
    HardwarePortIo patient(s.paths(60s));
    ASSERT_TRUE(patient.open(0x378));
    first.beginTransfer();
    bool skipped = true;
    std::thread t([&] {
        patient.beginTransfer();
        skipped = patient.transferSkipped();
        patient.endTransfer();
    });
    first.endTransfer();
    t.join();
    EXPECT_FALSE(skipped);
}

TEST(HardwarePortIo, AClaimThatSleepsIsEndedAndTheNodeOpenedAfresh) {
    using namespace std::chrono_literals;
    SharedPort s;
    s.holder("none");  // the kernel says nobody, yet the claim sleeps (a driver's race)
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    int claims = 0;
    bool freshDescription = false;
    PortIoPaths p = s.paths();
    p.claimWait = 20ms;
    p.ppclaim = [&](int fd) {
        ++claims;
        if (claims == 1) return 0;  // the claim at open
        if (claims == 2) {
            // Marks this open file description; a reopened node has a new one.
            fcntl(fd, F_SETOWN, getpid());
            char c;
            return int(read(pipeFds[0], &c, 1));  // sleeps until the bound interrupts it
        }
        freshDescription = fcntl(fd, F_GETOWN) == 0;
        return 0;
    };
    HardwarePortIo io(p);
    std::vector<std::string> told;
    io.onBusy = [&](const std::string& why) { told.push_back(why); };
    ASSERT_TRUE(io.open(0x378)) << io.failureReasons();
    io.beginTransfer();
    EXPECT_TRUE(io.transferSkipped());
    io.endTransfer();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("did not let go within 20 ms"), std::string::npos) << told[0];

    // Our lock went with the old descriptor: another instance gets its turn.
    PortIoPaths q = s.paths();
    q.lockWait = 20ms;
    q.ppclaim = [](int) { return 0; };
    HardwarePortIo other(q);
    ASSERT_TRUE(other.open(0x378));
    other.beginTransfer();
    EXPECT_FALSE(other.transferSkipped());
    other.endTransfer();

    io.beginTransfer();
    EXPECT_FALSE(io.transferSkipped());
    io.endTransfer();
    EXPECT_EQ(claims, 3);
    EXPECT_TRUE(freshDescription) << "the claim after an interrupted one uses a new descriptor";
    close(pipeFds[0]);
    close(pipeFds[1]);
}

TEST(HardwarePortIo, ABaseThatCannotBeHadKeepsTheWorkingOne) {
    Scratch s;
    const std::string port = s.portFile();
    HardwarePortIo io(s.paths(port));
    ASSERT_TRUE(io.open(0x378)) << io.failureReasons();
    std::string why;
    EXPECT_FALSE(io.switchBase(0x64, &why));  // the keyboard's
    EXPECT_NE(why.find("belongs to \"keyboard\""), std::string::npos) << why;
    EXPECT_TRUE(io.isOpen());
    io.writePort(0x378, 0x5A);
    EXPECT_EQ(s.byteAt(port, 0x378), 0x5A) << "the old base still works";

    why.clear();
    EXPECT_TRUE(io.switchBase(0x278, &why));
    EXPECT_EQ(why, "");
    io.writePort(0x278, 0x33);
    io.writePort(0x378, 0x44);  // no longer this port's
    EXPECT_EQ(s.byteAt(port, 0x278), 0x33);
    EXPECT_EQ(s.byteAt(port, 0x378), 0x5A);
}

TEST(HardwarePortIo, ABaseChangeWithNothingWorkingTakesTheNewBaseAndSaysWhy) {
    Scratch s;
    HardwarePortIo io(s.paths());
    ASSERT_FALSE(io.open(0x378));
    std::string why;
    EXPECT_TRUE(io.switchBase(0x3BC, &why));
    EXPECT_FALSE(io.isOpen());
    EXPECT_NE(why.find("no-port: not present"), std::string::npos) << why;
}

// On a machine without a parallel port the system's own paths fail with their reasons.
TEST(HardwarePortIo, SystemBackendsExplainThemselvesWhereThereIsNoPort) {
    HardwarePortIo io;
    if (io.open(0x378)) GTEST_SKIP() << "this machine has a port: " << io.name();
    const std::string& r = io.failureReasons();
    EXPECT_NE(r.find("ppdev"), std::string::npos) << r;
    EXPECT_NE(r.find("/dev/port"), std::string::npos) << r;
    EXPECT_EQ(io.readPort(0x379), 0xFF);
}

}  // namespace
}  // namespace zvk
