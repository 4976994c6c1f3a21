// SPDX-License-Identifier: MIT
// The write cycle over both word-level links, parallel port and adapter, on the same
// chip model: the same frames reach the chip, the adapter adds R7, and each link uses
// exactly its own number of port accesses or bulk transfers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "usb_test_support.h"

namespace zvk {
namespace {

using ::testing::Each;
using ::testing::ElementsAreArray;

struct Link {
    const char* name;
    bool usb;
    size_t frames;       // words a write cycle sends
    uint64_t accesses;   // parallel-port reads and writes of one write cycle
    uint64_t transfers;  // bulk transfers of one write cycle
};

class WriteCycleOverLinks : public ::testing::TestWithParam<Link> {};

TEST_P(WriteCycleOverLinks, TheChipLatchesEveryWordItGets) {
    const Link& link = GetParam();
    struct Case {
        const char* what;
        RegisterImage image;
        std::vector<uint16_t> words;  // R0..R7 as the chip must see them
    };
    const Case cases[] = {
        {"default image",
         kDefaultImage,
         {0x08C0, 0x8F42, 0xF144, 0x1006, 0x04B8, 0x2ACA, 0xE4BC, 0x000E}},
        {"every nibble different",
         {0x0A5, 0x5A3, 0xA5C, 0x13C, 0x7FF, 0xFFF, 0x001, 0xABC},
         {0x0A50, 0x5A32, 0xA5C4, 0x13C6, 0x7FF8, 0xFFFA, 0x001C, 0xABCE}},
        {"bits above 11 are never sent",
         {0xFFF, 0x000, 0xA5C, 0x1100, 0x001, 0x800, 0x3C3, 0x123},
         {0xFFF0, 0x0002, 0xA5C4, 0x1006, 0x0018, 0x800A, 0x3C3C, 0x123E}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::UsbBoard b(link.usb ? 1 : 0);
        if (link.usb) b.connect();
        if (!link.usb) b.lpt.startUp(true);  // the port's lines low, as at start
        ASSERT_EQ(b.usbInUse(), link.usb);
        b.controller.setRegs(c.image);
        b.chip.clearTrace();
        b.vport.resetCounts();
        b.bus.resetCounts();
        b.controller.writeCycle();

        const std::vector<uint16_t> expected(c.words.begin(), c.words.begin() + long(link.frames));
        EXPECT_THAT(b.chip.frames(), ElementsAreArray(expected));
        // SPISEL high under every frame and afterwards; nothing else on the lines.
        EXPECT_THAT(b.chip.frameLines(), Each(ChipModel::kSpisel));
        EXPECT_EQ(b.chip.lines(), ChipModel::kSpisel);
        EXPECT_EQ(b.chip.ignoredEdges(), 0u);
        EXPECT_TRUE(b.chip.readRequests().empty());
        const auto latched = b.chip.latched();
        for (size_t i = 0; i < 7; ++i) EXPECT_EQ(latched[i], c.image[i] & 0xFFF) << "R" << i;
        EXPECT_EQ(b.vport.accesses(), link.accesses);
        EXPECT_EQ(b.bus.transfers(), link.transfers);
        EXPECT_EQ(b.controller.writeCycles(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Links, WriteCycleOverLinks,
                         ::testing::Values(Link{"port", false, 7, 701, 0},
                                           Link{"adapter", true, 8, 0, 34}),
                         [](const auto& p) { return std::string(p.param.name); });

// The line settings and the start-up reset over both transports: the same bytes in the
// same order, on the port's data register or as WritePort on the adapter's line port.
TEST(LinesOverLinks, EachTransportGetsTheSameBytes) {
    struct Case {
        const char* what;
        void (*op)(SpiLink&);
        std::vector<uint8_t> bytes;  // as they go out
        int pumps;                   // passes of the message loop: one per step wait
    };
    const Case cases[] = {
        {"SPISEL on", [](SpiLink& l) { l.spiselLine(true); }, {0x08}, 1},
        {"SPISEL off", [](SpiLink& l) { l.spiselLine(false); }, {0x00}, 1},
        {"MODSEL on", [](SpiLink& l) { l.modselLine(true); }, {0x10}, 1},
        {"MODSEL off", [](SpiLink& l) { l.modselLine(false); }, {0x00}, 1},
        {"ABC 5", [](SpiLink& l) { l.abcPattern(5); }, {0x06}, 1},
        {"ABC 2", [](SpiLink& l) { l.abcPattern(2); }, {0x01}, 1},
        {"ABC 7", [](SpiLink& l) { l.abcPattern(7); }, {0x07}, 1},
        // The data lines low, then the control register's byte, without waits.
        {"start-up reset", [](SpiLink& l) { l.resetLines(); }, {0x00, 0x03}, 0},
    };
    for (const Case& c : cases) {
        for (const bool usb : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (usb ? " over the adapter" : " over the port"));
            test::UsbBoard b;
            b.connect();
            b.useAdapter(usb);
            ASSERT_EQ(b.usbInUse(), usb);
            b.link().writeLines(0xFF);  // whatever was on the lines before
            int pumps = 0;
            b.lpt.setMessagePump([&pumps] { ++pumps; });
            b.bus.resetCounts();
            b.vport.resetCounts();
            c.op(b.link());

            EXPECT_EQ(pumps, c.pumps);
            if (usb) {
                std::vector<VirtualUsbBus::Request> expected;
                for (uint8_t byte : c.bytes) expected.push_back({0x02, 0x01, byte});
                ASSERT_EQ(b.bus.requests().size(), expected.size());
                for (size_t i = 0; i < expected.size(); ++i)
                    EXPECT_TRUE(std::equal(expected[i].begin(), expected[i].end(),
                                           b.bus.requests()[i].begin()))
                        << "request " << i;
                EXPECT_EQ(b.vport.accesses(), 0u);
                // One line port: its last byte is the lines', whatever register it was for.
                EXPECT_EQ(b.link().lineByte(), c.bytes.back());
            } else {
                EXPECT_EQ(b.vport.writes(), c.bytes.size());
                EXPECT_EQ(b.vport.reads(), 0u);
                EXPECT_EQ(b.vport.data(), c.bytes.front());
                if (c.bytes.size() > 1) {
                    EXPECT_EQ(b.vport.control(), c.bytes.back());
                }
                EXPECT_EQ(b.link().lineByte(), c.bytes.front());
                EXPECT_EQ(b.bus.transfers(), 0u);
            }
            EXPECT_EQ(b.chip.lines(), b.link().lineByte()) << "the chip sees the line byte";
        }
    }
}

// The line byte is the lines', not one transport's: after a switch it is what the other
// transport left, until the transport in use writes its own.
TEST(LinesOverLinks, TheLineByteFollowsWhicheverTransportWroteLast) {
    test::UsbBoard b;
    b.connect();
    b.useAdapter(true);
    b.link().modselLine(true);
    b.useAdapter(false);
    EXPECT_EQ(b.link().lineByte(), 0x10);
    b.link().spiselLine(true);
    b.useAdapter(true);
    EXPECT_EQ(b.link().lineByte(), 0x08);
    EXPECT_EQ(b.lpt.lineByte(), 0x08);
}

}  // namespace
}  // namespace zvk
