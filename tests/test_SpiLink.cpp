// SPDX-License-Identifier: MIT
// The write cycle over both word-level links, parallel port and adapter, on the same
// chip model: the same frames reach the chip, the adapter adds R7, and each link uses
// exactly its own number of port accesses or bulk transfers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zvk
