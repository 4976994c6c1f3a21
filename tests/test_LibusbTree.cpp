// SPDX-License-Identifier: MIT
// The system's libusb 0.1 (libusb-0.1.so.4) run through the program's device access on a
// fake device tree: libusb 0.1.12 reads the folder USB_DEVFS_PATH names, one folder per
// bus and one file per device holding its descriptors. A regular file is no usbfs node,
// so every ioctl on it fails: the claim fails as it does on a node without usbfs.
// Each test runs in a process of its own (libusb keeps its folder from the first search).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "session/Doctor.h"
#include "transport/Zvk_spiusb.h"
#include "usb_test_support.h"

namespace zvk {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The adapter's descriptors as the kernel's usbfs file gives them: the device descriptor
// (its words in the processor's order), then configuration 1 with interface 0 and the
// two bulk endpoints.
std::string adapterDescriptors() {
    const std::vector<uint8_t> bytes = {
        // device: bLength, bDescriptorType, bcdUSB, class, subclass, protocol, EP0 size,
        // idVendor 0x03E9, idProduct 0x0309, bcdDevice, strings, bNumConfigurations 1
        18, 1, 0x00, 0x02, 0, 0, 0, 64, 0xE9, 0x03, 0x09, 0x03, 0x00, 0x01, 0, 0, 0, 1,
        // configuration: wTotalLength 32, one interface, value 1, bus powered, 100 mA
        9, 2, 32, 0, 1, 1, 0, 0x80, 50,
        // interface 0: two endpoints, vendor class
        9, 4, 0, 0, 2, 0xFF, 0, 0, 0,
        // endpoint 0x01 OUT bulk 64, endpoint 0x81 IN bulk 64
        7, 5, 0x01, 2, 64, 0, 0, 7, 5, 0x81, 2, 64, 0, 0};
    return std::string(bytes.begin(), bytes.end());
}

class LibusbTree : public test::TempDir {
  protected:
    LibusbTree() : TempDir("zvk-libusb-tree") {}
    void SetUp() override {
        TempDir::SetUp();
        api = systemLibusb();
        if (api == nullptr) GTEST_SKIP() << "libusb-0.1.so.4 is not installed here";
        devfs = (dir / "dev/bus/usb").string();
        setenv("USB_DEVFS_PATH", devfs.c_str(), 1);
    }
    void node(const std::string& relative, const std::string& bytes) const {
        put("dev/bus/usb/" + relative, bytes);
    }
    void sysfsEntry(int bus, int dev) const {
        const std::string d = "sys/bus/usb/devices/1-" + std::to_string(dev) + "/";
        put(d + "idVendor", "03e9\n");
        put(d + "idProduct", "0309\n");
        put(d + "busnum", std::to_string(bus) + "\n");
        put(d + "devnum", std::to_string(dev) + "\n");
    }
    const LibusbApi* api = nullptr;
    std::string devfs;
};

TEST_F(LibusbTree, TheAdapterIsFoundAndItsClaimFailsAsWithoutUsbfs) {
    node("001/001", "");  // a root hub whose descriptors cannot be read
    node("001/004", adapterDescriptors());
    test::RecordingReporter reporter;
    TZVK_SPIUSB adapter(api, reportUsbProblems(reporter));
    TlibUSB& usb = adapter.usb();
    ASSERT_NE(usb.device(), nullptr) << "the search found the adapter in the tree";
    EXPECT_EQ(usb.device()->descriptor.idVendor, TlibUSB::kVendor);
    EXPECT_EQ(usb.device()->descriptor.idProduct, TlibUSB::kProduct);
    EXPECT_STREQ(usb.device()->filename, "004");
    // Neither the claim nor the configuration can be had: the message, and Ready all the
    // same; the adapter then answers nothing, so the version check fails.
    EXPECT_THAT(reporter.texts(), ElementsAre("Error in USB configuration"));
    EXPECT_EQ(reporter.messages[0].caption, "Handle Error");
    EXPECT_TRUE(adapter.DeviceReady());
    EXPECT_FALSE(adapter.VersionMatches());
    EXPECT_FALSE(adapter.lastReplyArrived());
    usb.Release();  // quietly, as at the end of the program
    EXPECT_THAT(reporter.texts(), ElementsAre("Error in USB configuration"));
}

TEST_F(LibusbTree, ANodeThatCannotBeOpenedIsAbsentToLibusbAndNamedByTheCheck) {
    // A folder where the node should be opens for neither reading nor writing as a file,
    // even for root: libusb passes over it without a word.
    std::filesystem::create_directories(std::filesystem::path(devfs) / "001/004");
    node("001/002", "");  // something else on the bus, so the tree counts as usbfs
    sysfsEntry(1, 4);
    test::RecordingReporter reporter;
    TZVK_SPIUSB adapter(api, reportUsbProblems(reporter));
    EXPECT_FALSE(adapter.DeviceReady());
    EXPECT_EQ(adapter.usb().device(), nullptr);
    EXPECT_TRUE(reporter.messages.empty()) << "no message box: the adapter is simply absent";

    const auto hidden = inaccessibleAdapters((dir / "sys/bus/usb/devices").string(), devfs);
    ASSERT_EQ(hidden.size(), 1u);
    EXPECT_THAT(hidden[0], HasSubstr(devfs + "/001/004 ("));

    DoctorInputs in = DoctorInputs::under(dir.string());
    in.usb = api;
    in.realtime = [] { return std::nullopt; };
    const DoctorReport r = runDoctor(in);
    bool named = false;
    for (const DoctorLine& l : r.lines)
        named = named ||
                (l.text.rfind("ZVK_SPIUSB found but not accessible: " + devfs, 0) == 0 && !l.ok);
    EXPECT_TRUE(named);
    EXPECT_FALSE(r.transportUsable);
}

}  // namespace
}  // namespace zvk
