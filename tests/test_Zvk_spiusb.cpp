// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "transport/Zvk_spiusb.h"
#include "usb_test_support.h"

namespace zvk {
namespace {

using test::UsbBoard;
using ::testing::ElementsAreArray;

using Bytes = std::vector<uint8_t>;

// The request bytes a command set, then every other byte of the 64 must be zero.
void expectRequest(const VirtualUsbBus::Request& p, const Bytes& head) {
    EXPECT_EQ(p.size(), 64u) << "a request is 64 bytes";
    for (size_t i = 0; i < p.size(); ++i)
        EXPECT_EQ(p[i], i < head.size() ? head[i] : 0) << "request byte " << i;
}

// Wraps a function table to see the arguments of every bulk call on their way down.
struct BulkTap {
    struct Call {
        bool write;
        int endpoint, length, timeout;
    };
    std::vector<Call> calls;
    LibusbApi api;

    explicit BulkTap(const LibusbApi& inner) : api(inner) {
        api.usb_bulk_write = [this, inner](usb_dev_handle* h, int ep, char* b, int n, int t) {
            calls.push_back({true, ep, n, t});
            return inner.usb_bulk_write(h, ep, b, n, t);
        };
        api.usb_bulk_read = [this, inner](usb_dev_handle* h, int ep, char* b, int n, int t) {
            calls.push_back({false, ep, n, t});
            return inner.usb_bulk_read(h, ep, b, n, t);
        };
    }
};

struct CommandCase {
    const char* name;
    std::function<void(TZVK_SPIUSB&)> run;
    Bytes request;
};

const std::vector<CommandCase>& commandCases() {
    static const std::vector<CommandCase> cases = {
        {"SetLevel 1/5000", [](TZVK_SPIUSB& u) { u.SetLevel(1, 5000); }, {0x05, 0x01, 0x13, 0x88}},
        {"SetLevel 0/0", [](TZVK_SPIUSB& u) { u.SetLevel(0, 0); }, {0x05, 0x00, 0x00, 0x00}},
        {"Configure", [](TZVK_SPIUSB& u) { u.Configure(); }, {0x06, 0x01, 0x01, 0x01}},
        {"WritePort", [](TZVK_SPIUSB& u) { u.WritePort(0x01, 0x18); }, {0x02, 0x01, 0x18}},
        {"SpiWrite, all eight data bytes copied",
         [](TZVK_SPIUSB& u) {
             u.SpiWrite(0x01, 0x32, 16, {0xA5, 0xC4, 1, 2, 3, 4, 5, 6});
         },
         {0x07, 0x01, 0x32, 0x10, 0xA5, 0xC4, 1, 2, 3, 4, 5, 6}},
        {"SpiRead",
         [](TZVK_SPIUSB& u) {
             std::array<uint8_t, 8> d{};
             u.SpiRead(0x01, 0x32, 12, d);
         },
         {0x81, 0x01, 0x32, 0x0C}},
        {"GetVersion", [](TZVK_SPIUSB& u) { u.GetVersion(); }, {0x80}},
        {"ReadInput",
         [](TZVK_SPIUSB& u) {
             uint8_t s = 0;
             u.ReadInput(0x02, 0x00, s);
         },
         {0x83, 0x02, 0x00}},
        {"ReadAnalog",
         [](TZVK_SPIUSB& u) {
             uint16_t v = 0;
             u.ReadAnalog(7, v);
         },
         {0x85, 0x07}},
    };
    return cases;
}

// Every command is one 64-byte write to 0x01 and one 64-byte read from 0x81, with the
// request bytes the adapter expects and zeros elsewhere.
TEST(TZVK_SPIUSB, EveryCommandIsOneRequestAndOneReplyOf64Bytes) {
    for (const CommandCase& c : commandCases()) {
        SCOPED_TRACE(c.name);
        UsbBoard b;
        BulkTap tap(*b.bus.api());
        TZVK_SPIUSB usb(&tap.api, reportUsbProblems(b.reporter));
        ASSERT_TRUE(usb.DeviceReady());
        tap.calls.clear();
        b.bus.resetCounts();

        c.run(usb);

        ASSERT_EQ(tap.calls.size(), 2u);
        EXPECT_TRUE(tap.calls[0].write);
        EXPECT_EQ(tap.calls[0].endpoint, 0x01);
        EXPECT_FALSE(tap.calls[1].write);
        EXPECT_EQ(tap.calls[1].endpoint, 0x81);
        for (const auto& call : tap.calls) {
            EXPECT_EQ(call.length, 64);
            EXPECT_EQ(call.timeout, 1000);
        }
        ASSERT_EQ(b.bus.requests().size(), 1u);
        expectRequest(b.bus.requests()[0], c.request);
    }
}

TEST(TZVK_SPIUSB, ConstructorConfiguresTheAdapter) {
    UsbBoard b;
    b.connect();
    ASSERT_GE(b.bus.requests().size(), 1u);
    expectRequest(b.bus.requests()[0], {0x06, 0x01, 0x01, 0x01});
    EXPECT_THAT(b.bus.adapter(0).configuration, ElementsAreArray({1, 1, 1}));
}

// Whatever is called while no adapter is open, not one libusb transfer happens, and the
// version check fails.
TEST(TZVK_SPIUSB, NothingTravelsWhileNotReady) {
    for (const int adapters : {0, 1}) {
        SCOPED_TRACE(adapters);
        UsbBoard b(adapters);
        b.bus.faults().openFails = true;  // with one adapter: found but never opened
        TZVK_SPIUSB& usb = b.connect();
        EXPECT_FALSE(usb.DeviceReady());
        EXPECT_FALSE(b.usbInUse());
        for (const CommandCase& c : commandCases()) c.run(usb);
        EXPECT_FALSE(usb.VersionMatches());

        // The register routines with the dispatch forced onto the absent adapter.
        b.useAdapter(true);
        b.controller.setRegs(kDefaultImage);
        b.controller.writeCycle();
        b.controller.registerRead(7);
        b.link().modselLine(true);
        b.link().readMfo();

        EXPECT_EQ(b.bus.transfers(), 0u);
        EXPECT_EQ(b.bus.calls("usb_bulk_write"), 0u);
        EXPECT_EQ(b.bus.calls("usb_bulk_read"), 0u);
        EXPECT_TRUE(b.bus.requests().empty());
    }
}

// A scripted adapter: one device whose every reply is the given 64 bytes.
struct ScriptedAdapter {
    struct usb_bus bus {};
    struct usb_device dev {};
    std::array<uint8_t, 64> reply{};
    LibusbApi api;
    int token = 0;

