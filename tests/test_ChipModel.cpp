// SPDX-License-Identifier: MIT
// The virtual chip on its own, driven pin by pin by a bit-banger written here, so that the
// model's decoding is checked against waveforms and not against the program's encoder.
#include <gtest/gtest.h>

#include <cmath>

#include "board/ChipModel.h"

namespace zvk {
namespace {

constexpr uint8_t SDEN = ChipModel::kSden, SCLK = ChipModel::kSclk, SDTA = ChipModel::kSdta,
                  SPISEL = ChipModel::kSpisel;

struct Pins {
    ChipModel& chip;
    uint8_t rest = 0;  // SPISEL/MODSEL levels kept under the serial lines

    void bits(uint32_t value, int count) {
        for (int b = count - 1; b >= 0; --b) {
            const uint8_t d = ((value >> b) & 1) ? SDTA : 0;
            chip.setLines(uint8_t(rest | d));
            chip.setLines(uint8_t(rest | d | SCLK));
            chip.setLines(uint8_t(rest | d));
        }
    }
    void sden() {
        chip.setLines(uint8_t(rest | SDEN));
        chip.setLines(rest);
    }
    void word(uint16_t w) {
        bits(w, 16);
        sden();
    }
    void write(int reg, uint16_t value) { word(uint16_t((value << 4) | (reg << 1))); }
    // Sends the read request and collects 12 bits the way both transports do: sample,
    // then one clock.
    uint16_t read(int reg) {
        bits(uint32_t(reg * 2 + 1), 4);
        sden();
        uint16_t v = 0;
        for (int i = 0; i < 12; ++i) {
            if (chip.mfo()) v = uint16_t(v | (1u << i));
            chip.setLines(uint8_t(rest | SCLK));
            chip.setLines(rest);
        }
        return v;
    }
};

struct ModelTest : ::testing::Test {
    SteppingClock clock{0};  // moves only when a test advances it
    ChipModel chip{clock};
    Pins pins{chip};
};

TEST_F(ModelTest, PowersUpWithTheDefaultImage) {
    const auto l = chip.latched();
    const uint16_t expected[7] = {0x08C, 0x8F4, 0xF14, 0x100, 0x04B, 0x2AC, 0xE4B};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(l[size_t(i)], expected[i]) << "R" << i;
    EXPECT_EQ((l[3] >> 8) & 0xF, 1) << "MFO must start as SPI out";
}

TEST_F(ModelTest, LatchesWordsFromTheLastSixteenBits) {
    // Leading junk bits fall out of the shift register.
    pins.bits(0x3, 5);
    pins.word(0xA5C4);  // R2 = 0xA5C
    pins.write(6, 0x123);
    EXPECT_EQ(chip.latched()[2], 0xA5C);
    EXPECT_EQ(chip.latched()[6], 0x123);
    EXPECT_EQ(chip.frames(), (std::vector<uint16_t>{0xA5C4, 0x123C}));
    EXPECT_EQ(chip.ignoredEdges(), 0u);
}

TEST_F(ModelTest, WritesToTheStatusRegisterAreTracedButNotStored) {
    const uint16_t before = chip.statusWord();
    pins.write(7, 0xFFF);
    EXPECT_EQ(chip.frames().size(), 1u);
    EXPECT_EQ(chip.statusWord(), before);
}

TEST_F(ModelTest, EdgesAfterTooFewBitsAreIgnoredAndCounted) {
    struct Case {
        uint32_t bits;
        int count;
        bool ignored;
    };
    const Case cases[] = {
        {0x0000, 0, true},    // SDEN with nothing clocked
        {0x00C0, 15, true},   // a write one bit short
        {0x0003, 3, true},    // a read request one bit short
        {0x000F, 4, false},   // a full read request
        {0x08C0, 16, false},  // a full write
    };
    for (const Case& c : cases) {
        chip.clearTrace();
        pins.bits(c.bits, c.count);
        pins.sden();
        EXPECT_EQ(chip.ignoredEdges(), c.ignored ? 1u : 0u) << c.count;
        EXPECT_EQ(chip.frames().size() + chip.readRequests().size(), c.ignored ? 0u : 1u);
    }
    EXPECT_EQ(chip.latched()[0], 0x08C);
}

TEST_F(ModelTest, ReadShiftsTheRegisterOutLeastSignificantBitFirst) {
    pins.write(5, 0xA53);
    pins.write(1, 0x0F4);  // SHOWLD off, so R7 below carries the RSSI flag
    struct Case {
        int reg;
        uint16_t value;
    };
    for (const Case& c : {Case{5, 0xA53}, Case{1, 0x0F4}, Case{3, 0x100}}) {
        EXPECT_EQ(pins.read(c.reg), c.value) << "R" << c.reg;
        EXPECT_EQ(chip.readRequests().back(), c.reg * 2 + 1);
    }
    EXPECT_EQ(pins.read(7), chip.statusWord());
    // Past the twelfth bit nothing more comes out.
    EXPECT_FALSE(chip.mfo());
}

TEST_F(ModelTest, MfoPinFollowsTheMfoField) {
    struct Case {
        uint16_t r3;
        bool pin;
    };
    const Case cases[] = {
        {0x000, false},  // 0000
        {0x100, false},  // SPI out with no read shifting out
        {0x200, false},  // 0010
        {0x300, true},   // 0011 logic 1
        {0x500, false},  // 0101
        {0x800, true},   // LD out with the synthesizer shut down: never locked
        {0xF00, false},
    };
    for (const Case& c : cases) {
        pins.write(3, c.r3);
        EXPECT_EQ(chip.mfo(), c.pin) << std::hex << c.r3;
    }
}

TEST_F(ModelTest, ReportsTheAbcPresetWhileSpiselIsLow) {
    struct Case {
        uint8_t lines;
        int preset;
    };
    const Case cases[] = {{0x00, 0},
                          {SCLK, 1},
                          {SDEN, 2},
                          {SDEN | SCLK, 3},
                          {SDTA, 4},
                          {SDTA | SCLK, 5},
                          {SDTA | SDEN | SCLK, 7},
                          {SPISEL | SDTA, -1}};
    for (const Case& c : cases) {
        chip.setLines(c.lines);
        EXPECT_EQ(chip.abcPreset(), c.preset) << int(c.lines);
    }
}

TEST_F(ModelTest, KeepsTheLineStatesOfSpiselAndModsel) {
    pins.rest = SPISEL;
    pins.write(0, 0x08D);
    pins.rest = 0x10;
    pins.sden();  // too few bits: only the line change counts
    EXPECT_EQ(chip.frameLines(), std::vector<uint8_t>{SPISEL});
    EXPECT_EQ(chip.selectHistory(), (std::vector<uint8_t>{SPISEL, 0x10}));
}

// Status words worked out by hand from the documented physics (default image otherwise:
// SHOWLD 1, RIFF 684 so fIFF = 2 MHz, IFFPRES 75, auto adjustment on).
TEST_F(ModelTest, StatusWordFollowsTheLatchedRegisters) {
    struct Case {
        const char* what;
        uint16_t r0, r1, r5, r6;
        double dbm;
        uint16_t word;
    };
    const Case cases[] = {
        {"shut down: no lock, filter tuned at its preset", 0x08C, 0x8F4, 0x2AC, 0xE4B, -60, 0x04B},
        {"receiving and settled: locked", 0x08D, 0x8F4, 0x2AC, 0xE4B, -60, 0x44B},
        {"synthesizer only also locks", 0x08F, 0x8F4, 0x2AC, 0xE4B, -60, 0x44B},
        {"RSSI flag: signal in range", 0x08D, 0x0F4, 0x2AC, 0xE4B, -60, 0x44B},
        {"RSSI flag: signal below -100 dBm", 0x08D, 0x0F4, 0x2AC, 0xE4B, -110, 0x04B},
        {"RSSI flag: signal above -30 dBm", 0x08D, 0x0F4, 0x2AC, 0xE4B, -20, 0xC4B},
        {"RSSI high shown beside lock", 0x08D, 0x8F4, 0x2AC, 0xE4B, -20, 0xC4B},
        {"no RSSI without Receive", 0x08F, 0x0F4, 0x2AC, 0xE4B, -20, 0x04B},
        {"fIFF 1.8 MHz: tune up, value 75 - 10", 0x08C, 0x8F4, 0x2F8, 0xE4B, -60, 0x141},
        {"fIFF 2.28 MHz: tune dn, value 75 + 14", 0x08C, 0x8F4, 0x258, 0xE4B, -60, 0x259},
        {"halted: state follows, value stays", 0x08C, 0x8F4, 0x2F8, 0xF4B, -60, 0x14B},
        {"auto adjustment off: CCO fail", 0x08C, 0x8F4, 0x2AC, 0xC4B, -60, 0x34B},
        {"RIFF 0: CCO fail", 0x08C, 0x8F4, 0x000, 0xE4B, -60, 0x34B},
        {"fIFF 0.68 MHz: CCO fail", 0x08C, 0x8F4, 0x7D0, 0xE4B, -60, 0x34B},
        {"value held at 255", 0x08C, 0x8F4, 0x258, 0xEFA, -60, 0x2FF},
    };
    for (const Case& c : cases) {
        pins.write(0, c.r0);
        pins.write(1, c.r1);
        pins.write(5, c.r5);
        pins.write(6, c.r6);
        chip.setTestSignal(c.dbm);
        EXPECT_EQ(chip.statusWord(), c.word) << c.what;
        EXPECT_EQ(chip.latched()[7], c.word) << c.what;
    }
}

// LD out: the pin is high from the latch of a changed R2, R3 or R4 until the synthesizer
// has settled. Settling times by hand: 1 ms + 20 us per MHz of LO1 step, at most 15 ms.
TEST_F(ModelTest, LockDetectSettlesWithTheFrequencyStep) {
    struct Case {
        const char* what;
        uint16_t r4Before;  // R before the step
        int reg;
        uint16_t value;
        uint64_t settleUs;  // 0: never locks
    };
    // From LO1 = 10/75 * (32*120 + 20) = 514.667 MHz unless R4 says otherwise.
    const Case cases[] = {
        {"same LO1, AGC bit of R3", 0x04B, 3, 0x820, 1000},
        {"N 121: 518.933 MHz", 0x04B, 2, 0xF34, 1085},
        {"R 41: 941.463 MHz", 0x04B, 4, 0x029, 9536},
        {"R 39: 989.744 MHz", 0x04B, 4, 0x027, 10502},
        {"from 38.6 MHz (R 1000) to R 39: capped", 0x3E8, 4, 0x027, 15000},
        {"R 30: 1286.7 MHz, above the VCO", 0x04B, 4, 0x01E, 0},
        {"R 200: 193 MHz, below the VCO", 0x04B, 4, 0x0C8, 0},
        {"R 0: no LO1", 0x04B, 4, 0x000, 0},
    };
    for (const Case& c : cases) {
        ChipModel model(clock);
        Pins p{model};
        p.write(0, 0x08D);  // Receive
        p.write(3, 0x800);  // LD out
        p.write(4, c.r4Before);
        clock.advance(100000);
        ASSERT_EQ(model.mfo(), c.r4Before != 0x04B) << c.what << ": before the step";
        p.write(c.reg, c.value);
        if (c.settleUs == 0) {
            clock.advance(1000000);
            EXPECT_TRUE(model.mfo()) << c.what;
            EXPECT_FALSE(model.locked()) << c.what;
            continue;
        }
        clock.advance(c.settleUs - 2);
        EXPECT_TRUE(model.mfo()) << c.what << ": still settling";
        clock.advance(2);
        EXPECT_FALSE(model.mfo()) << c.what << ": locked";
        EXPECT_TRUE(model.locked()) << c.what;
    }
}

TEST_F(ModelTest, AnUnchangedRegisterDoesNotRestartSettling) {
    pins.write(0, 0x08D);
    pins.write(3, 0x800);
    clock.advance(20000);
    ASSERT_FALSE(chip.mfo());
    pins.write(2, 0xF14);
    pins.write(4, 0x04B);
    EXPECT_FALSE(chip.mfo());
}

TEST_F(ModelTest, ASmallChangeDoesNotShortenALargeStepsSettling) {
    pins.write(0, 0x08D);
    pins.write(3, 0x800);
    clock.advance(20000);
    pins.write(4, 0x027);  // 475 MHz step: 10.5 ms
    pins.write(2, 0xF34);  // then 8 MHz more: 1.2 ms on its own
    clock.advance(5000);
    EXPECT_TRUE(chip.mfo());
    clock.advance(6000);
    EXPECT_FALSE(chip.mfo());
}

}  // namespace
}  // namespace zvk
