// SPDX-License-Identifier: MIT
// zvk40310ctl doctor on a machine with no parallel port and no adapter, and the kernel's
// port names in --port.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "CtlRunner.h"
#include "TempDir.h"

namespace {

using ::testing::HasSubstr;

class CliDoctor : public zvk::test::TempDir {
  protected:
    CliDoctor() : TempDir("zvk-cli-doctor") {}
    void SetUp() override {
        TempDir::SetUp();
        // libusb looks at this tree first; an empty one has no adapter on it.
        std::filesystem::create_directories(dir / "dev/bus/usb");
        setenv("USB_DEVFS_PATH", (dir / "dev/bus/usb").c_str(), 1);
    }
};

TEST_F(CliDoctor, NothingThereNamesEachMissingPieceAndExitsTwo) {
    const auto r =
        zvk::test::runCtl({"doctor", "--root", dir.string(), "--settings", file("none.INI")});
    EXPECT_EQ(r.code, 2) << r.out << r.err;
    EXPECT_THAT(r.out, HasSubstr("FAIL the kernel drives no parallel port"));
    EXPECT_THAT(r.out, HasSubstr("-> sudo modprobe parport_pc ppdev"));
    EXPECT_THAT(r.out, HasSubstr("FAIL Driver not open at 0x0378"));
    EXPECT_THAT(r.out, HasSubstr("settings file: " + file("none.INI")));
    // The adapter: absent from the bus, or the library itself missing; either with its fix.
    const bool noLibrary = r.out.find("FAIL libusb 0.1") != std::string::npos;
    EXPECT_THAT(r.out,
                HasSubstr(noLibrary ? "apt install libusb-0.1-4" : "FAIL no ZVK_SPIUSB adapter"));

    const auto j = zvk::test::runCtl(
        {"doctor", "--root", dir.string(), "--settings", file("none.INI"), "--json"});
    EXPECT_EQ(j.code, 2);
    const nlohmann::json doc = j.json();
    EXPECT_FALSE(doc.value("usable", true));
    int failures = 0;
    for (const auto& l : doc["lines"]) {
        if (l.value("ok", true)) continue;
        ++failures;
        EXPECT_FALSE(l.value("fix", "").empty()) << l.dump();
    }
    EXPECT_GE(failures, 3);
}

TEST_F(CliDoctor, PortNamesMustBeKnownToTheKernel) {
    std::filesystem::create_directories(dir / "proc/sys/dev/parport/parport0");
    std::ofstream(dir / "proc/sys/dev/parport/parport0/base-addr") << "53248\t-1\n";
    const auto known = zvk::test::runCtl(
        {"doctor", "--root", dir.string(), "--port", "parport0", "--settings", file("none.INI")});
    EXPECT_THAT(known.out, HasSubstr("Driver not open at 0xD000")) << known.err;
    const auto unknown =
        zvk::test::runCtl({"doctor", "--root", dir.string(), "--port", "parport3"});
    // A port that is not there is hardware that cannot be reached, whether it is named or
    // given by its address: exit status 2.
    EXPECT_EQ(unknown.code, 2);
    EXPECT_THAT(unknown.err,
                HasSubstr("--port: the kernel drives no \"parport3\" (only parport0)"));
    // The board commands take the name too, from the system's list.
    const auto status = zvk::test::runCtl({"status", "--board", "virtual", "--port", "parport99"});
    EXPECT_EQ(status.code, 2);
    EXPECT_THAT(status.err, HasSubstr("--port: the kernel drives no \"parport99\""));
    // A port the kernel lists without I/O registers (a USB-to-parallel bridge).
    std::filesystem::create_directories(dir / "proc/sys/dev/parport/parport1");
    std::ofstream(dir / "proc/sys/dev/parport/parport1/base-addr") << "0\t0\n";
    const auto bridge = zvk::test::runCtl(
        {"doctor", "--root", dir.string(), "--port", "parport1", "--settings", file("none.INI")});
    EXPECT_EQ(bridge.code, 2);
    EXPECT_THAT(bridge.err, HasSubstr("has no I/O base"));
    EXPECT_THAT(bridge.err, HasSubstr("cannot set single lines"));
}

// list on a copied layout: every adapter by bus, device and port path with whether it
// opens, every kernel port with base and holder.
TEST_F(CliDoctor, ListNamesEachAdapterAndPortTheWayTheOptionsTakeThem) {
    auto put = [this](const std::string& rel, const std::string& text) {
        std::filesystem::create_directories((dir / rel).parent_path());
        std::ofstream(dir / rel) << text;
    };
    for (const auto& [port, bus, dev] :
         {std::tuple{"2-1", "2", "5"}, std::tuple{"1-1.4", "1", "7"}}) {
        const std::string d = std::string("sys/bus/usb/devices/") + port;
        put(d + "/idVendor", "03e9\n");
        put(d + "/idProduct", "0309\n");
        put(d + "/busnum", std::string(bus) + "\n");
        put(d + "/devnum", std::string(dev) + "\n");
    }
    put("dev/bus/usb/001/007", "");  // 002/005 is missing: cannot be opened
    put("proc/sys/dev/parport/parport0/base-addr", "888\t1912\n");
    put("proc/sys/dev/parport/parport0/devices/active", "lp\n");
    put("dev/parport0", "");
    const auto r = zvk::test::runCtl({"list", "--root", dir.string(), "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = r.json();
    ASSERT_EQ(j["adapters"].size(), 2u) << r.out;
    EXPECT_EQ(j["adapters"][0]["device"], "usb:1/7") << "by bus number first";
    EXPECT_EQ(j["adapters"][0]["port_path"], "1-1.4");
    EXPECT_EQ(j["adapters"][0]["can_open"], true);
    EXPECT_EQ(j["adapters"][1]["device"], "usb:2/5");
    EXPECT_EQ(j["adapters"][1]["can_open"], false);
    ASSERT_EQ(j["ports"].size(), 1u);
    EXPECT_EQ(j["ports"][0]["name"], "parport0");
    EXPECT_EQ(j["ports"][0]["base"], "0x378");
    EXPECT_EQ(j["ports"][0]["holder"], "lp");
    const auto text = zvk::test::runCtl({"list", "--root", dir.string()});
    EXPECT_THAT(text.out, HasSubstr("usb:1/7  ZVK_SPIUSB  usb:path=1-1.4"));
    EXPECT_THAT(text.out, HasSubstr("parport0  base 0x378  held by lp"));
}

// The adapter asked for or nothing: no quiet fallback that a script takes for success.
TEST(CliTransport, AChosenTransportThatCannotBeHadIsExitTwo) {
    struct Case {
        const char* args;
        int code;
        const char* says;  // on standard error, or the transport in the output
    };
    const Case cases[] = {
        {"status --board virtual --transport usb --json", 2, "--transport usb: no ZVK_SPIUSB"},
        {"status --board virtual-usb --transport usb --json", 0, "usb"},
        {"status --board virtual-usb --transport lpt --json", 0, "lpt"},
        {"status --board virtual-usb --device usb:1/2 --json", 1, "is a virtual board"},
        {"status --board hardware --device usb:0/2 --json", 1, "no bus and device number"},
        {"status --board hardware --device lpt:0x378 --json", 1, "chosen with --port"},
        {"status --board hardware --device usb:path=../x --json", 1, "is no USB port path"},
        {"status --board virtual --transport serial", 1, "--transport"},
    };
    for (const Case& c : cases) {
        const auto r = zvk::test::runCtl(c.args);
        EXPECT_EQ(r.code, c.code) << c.args << ": " << r.err;
        if (c.code == 0) {
            EXPECT_EQ(r.json()["transport"], c.says) << c.args;
            EXPECT_EQ(r.json().contains("adapter"), std::string(c.says) == "usb") << r.out;
        } else {
            EXPECT_THAT(r.err, HasSubstr(c.says)) << c.args;
        }
    }
}

}  // namespace