    ScriptedAdapter() {
        dev.descriptor.idVendor = 0x03E9;
        dev.descriptor.idProduct = 0x0309;
        dev.bus = &bus;
        bus.devices = &dev;
        api.usb_init = [] {};
        api.usb_find_busses = [] { return 1; };
        api.usb_find_devices = [] { return 1; };
        api.usb_get_busses = [this] { return &bus; };
        api.usb_open = [this](struct usb_device*) {
            return reinterpret_cast<usb_dev_handle*>(&token);
        };
        api.usb_claim_interface = [](usb_dev_handle*, int) { return 0; };
        api.usb_set_configuration = [](usb_dev_handle*, int) { return 0; };
        api.usb_release_interface = [](usb_dev_handle*, int) { return 0; };
        api.usb_close = [](usb_dev_handle*) { return 0; };
        api.usb_bulk_write = [](usb_dev_handle*, int, char*, int n, int) { return n; };
        api.usb_bulk_read = [this](usb_dev_handle*, int, char* b, int n, int) {
            std::memcpy(b, reply.data(), size_t(n));
            return n;
        };
    }
};

TEST(TZVK_SPIUSB, VersionMatchesOnlyTheExactFifteenCharacters) {
    struct Case {
        const char* name;
        std::string bytes1on;  // reply bytes from 1 on; the rest stays zero
        bool match;
    };
    const std::string filler(48, '\x7F');
    const Case cases[] = {
        {"exact", "ZVK-SPIUSB v1.3", true},
        {"exact, anything after byte 15", "ZVK-SPIUSB v1.3" + filler, true},
        {"other version", "ZVK-SPIUSB v1.4", false},
        {"lower case", "zvk-spiusb v1.3", false},
        {"one letter's case", "ZVK-SPIUSB V1.3", false},
        {"short text followed by zeros", "ZVK-SPIUSB v1.", false},
        {"short text followed by zeros, prefix only", "ZVK", false},
        {"shifted by one byte", std::string("\0ZVK-SPIUSB v1.3", 16), false},
        {"nothing", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedAdapter a;
        std::memcpy(&a.reply[1], c.bytes1on.data(), std::min<size_t>(c.bytes1on.size(), 63));
        test::RecordingReporter r;
        TZVK_SPIUSB usb(&a.api, reportUsbProblems(r));
        ASSERT_TRUE(usb.DeviceReady());
        EXPECT_EQ(usb.VersionMatches(), c.match);
        EXPECT_EQ(TZVK_SPIUSB::versionMatches(usb.GetVersion()), c.match);
    }
}

TEST(TZVK_SPIUSB, RepliesReachTheCallers) {
    ScriptedAdapter a;
    test::RecordingReporter r;
    TZVK_SPIUSB usb(&a.api, reportUsbProblems(r));
    for (size_t i = 0; i < 64; ++i) a.reply[i] = uint8_t(0xC0 + i);

    std::array<uint8_t, 8> data{};
    EXPECT_EQ(usb.SpiRead(0x01, 0x32, 12, data), 0xC4);
    EXPECT_THAT(data, ElementsAreArray({0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB}));
    uint8_t state = 0;
    EXPECT_EQ(usb.ReadInput(0x02, 0x00, state), 0xC3);
    EXPECT_EQ(state, 0xC3);
    uint16_t mv = 0;
    usb.ReadAnalog(7, mv);
    EXPECT_EQ(mv, 0xC1 * 256 + 0xC2);
}

// The packets of the register operations with the adapter in use.
TEST(TZVK_SPIUSB, RegisterOperationPackets) {
    struct Case {
        const char* name;
        int32_t del;
        std::function<void(ChipController&)> run;
        std::vector<Bytes> requests;
    };
    const Case cases[] = {
        {"register read of R7",
         50,
         [](ChipController& c) { c.registerRead(7); },
         {{0x07, 0x01, 0x32, 0x04, 0xF0}, {0x81, 0x01, 0x32, 0x0C}}},
        {"register read of R2, only the low three address bits",
         50,
         [](ChipController& c) { c.registerRead(10); },
         {{0x07, 0x01, 0x32, 0x04, 0x50}, {0x81, 0x01, 0x32, 0x0C}}},
        {"DEL 300 travels as its low byte",
         300,
         [](ChipController& c) { c.registerRead(0); },
         {{0x07, 0x01, 0x2C, 0x04, 0x10}, {0x81, 0x01, 0x2C, 0x0C}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UsbBoard b;
        b.connect();
        ASSERT_TRUE(b.usbInUse());
        b.controller.setDel(c.del);
        b.bus.resetCounts();
        c.run(b.controller);
        ASSERT_EQ(b.bus.requests().size(), c.requests.size());
        for (size_t i = 0; i < c.requests.size(); ++i)
            expectRequest(b.bus.requests()[i], c.requests[i]);
    }
}

TEST(TZVK_SPIUSB, WriteCycleSendsSpiselThenEachRegisterWithARead) {
    UsbBoard b;
    b.connect();
    b.controller.setRegs(kDefaultImage);
    b.controller.setRegister(2, 0xA5C);
    b.bus.resetCounts();
    b.controller.writeCycle();

    const auto& req = b.bus.requests();
    ASSERT_EQ(req.size(), 17u);
    EXPECT_EQ(b.bus.transfers(), 34u);
    expectRequest(req[0], {0x02, 0x01, 0x08});
    const Bytes frames[8] = {{0x08, 0xC0}, {0x8F, 0x42}, {0xA5, 0xC4}, {0x10, 0x06},
                             {0x04, 0xB8}, {0x2A, 0xCA}, {0xE4, 0xBC}, {0x00, 0x0E}};
    for (size_t i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        expectRequest(req[1 + 2 * i], {0x07, 0x01, 0x32, 0x10, frames[i][0], frames[i][1]});
        expectRequest(req[2 + 2 * i], {0x81, 0x01, 0x32, 0x0C});
    }
}

}  // namespace
}  // namespace zvk
