// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "board/VirtualAdapter.h"
#include "usb_test_support.h"

namespace zvk {
namespace {

using test::UsbBoard;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Packet = VirtualUsbBus::Packet;

Packet request(std::initializer_list<uint8_t> head) {
    Packet p{};
    size_t i = 0;
    for (uint8_t b : head) p[i++] = b;
    return p;
}

// The firmware alone, as the adapter sees a request; the packet comes back as the reply.
Packet ask(VirtualUsbBus& bus, std::initializer_list<uint8_t> head) {
    Packet p = request(head);
    bus.firmwareCommand(0, p);
    return p;
}

// An image whose R3 keeps MFO on "SPI out", so every register can be read back, with
// values that differ in every nibble from the power-on image.
constexpr RegisterImage kImage = {0x0A5, 0x5A3, 0xA5C, 0x13C, 0x7FF, 0xFFF, 0x001, 0xABC};

// SpiWrite shifts exactly the given number of bits, MSB first from data byte 0, and
// ends with one SDEN pulse; the chip model's decoding shows what arrived.
TEST(VirtualAdapter, SpiWriteShiftsTheGivenBitsThenPulsesSden) {
    struct Case {
        const char* name;
        Packet req;
        std::vector<uint16_t> frames;
        std::vector<uint8_t> readRequests;
        uint64_t ignoredEdges;
    };
    const Case cases[] = {
        {"16-bit frame", request({0x07, 0x01, 0x32, 16, 0xA5, 0xC4}), {0xA5C4}, {}, 0},
        {"read request in the upper nibble", request({0x07, 0x01, 0x32, 4, 0xF0}), {}, {0xF}, 0},
        {"lower nibble is not sent", request({0x07, 0x01, 0x32, 4, 0x3F}), {}, {0x3}, 0},
        {"24 bits: the chip keeps the last 16",
         request({0x07, 0x01, 0x32, 24, 0xFF, 0xA5, 0xC4}),
         {0xA5C4},
         {},
         0},
        {"8 bits are too few for a frame", request({0x07, 0x01, 0x32, 8, 0xA4}), {}, {}, 1},
        {"no bits, only the pulse", request({0x07, 0x01, 0x32, 0, 0xFF}), {}, {}, 1},
        {"another selector does nothing", request({0x07, 0x02, 0x32, 16, 0xA5, 0xC4}), {}, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UsbBoard b;
        Packet p = c.req;
        b.bus.firmwareCommand(0, p);
        EXPECT_THAT(b.chip.frames(), ElementsAreArray(c.frames));
        EXPECT_THAT(b.chip.readRequests(), ElementsAreArray(c.readRequests));
        EXPECT_EQ(b.chip.ignoredEdges(), c.ignoredEdges);
        EXPECT_EQ(b.chip.lines() & (ChipModel::kSden | ChipModel::kSclk | ChipModel::kSdta), 0);
    }
}

// SpiRead samples MFO before each clock, gives no SDEN pulse, and packs the word so that
// the register read's decoding gets it whole and the write cycle's gets it shifted by 4.
TEST(VirtualAdapter, SpiReadPacksTheWordForBothDecodings) {
    UsbBoard b;
    b.connect();
    b.controller.setRegs(kImage);
    b.controller.writeCycle();
    b.clock.advance(20000);  // past any synthesizer settling: R7 stays put
    const auto latched = b.chip.latched();
    for (int a = 0; a < 8; ++a) {
        SCOPED_TRACE(a);
        ask(b.bus, {0x07, 0x01, 0x32, 4, uint8_t((a * 2 + 1) << 4)});
        const size_t frames = b.chip.frames().size();
        const size_t requests = b.chip.readRequests().size();
        const uint64_t ignored = b.chip.ignoredEdges();

        const Packet reply = ask(b.bus, {0x81, 0x01, 0x32, 12});

        const uint16_t v = latched[size_t(a)];
        EXPECT_EQ(reply[4], v >> 4);
        EXPECT_EQ(reply[5], (v & 0xF) << 4);
        for (size_t i = 6; i < 12; ++i) EXPECT_EQ(reply[i], 0) << i;
        EXPECT_EQ(uint16_t(reply[4] << 4 | reply[5] >> 4), v);                     // register read
        EXPECT_EQ(uint16_t(reply[4] | (reply[5] & 0x0F) << 8), uint16_t(v >> 4));  // write cycle
        EXPECT_EQ(b.chip.frames().size(), frames);
        EXPECT_EQ(b.chip.readRequests().size(), requests);
        EXPECT_EQ(b.chip.ignoredEdges(), ignored);
    }
}

TEST(VirtualAdapter, RegisterReadAgreesAcrossBothTransports) {
    UsbBoard b;
    b.connect();
    ASSERT_TRUE(b.usbInUse());
    b.controller.setRegs(kImage);
    b.controller.writeCycle();
    b.clock.advance(20000);
    const auto latched = b.chip.latched();
    for (int a = 0; a < 8; ++a) {
        SCOPED_TRACE(a);
        b.useAdapter(true);
        b.bus.resetCounts();
        const auto usb = b.controller.registerRead(a);
        EXPECT_EQ(b.bus.transfers(), 4u);
        b.useAdapter(false);
        b.vport.resetCounts();
        const auto port = b.controller.registerRead(a);
        EXPECT_GT(b.vport.accesses(), 0u);
        ASSERT_TRUE(usb && port);
        EXPECT_EQ(*usb, *port);
        EXPECT_EQ(*usb, latched[size_t(a)]);
        EXPECT_EQ(b.controller.readBack()[size_t(a)], *usb);
    }
}

// ReadInput answers 0 exactly when MFO is high, as the port's masked BUSY bit does.
TEST(VirtualAdapter, ReadInputFollowsMfoLikeThePortStatusBit) {
    struct Case {
        const char* name;
        uint16_t r3;
        int readRegister;  // -1: no read request
        bool high;
    };
    const Case cases[] = {
        {"SPI out, R4 bit 0 set", 0x13C, 4, true},
        {"SPI out, R2 bit 0 clear", 0x13C, 2, false},
        {"SPI out, no read running", 0x13C, -1, false},
        {"logic 1", 0x33C, -1, true},
        {"other setting", 0x23C, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UsbBoard b;
        b.connect();
        b.controller.setRegs(kImage);
        b.controller.setRegister(3, c.r3);
        b.controller.writeCycle();
        if (c.readRegister >= 0)
            ask(b.bus, {0x07, 0x01, 0x32, 4, uint8_t((c.readRegister * 2 + 1) << 4)});
        ASSERT_EQ(b.chip.mfo(), c.high);

        const Packet reply = ask(b.bus, {0x83, 0x02, 0x00});
        EXPECT_EQ(reply[3], b.vport.readPort(0x379) & 0x80);
        EXPECT_EQ(reply[3] == 0, c.high);
        b.useAdapter(true);
        EXPECT_EQ(b.link().readMfo(), c.high);
        b.useAdapter(false);
        EXPECT_EQ(b.link().readMfo(), c.high);
    }
}

TEST(VirtualAdapter, ReadAnalogReportsTheReferenceLevel) {
    struct Case {
        uint8_t enable;
        uint16_t mv;
        uint8_t channel;
        uint16_t expected;
    };
    const Case cases[] = {
        {1, 5000, 7, 5000}, {1, 3300, 7, 3300},
        {1, 0, 7, 0},       {0, 0, 7, 1800},  // external reference
        {1, 3300, 3, 0},                      // another channel measures nothing here
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.enable) << "/" << c.mv << " ch" << int(c.channel));
        UsbBoard b;
        b.bus.setExternalLevel(1800);
        TZVK_SPIUSB& usb = b.connect();
        usb.SetLevel(c.enable, c.mv);
        uint16_t value = 0xFFFF;
        usb.ReadAnalog(c.channel, value);
        EXPECT_EQ(value, c.expected);
        EXPECT_EQ(b.bus.adapter(0).levelEnabled, c.enable == 1);
    }
}

TEST(VirtualAdapter, WritePortDrivesTheLinesAndSelectsSurviveSpiWrite) {
    UsbBoard b;
    TZVK_SPIUSB& usb = b.connect();
    usb.WritePort(0x01, ChipModel::kSpisel | ChipModel::kModsel);
    EXPECT_EQ(b.chip.lines(), ChipModel::kSpisel | ChipModel::kModsel);
    usb.SpiWrite(0x01, 50, 16, {0xA5, 0xC4});
    EXPECT_THAT(b.chip.frameLines(), ElementsAre(ChipModel::kSpisel | ChipModel::kModsel));
    EXPECT_EQ(b.chip.lines(), ChipModel::kSpisel | ChipModel::kModsel);
    usb.WritePort(0x01, 0x06);  // an ABC pattern: preset 5
    EXPECT_EQ(b.chip.abcPreset(), 5);
    EXPECT_EQ(b.bus.adapter(0).linePort, 0x06);
}

TEST(VirtualAdapter, FaultsFailTheVersionCheck) {
    struct Case {
        const char* name;
        void (*arm)(VirtualUsbBus::Faults&);
        bool ready;
        std::string version;
    };
    const Case cases[] = {
        {"healthy", [](VirtualUsbBus::Faults&) {}, true, "ZVK-SPIUSB v1.3"},
        {"wrong version", [](VirtualUsbBus::Faults& f) { f.wrongVersion = true; }, true,
         "ZVK-SPIUSB v1.2"},
        // a failed read leaves the request in the buffer: fifteen zero bytes
        {"time-out", [](VirtualUsbBus::Faults& f) { f.timeout = true; }, true,
         std::string(15, '\0')},
        {"unplugged before the search", [](VirtualUsbBus::Faults& f) { f.unplugged = true; }, false,
         std::string(15, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UsbBoard b;
        c.arm(b.bus.faults());
        TZVK_SPIUSB& usb = b.connect();
        EXPECT_EQ(usb.DeviceReady(), c.ready);
        EXPECT_EQ(usb.GetVersion(), c.version);
        EXPECT_EQ(b.usbInUse(), c.version == "ZVK-SPIUSB v1.3");
    }
}

// The adapter pulled out in the middle of a write cycle: the cycle runs to its end with
// every command tried, the chip keeps the frames that made it, and the next version
// check fails.
TEST(VirtualAdapter, UnpluggedDuringAWriteCycle) {
    UsbBoard b;
    TZVK_SPIUSB& usb = b.connect();
    b.controller.setRegs(kDefaultImage);
    b.chip.clearTrace();
    b.bus.resetCounts();
    // WritePort, R0 and R1 (two commands each), then the request of R2's SpiWrite: 11.
    b.bus.faults().unplugAfter = 11;
    b.controller.writeCycle();

    EXPECT_EQ(b.controller.writeCycles(), 1u);
    EXPECT_EQ(b.bus.transfers(), 34u);
    EXPECT_THAT(b.chip.frames(), ElementsAre(0x08C0, 0x8F42, 0xF144));
    EXPECT_FALSE(usb.VersionMatches());
    EXPECT_TRUE(b.bus.faults().unplugged);
    // A gone device cannot be released.
    b.usb.reset();
    EXPECT_THAT(b.reporter.texts(), ElementsAre("Could not close USB_Handle_Out"));
    EXPECT_EQ(b.bus.openHandles(), 0);
}

}  // namespace
}  // namespace zvk
