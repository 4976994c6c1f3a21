// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <vector>

#include "board/VirtualAdapter.h"
#include "transport/Libusb32.h"
#include "usb_test_support.h"

namespace zvk {
namespace {

using test::RecordingReporter;
using test::UsbBoard;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// The libusb calls a search and set-up made, without the bookkeeping of the search itself.
std::vector<std::string> setupCalls(const VirtualUsbBus& bus) {
    std::vector<std::string> out;
    for (const std::string& c : bus.callLog())
        if (c == "usb_claim_interface" || c == "usb_set_configuration" ||
            c == "usb_release_interface" || c == "usb_close")
            out.push_back(c);
    return out;
}

TEST(TlibUSB, NoAdapterMeansNotReadySilentAndNoTransferEver) {
    UsbBoard b(0);
    {
        TlibUSB usb(b.bus.api(), reportUsbProblems(b.reporter));
        EXPECT_FALSE(usb.ready());
        EXPECT_EQ(usb.timeout(), 1000);
        std::array<uint8_t, 64> buf{};
        EXPECT_EQ(usb.BulkWrite(buf.data(), 64), 0);
        EXPECT_EQ(usb.BulkRead(buf.data(), 64), 0);
        // The search did run, over a bus with something else on it.
        EXPECT_EQ(b.bus.calls("usb_find_devices"), 1u);
        EXPECT_EQ(b.bus.calls("usb_open"), 0u);
    }
    EXPECT_EQ(b.bus.transfers(), 0u);
    EXPECT_THAT(setupCalls(b.bus), IsEmpty());  // nothing claimed, nothing to release
    EXPECT_THAT(b.reporter.messages, IsEmpty());
}

TEST(TlibUSB, MissingLibraryIsReportedOnceAndLeavesTheAdapterAbsent) {
    RecordingReporter reporter;
    {
        TlibUSB usb(nullptr, reportUsbProblems(reporter));
        EXPECT_FALSE(usb.ready());
        std::array<uint8_t, 64> buf{};
        EXPECT_EQ(usb.BulkWrite(buf.data(), 64), 0);
        EXPECT_EQ(usb.BulkRead(buf.data(), 64), 0);
    }
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].text, "Error loading libusb0.dll");
    EXPECT_EQ(reporter.messages[0].caption, "DLL Error");
    EXPECT_EQ(reporter.messages[0].icon, Reporter::Icon::None);
}

