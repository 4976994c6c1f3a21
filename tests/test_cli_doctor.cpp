// SPDX-License-Identifier: MIT
// zvk40310ctl doctor on a machine with no parallel port and no adapter, and the kernel's
// port names in --port.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

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
}

}  // namespace
