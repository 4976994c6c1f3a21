// SPDX-License-Identifier: MIT
// The line layer against a port that records every access, and against the virtual
// board for what the chip sees.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "board/ChipModel.h"
#include "board/VirtualPort.h"
#include "transport/Lpt.h"
#include "transport/SpiLink.h"

namespace zvk {
namespace {

struct Access {
    bool write;
    uint16_t address;
    uint8_t value;
    bool operator==(const Access&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Access& a) {
    return os << (a.write ? "W " : "R ") << std::hex << a.address << "=" << int(a.value);
}

// Registers that read back what was written (or what a test put there).
class RecordingPort : public PortIo {
  public:
    uint8_t readPort(uint16_t address) override {
        const uint8_t v = regs[address];
        log.push_back({false, address, v});
        return v;
    }
    void writePort(uint16_t address, uint8_t value) override {
        regs[address] = value;
        log.push_back({true, address, value});
    }
    std::string name() const override { return "recording"; }

    std::map<uint16_t, uint8_t> regs;
    std::vector<Access> log;
};

struct LptTest : ::testing::Test {
    LptTest() {
        lpt.setBase(0x378);
        lpt.setMessagePump([this] { ++pumps; });
    }
    SteppingClock clock;
    RecordingPort port;
    Lpt lpt{port, clock};
    LptLink link{lpt};  // the line settings are the port transport's
    int pumps = 0;
};

TEST_F(LptTest, LineSettingsComposeTheWholeByteAndWaitOnce) {
    struct Case {
        const char* what;
        void (*op)(SpiLink&);
        uint8_t byte;
    };
    const Case cases[] = {
        {"SPISEL on", [](SpiLink& l) { l.spiselLine(true); }, 0x08},
        {"SPISEL off", [](SpiLink& l) { l.spiselLine(false); }, 0x00},
        {"MODSEL on", [](SpiLink& l) { l.modselLine(true); }, 0x10},
        {"MODSEL off", [](SpiLink& l) { l.modselLine(false); }, 0x00},
        {"ABC 5", [](SpiLink& l) { l.abcPattern(5); }, 0x06},
        {"ABC 2", [](SpiLink& l) { l.abcPattern(2); }, 0x01},
        {"ABC 0", [](SpiLink& l) { l.abcPattern(0); }, 0x00},
        {"ABC 1", [](SpiLink& l) { l.abcPattern(1); }, 0x02},
        {"ABC 7", [](SpiLink& l) { l.abcPattern(7); }, 0x07},
    };
    for (const Case& c : cases) {
        port.regs[0x378] = 0xFF;  // whatever was on the lines before
        port.log.clear();
        pumps = 0;
        c.op(link);
        EXPECT_EQ(port.log, (std::vector<Access>{{true, 0x378, c.byte}})) << c.what;
        EXPECT_EQ(link.lineByte(), c.byte) << c.what;
        EXPECT_EQ(pumps, 1) << c.what << ": the step delay of 0.01 us is one pass";
    }
}

TEST_F(LptTest, AbcPatternSelectsEveryPresetOnTheBoard) {
    SteppingClock c;
    ChipModel chip(c);
    VirtualPort vport(chip);
    Lpt board(vport, c);
    LptLink boardLink(board);
    board.setBase(0x378);
    for (int preset = 0; preset < 8; ++preset) {
        boardLink.abcPattern(preset);
        EXPECT_EQ(chip.abcPreset(), preset);
    }
}

TEST_F(LptTest, PinOperationsReadModifyWriteTheirRegister) {
    struct Case {
        const char* what;
        int pin;
        bool set;
        uint8_t before;
        uint16_t address;
        uint8_t written;
    };
    const Case cases[] = {
        // Control register bits 0, 1 and 3 are inverted at the connector.
        {"pin 16 high clears control bit 0", 16, true, 0x03, 0x37A, 0x02},
        {"pin 16 low sets control bit 0", 16, false, 0x02, 0x37A, 0x03},
        {"pin 17 high clears control bit 1", 17, true, 0x03, 0x37A, 0x01},
        {"pin 19 high clears control bit 3", 19, true, 0x08, 0x37A, 0x00},
        {"pin 18 is not inverted", 18, true, 0x00, 0x37A, 0x04},
        {"data pin 2 set", 2, true, 0x10, 0x378, 0x14},
        {"data pin 2 clear", 2, false, 0x14, 0x378, 0x10},
        {"data pin 0 set", 0, true, 0x08, 0x378, 0x09},
        {"data pin 7 set", 7, true, 0x00, 0x378, 0x80},
    };
    for (const Case& c : cases) {
        port.regs[c.address] = c.before;
        port.log.clear();
        if (c.set)
            lpt.setPin(c.pin);
        else
            lpt.clearPin(c.pin);
        EXPECT_EQ(port.log,
                  (std::vector<Access>{{false, c.address, c.before}, {true, c.address, c.written}}))
            << c.what;
    }
}

TEST_F(LptTest, ClockPulseAndDataBitAreSixAccessesWithoutWaits) {
    port.regs[0x378] = 0x08;
    lpt.setSdta(1);
    lpt.sclkPulse(1);
    const std::vector<Access> expected = {
        {false, 0x378, 0x08}, {true, 0x378, 0x0C},  // SDTA up
        {false, 0x378, 0x0C}, {true, 0x378, 0x0E},  // SCLK up
        {false, 0x378, 0x0E}, {true, 0x378, 0x0C},  // SCLK down
    };
    EXPECT_EQ(port.log, expected);
    EXPECT_EQ(pumps, 0);
    port.log.clear();
    lpt.sdenPulse();
    EXPECT_EQ(
        port.log,
        (std::vector<Access>{
            {false, 0x378, 0x0C}, {true, 0x378, 0x0D}, {false, 0x378, 0x0D}, {true, 0x378, 0x0C}}));
}

TEST_F(LptTest, MfoIsTheInvertedBusyBitOfTheStatusRegister) {
    struct Case {
        uint8_t status;
        bool high;
    };
    for (const Case& c :
         {Case{0x00, true}, Case{0x7F, true}, Case{0x80, false}, Case{0xFF, false}}) {
        port.regs[0x379] = c.status;
        EXPECT_EQ(lpt.readMfo(), c.high) << int(c.status);
    }
}

TEST_F(LptTest, BaseAddressPlacesAllThreeRegisters) {
    for (int base : {0x378, 0x3BC, 0x278}) {
        lpt.setBase(base);
        port.log.clear();
        link.spiselLine(true);
        lpt.readMfo();
        lpt.setPin(16);
        ASSERT_EQ(port.log.size(), 4u);
        EXPECT_EQ(port.log[0].address, base);
        EXPECT_EQ(port.log[1].address, base + 1);
        EXPECT_EQ(port.log[2].address, base + 2);
        EXPECT_EQ(port.log[3].address, base + 2);
    }
}

TEST_F(LptTest, StartUpWritesOnlyWhenTheDriverOpened) {
    struct Case {
        int storedBase;
        bool driverOpen;
        int base;
        std::vector<Access> writes;
    };
    const Case cases[] = {
        {0, true, 0x378, {{true, 0x378, 0}, {true, 0x37A, 3}}},
        {0x3BC, true, 0x3BC, {{true, 0x3BC, 0}, {true, 0x3BE, 3}}},
        {0, false, 0x378, {}},
        {0x278, false, 0x278, {}},
    };
    for (const Case& c : cases) {
        RecordingPort p;
        Lpt l(p, clock);
        l.setBase(c.storedBase);
        l.startUp(c.driverOpen);
        EXPECT_EQ(l.base(), c.base);
        EXPECT_EQ(l.driverOpen(), c.driverOpen);
        EXPECT_EQ(p.log, c.writes) << c.storedBase;
    }
}

TEST_F(LptTest, StartUpLeavesTheVirtualPortAtLinesLowAndControlThree) {
    SteppingClock c;
    ChipModel chip(c);
    VirtualPort vport(chip);
    vport.writePort(0x378, 0x1F);
    vport.writePort(0x37A, 0x00);
    Lpt l(vport, c);
    l.setBase(0);
    l.startUp(true);
    EXPECT_EQ(vport.data(), 0x00);
    EXPECT_EQ(vport.control(), 0x03);
    EXPECT_EQ(chip.lines(), 0x00);
}

TEST_F(LptTest, MicrosecondWaitProcessesMessagesUntilTheCountsPassed) {
    struct Case {
        uint32_t us;
        uint64_t step;  // counts per counter read
        int pumps;
    };
    const Case cases[] = {
        {0, 1, 1},                 // at least one pass, even for nothing
        {1, 1, 1},  {5, 1, 5},     // one count per pass
        {5, 10, 1}, {100, 30, 4},  // 30, 60, 90, 120
    };
    for (const Case& c : cases) {
        SteppingClock stepping(c.step);
        Lpt l(port, stepping);
        int n = 0;
        l.setMessagePump([&n] { ++n; });
        l.microsecondWait(c.us);
        EXPECT_EQ(n, c.pumps) << c.us << " us at " << c.step;
    }
}

TEST_F(LptTest, WaitWithoutAPumpStillEnds) {
    Lpt l(port, clock);
    l.microsecondWait(50);
    EXPECT_GE(clock.peek(), 50u);
}

}  // namespace
}  // namespace zvk
