// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <set>

#include "chip/FieldMap.h"

namespace zvk {
namespace {

TEST(SpiWord, BuildsValueAddressAndWriteBit) {
    struct Case {
        int address;
        uint32_t value;
        uint16_t word;
    };
    const Case cases[] = {
        {5, 0x2AC, 0x2ACA},
        {0, 0x08C, 0x08C0},
        {6, 0xE4B, 0xE4BC},
        {1, 0x8F4, 0x8F42},
        {7, 0x000, 0x000E},
        {2, 0xA5C, 0xA5C4},
        // bits above 11 of the register never reach the word
        {3, 0x1100, 0x1006},
        {0, 0xFFFF, 0xFFF0},
    };
    for (const Case& c : cases) EXPECT_EQ(spiWord(c.address, c.value), c.word) << c.address;
}

TEST(ReadRequest, IsAddressTimesTwoPlusOne) {
    EXPECT_EQ(readRequest(7), 0xF);
    EXPECT_EQ(readRequest(0), 0x1);
    EXPECT_EQ(readRequest(5), 0xB);
    EXPECT_EQ(readRequest(13), readRequest(5));  // only the low three bits count
}

TEST(BitOps, TestSetClearToggle) {
    EXPECT_TRUE(bitTest(0x800, 11));
    EXPECT_FALSE(bitTest(0x7FF, 11));
    EXPECT_EQ(bitSet(0x08C, 0), 0x08Du);
    EXPECT_EQ(bitClear(0x08D, 0), 0x08Cu);
    EXPECT_EQ(bitToggle(bitToggle(0x08C, 0), 0), 0x08Cu);
}

TEST(FieldMap, EveryBitBelongsToExactlyOneField) {
    std::set<int> seen;
    for (const Field& f : kFieldMap) {
        for (int i = 0; i < f.width; ++i) {
            int reg = f.reg, bit = f.lowBit + i;
            if (f.encoding == Encoding::SplitN && i >= 7) reg = 3, bit = i - 7;
            EXPECT_LT(bit, 12) << f.name;
            EXPECT_TRUE(seen.insert(reg * 12 + bit).second) << f.name << " bit " << i;
        }
    }
    EXPECT_EQ(seen.size(), 96u);
}

// Writing a field changes its bits and nothing else, and reads back.
TEST(FieldMap, SetAndReadEveryFieldWithoutTouchingNeighbours) {
    for (const Field& f : kFieldMap) {
        for (const RegisterImage base :
             {RegisterImage{},
              RegisterImage{0xFFF, 0xFFF, 0xFFF, 0xFFF, 0xFFF, 0xFFF, 0xFFF, 0xFFF}}) {
            const uint32_t max = (1u << f.width) - 1;
            for (uint32_t v : {0u, 1u, max, max / 2}) {
                RegisterImage r = base;
                setFieldValue(r, f, v);
                EXPECT_EQ(fieldValue(r, f), v) << f.name;
                RegisterImage back = r;
                setFieldValue(back, f, fieldValue(base, f));
                EXPECT_EQ(back, base) << f.name << " touched another field";
            }
        }
    }
}

TEST(FieldMap, HandlerExamples) {
    RegisterImage r{0x08C};
    setFieldValue(r, *findField("OPMODE"), encodeControl(*findField("OPMODE"), 1));
    EXPECT_EQ(r[0], 0x08D);
    setFieldValue(r, *findField("LNAGAIN"), 0);
    EXPECT_EQ(r[0], 0x081);

    const Field& ssb = *findField("SSBSEL");
    setFieldValue(r, ssb, encodeControl(ssb, 0));  // "high"
    EXPECT_TRUE(bitTest(r[0], 9));
    EXPECT_EQ(decodeControl(ssb, fieldValue(r, ssb)), 0);
    setFieldValue(r, ssb, encodeControl(ssb, 1));  // "low"
    EXPECT_FALSE(bitTest(r[0], 9));
    EXPECT_EQ(decodeControl(ssb, fieldValue(r, ssb)), 1);

    const Field& del = *findField("AGCDEL");
    RegisterImage d{};
    setFieldValue(d, del, 3);
    EXPECT_EQ((d[3] >> 6) & 3, 3);
    EXPECT_EQ(decodeControl(del, fieldValue(d, del)), 3);
}

TEST(FieldMap, RadioAndCheckRules) {
    const Field& radio = *findField("MIX1GAIN");
    EXPECT_EQ(encodeControl(radio, 0), 0u);
    EXPECT_EQ(encodeControl(radio, 1), 1u);
    EXPECT_EQ(encodeControl(radio, 3), 1u);
    const Field& check = *findField("IFTUNE");
    EXPECT_EQ(encodeControl(check, 1), 1u);
    EXPECT_EQ(encodeControl(check, 0), 0u);
}

TEST(FieldMap, SplitN) {
    const Field& n = field("N");
    struct Case {
        uint32_t n;
        uint16_t r2, r3;
    };
    // N's bits 6..0 in R2[11:5], bits 10..7 in R3[3:0]; A (R2[4:0]) and R3's upper bits stay.
    const Case cases[] = {
        {119, 0xEFF, 0xFF0}, {1000, 0xD1F, 0xFF7}, {2047, 0xFFF, 0xFFF}, {0, 0x01F, 0xFF0}};
    for (const Case& c : cases) {
        RegisterImage r{0, 0, 0x01F, 0xFF0};
        setFieldValue(r, n, c.n);
        EXPECT_EQ(r[2], c.r2) << c.n;
        EXPECT_EQ(r[3], c.r3) << c.n;
        EXPECT_EQ(fieldValue(r, n), c.n);
    }
    // The default image: R2 0xF14 and R3 0x100 hold N = 120 and A = 20.
    EXPECT_EQ(fieldValue(kDefaultImage, n), 120u);
    EXPECT_EQ(fieldValue(kDefaultImage, field("A")), 20u);
}

TEST(FieldMap, MfoRestrictionAndSpill) {
    struct Case {
        int index;
        bool lab;
        int result;
    };
    const Case cases[] = {{0, false, 0},  {5, false, 5}, {6, false, 1},  {7, false, 1},
                          {8, false, 8},  {9, false, 1}, {16, false, 1}, {7, true, 7},
                          {15, true, 15}, {16, true, 16}};
    for (const Case& c : cases) EXPECT_EQ(mfoRestriction(c.index, c.lab), c.result) << c.index;

    // The seventeenth item spills into bit 12 and clears the field itself.
    const Field& mfo = *findField("MFO");
    RegisterImage r{0, 0, 0, 0x1FF};
    setFieldValue(r, mfo, 16);
    EXPECT_EQ(r[3], 0x10FF);
    EXPECT_EQ(registerText(r[3]), "0x10FF");
    EXPECT_EQ(spiWord(3, r[3]), 0x0FF6);  // bit 12 is never sent
    // Choosing another item afterwards takes the spilled bit away again.
    setFieldValue(r, mfo, 1);
    EXPECT_EQ(r[3], 0x01FF);
}

TEST(BitNames, MatchTheTable) {
    const char* rows[8][12] = {
        {"OPMODE0", "OPMODE1", "LNAGAIN0", "LNAGAIN1", "MIX1GAIN", "MIX2GAIN", "IFFGAIN0",
         "IFFGAIN1", "DEMGAIN", "SSBSEL", "SLCSEL", "DTAPOL"},
        {"CPCUR0", "CPCUR1", "PFDPOL", "LDERR", "LDTIME0", "LDTIME1", "RSSIGAIN", "VCORANGE",
         "VCOCUR", "VCOBUF", "PRESCUR", "SHOWLD"},
        {"A0", "A1", "A2", "A3", "A4", "N0", "N1", "N2", "N3", "N4", "N5", "N6"},
        {"N7", "N8", "N9", "N10", "LO2DIV", "AGCEN", "AGCDEL0", "AGCDEL1", "MFO0", "MFO1", "MFO2",
         "MFO3"},
        {"R0", "R1", "R2", "R3", "R4", "R5", "R6", "R7", "R8", "R9", "R10", "AGCMODE"},
        {"RIFF0", "RIFF1", "RIFF2", "RIFF3", "RIFF4", "RIFF5", "RIFF6", "RIFF7", "RIFF8", "RIFF9",
         "RIFF10", "MODSEL"},
        {"IFFPRES0", "IFFPRES1", "IFFPRES2", "IFFPRES3", "IFFPRES4", "IFFPRES5", "IFFPRES6",
         "IFFPRES7", "IFHLT", "IFTUNE", "ROCUR0", "ROCUR1"},
        {"IFFVAL0", "IFFVAL1", "IFFVAL2", "IFFVAL3", "IFFVAL4", "IFFVAL5", "IFFVAL6", "IFFVAL7",
         "IFFSTATE0", "IFFSTATE1", "LDRSSIL", "RSSIH"},
    };
    for (int r = 0; r < 8; ++r)
        for (int b = 0; b < 12; ++b) EXPECT_EQ(bitName(r, b), rows[r][b]) << r << "," << b;
}

TEST(BitLabels, NamesAndParsing) {
    int reg = -1, bit = -1;
    EXPECT_EQ(bitLabelName(3, 10), "LD10");
    ASSERT_TRUE(parseBitLabel("LD10", reg, bit));
    EXPECT_EQ(bitName(reg, bit), "MFO2");
    ASSERT_TRUE(parseBitLabel("LE00", reg, bit));
    EXPECT_EQ(bitName(reg, bit), "R0");
    EXPECT_FALSE(parseBitLabel("LI00", reg, bit));
    EXPECT_FALSE(parseBitLabel("LA12", reg, bit));
    EXPECT_FALSE(parseBitLabel("L_R0", reg, bit));
}

TEST(RegisterText, AtLeastThreeUpperCaseDigits) {
    EXPECT_EQ(registerText(0), "0x000");
    EXPECT_EQ(registerText(0x2AC), "0x2AC");
    EXPECT_EQ(registerText(0xFFF), "0xFFF");
}

}  // namespace
}  // namespace zvk