// Claim, set configuration, claim again: which calls are made, which messages appear,
// and whether the adapter then answers a command.
TEST(TlibUSB, ClaimAndConfigurationSequence) {
    struct Case {
        const char* name;
        bool claimFails, configFails;
        std::vector<std::string> openCalls;
        std::vector<std::string> openMessages;
        bool answers;
        std::vector<std::string> closeMessages;
    };
    const std::vector<Case> cases = {
        {"claimable at once", false, false, {"usb_claim_interface"}, {}, true, {}},
        // the configuration is never touched when the claim works
        {"configuration would fail", false, true, {"usb_claim_interface"}, {}, true, {}},
        {"needs configuration 1",
         true,
         false,
         {"usb_claim_interface", "usb_set_configuration", "usb_claim_interface"},
         {},
         true,
         {}},
        // Ready all the same; the interface was never claimed, so releasing it fails too.
        {"configuration fails",
         true,
         true,
         {"usb_claim_interface", "usb_set_configuration"},
         {"Error in USB configuration"},
         false,
         {"Could not close USB_Handle_Out"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UsbBoard b;
        b.bus.faults().claimFails = c.claimFails;
        b.bus.faults().configFails = c.configFails;
        auto usb = std::make_unique<TlibUSB>(b.bus.api(), reportUsbProblems(b.reporter));
        EXPECT_TRUE(usb->ready());
        EXPECT_THAT(setupCalls(b.bus), ElementsAreArray(c.openCalls));
        EXPECT_THAT(b.reporter.texts(), ElementsAreArray(c.openMessages));
        for (const auto& m : b.reporter.messages) {
            EXPECT_EQ(m.caption, "Handle Error");
            EXPECT_EQ(m.icon, Reporter::Icon::Error);
        }

        std::array<uint8_t, 64> buf{};
        buf[0] = 0x80;
        const int wrote = usb->BulkWrite(buf.data(), 64);
        const int read = usb->BulkRead(buf.data(), 64);
        if (c.answers) {
            EXPECT_EQ(wrote, 64);
            EXPECT_EQ(read, 64);
        } else {
            EXPECT_LT(wrote, 0);
            EXPECT_LT(read, 0);
        }

        b.bus.resetCounts();
        b.reporter.messages.clear();
        usb.reset();
        EXPECT_THAT(setupCalls(b.bus), ElementsAre("usb_release_interface", "usb_close"));
        EXPECT_THAT(b.reporter.texts(), ElementsAreArray(c.closeMessages));
        EXPECT_EQ(b.bus.openHandles(), 0);
    }
}

TEST(TlibUSB, ReleaseFailingIsReportedAndTheDeviceIsClosedAnyway) {
    UsbBoard b;
    auto usb = std::make_unique<TlibUSB>(b.bus.api(), reportUsbProblems(b.reporter));
    ASSERT_TRUE(usb->ready());
    b.bus.faults().releaseFails = true;
    usb.reset();
    ASSERT_EQ(b.reporter.messages.size(), 1u);
    EXPECT_EQ(b.reporter.messages[0].text, "Could not close USB_Handle_Out");
    EXPECT_EQ(b.reporter.messages[0].caption, "Handle Error");
    EXPECT_EQ(b.reporter.messages[0].icon, Reporter::Icon::Error);
    EXPECT_EQ(b.bus.calls("usb_close"), 1u);
    EXPECT_EQ(b.bus.openHandles(), 0);
}

// The virtual bus's table with the buses listed in reverse (as libusb may list them) and
// a claim that fails on the adapters a test names (another program has them).
struct ReorderedBus {
    explicit ReorderedBus(UsbBoard& b) : api(*b.bus.api()) {
        const LibusbApi& base = *b.bus.api();
        api.usb_get_busses = [this, &base] {
            struct usb_bus* first = base.usb_get_busses();
            second = *first->next;
            one = *first;
            one.next = nullptr;
            second.next = &one;  // bus 002 before bus 001
            return &second;
        };
        api.usb_open = [this, &base](struct usb_device* d) {
            usb_dev_handle* h = base.usb_open(d);
            opened[h] = d;
            return h;
        };
        api.usb_claim_interface = [this, &base](usb_dev_handle* h, int i) {
            for (struct usb_device* taken : held)
                if (opened[h] == taken) return -16;  // EBUSY: another program has it
            return base.usb_claim_interface(h, i);
        };
    }
    LibusbApi api;
    struct usb_bus one {
    }, second{};
    std::map<usb_dev_handle*, struct usb_device*> opened;
    std::vector<struct usb_device*> held;
};

TEST(TlibUSB, TheWalkGoesByBusThenDeviceNumberAndPassesOverAHeldAdapter) {
    struct Case {
        const char* what;
        AdapterChoice choice;
        bool holdLast;  // the adapter at bus 2 is another program's
        int used;       // -1: none
        int bus, device;
    };
    AdapterChoice first;
    first.bus = 1;
    first.device = 2;
    AdapterChoice missing;
    missing.bus = 1;
    missing.device = 9;
    AdapterChoice none;
    none.none = true;
    const Case cases[] = {
        {"the last in the fixed order, whatever libusb lists first", {}, false, 1, 2, 3},
        {"the next one when the last is held", {}, true, 0, 1, 2},
        {"by address", first, false, 0, 1, 2},
        {"by an address nobody has", missing, false, -1, -1, -1},
        {"none wanted", none, false, -1, -1, -1},
    };
    for (const Case& c : cases) {
        UsbBoard b(2);
        ReorderedBus r(b);
        TlibUSB probe(&r.api, {}, missing);  // fills the lists; takes nothing
        if (c.holdLast) r.held.push_back(r.api.usb_get_busses()->devices);
        b.bus.resetCounts();
        {
            TlibUSB usb(&r.api, reportUsbProblems(b.reporter), c.choice);
            EXPECT_EQ(usb.ready(), c.used >= 0) << c.what;
            EXPECT_EQ(b.bus.openedAdapter(), c.used) << c.what;
            EXPECT_EQ(usb.busNumber(), c.bus) << c.what;
            EXPECT_EQ(usb.deviceNumber(), c.device) << c.what;
            EXPECT_EQ(b.bus.openHandles(), c.used >= 0 ? 1 : 0) << c.what;
            EXPECT_EQ(b.bus.calls("usb_set_configuration"), 0u) << c.what;
        }
        EXPECT_THAT(b.reporter.messages, IsEmpty()) << c.what;
    }
}

TEST(TlibUSB, ASingleHeldAdapterKeepsTheConfigurationStepAndItsMessage) {
    UsbBoard b(1);
    b.bus.faults().claimFails = true;
    b.bus.faults().configFails = true;
    TlibUSB usb(b.bus.api(), reportUsbProblems(b.reporter));
    EXPECT_TRUE(usb.ready());
    EXPECT_THAT(setupCalls(b.bus), ElementsAre("usb_claim_interface", "usb_set_configuration"));
    ASSERT_EQ(b.reporter.messages.size(), 1u);
    EXPECT_EQ(b.reporter.messages[0].text, "Error in USB configuration");
}

TEST(TlibUSB, TwoAdaptersUseTheLastFoundAndCloseTheEarlierHandle) {
    UsbBoard b(2);
    {
        TlibUSB usb(b.bus.api(), reportUsbProblems(b.reporter));
        EXPECT_TRUE(usb.ready());
        EXPECT_EQ(b.bus.openedAdapter(), 1);
        EXPECT_EQ(b.bus.calls("usb_open"), 1u);  // only the adapter it keeps
        EXPECT_EQ(b.bus.openHandles(), 1);
        ASSERT_NE(usb.device(), nullptr);
        EXPECT_EQ(usb.device()->bus->location, 2u);
        EXPECT_FALSE(b.bus.adapter(0).interfaceClaimed);
        EXPECT_TRUE(b.bus.adapter(1).interfaceClaimed);
    }
    EXPECT_EQ(b.bus.openHandles(), 0);
    EXPECT_THAT(b.reporter.messages, IsEmpty());
}

// A device node the user may not open gives no handle: the adapter counts as absent,
// instead of claims and transfers on a null handle.
TEST(TlibUSB, AdapterThatCannotBeOpenedCountsAsAbsent) {
    UsbBoard b;
    b.bus.faults().openFails = true;
    {
        TlibUSB usb(b.bus.api(), reportUsbProblems(b.reporter));
        EXPECT_FALSE(usb.ready());
        EXPECT_EQ(usb.handle(), nullptr);
        EXPECT_EQ(b.bus.calls("usb_open"), 1u);
        std::array<uint8_t, 64> buf{};
        EXPECT_EQ(usb.BulkWrite(buf.data(), 64), 0);
    }
    EXPECT_THAT(setupCalls(b.bus), IsEmpty());
    EXPECT_EQ(b.bus.transfers(), 0u);
    EXPECT_THAT(b.reporter.messages, IsEmpty());
}

TEST(TlibUSB, FailedTransfersHandTheLibusbErrorBack) {
    struct Case {
        const char* name;
        bool unplugged, timeout;
        int result;
    };
    const Case cases[] = {
        {"unplugged", true, false, VirtualUsbBus::kErrNoDevice},
        {"time-out", false, true, VirtualUsbBus::kErrTimeout},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UsbBoard b;
        TlibUSB usb(b.bus.api(), reportUsbProblems(b.reporter));
        ASSERT_TRUE(usb.ready());
        b.bus.faults().unplugged = c.unplugged;
        b.bus.faults().timeout = c.timeout;
        std::array<uint8_t, 64> buf{};
        EXPECT_EQ(usb.BulkWrite(buf.data(), 64), c.result);
        EXPECT_EQ(usb.BulkRead(buf.data(), 64), c.result);
        EXPECT_EQ(b.bus.transfers(), 2u);
    }
}

}  // namespace
}  // namespace zvk
