// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string_view>

#include "base/Numbers.h"
#include "session/EditRules.h"

namespace zvk {
namespace {

TEST(EditState, FrequencyEditsReadWithoutCommaConversionOrLimits) {
    RegisterImage regs = kDefaultImage;
    FrequencyState s;
    struct Texts {
        const char *xtal, *rf;
        double fXTAL, fRF;
    };
    const Texts texts[] = {
        {"10,5", "433,92", 10.0, 433.0},
        {"", "", 10.0, 433.0},
        {"abc", "1e2", 10.0, 100.0},
        {"0.5", "-3", 0.5, -3.0},  // no lower limit here: the crystal edit applies that
    };
    for (const Texts& t : texts) {
        ReadFrequencyState(s, regs, PlanEdits{t.xtal, t.rf, 0});
        EXPECT_EQ(s.fXTAL, t.fXTAL) << t.xtal;
        EXPECT_EQ(s.fRF, t.fRF) << t.rf;
    }
}

TEST(EditParsing, FallbacksAndLimitsOfTheFrequencyEdits) {
    struct Case {
        double (*parse)(std::string_view);
        const char* text;
        double value;
    };
    const Case cases[] = {
        {parseXtalEdit, "10,5", 10.5},  {parseXtalEdit, "12.8", 12.8},
        {parseXtalEdit, "0.5", 1.0},    {parseXtalEdit, "-3", 1.0},
        {parseXtalEdit, "", 10.0},      {parseXtalEdit, "abc", 10.0},
        {parseXtalEdit, "1,2,3", 10.0},  // only the first comma becomes a point
        {parseRfEdit, "433,92", 433.0}, {parseRfEdit, "433.92", 433.92},
        {parseRfEdit, "", 433.0},       {parseRfEdit, "384", 384.0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.parse(c.text), c.value) << c.text;
}

TEST(EditParsing, IntegerEditsFallBackAndStayInTheSpinnerRange) {
    struct Case {
        int (*parse)(std::string_view);
        const char* text;
        int value;
    };
    const Case cases[] = {
        {parseREdit, "100", 100},      {parseREdit, "2", 3},       {parseREdit, "abc", 75},
        {parseREdit, "", 75},          {parseREdit, "5000", 2047}, {parseREdit, "-5", 3},
        {parseREdit, "2048", 2047},    {parseAEdit, "17", 17},     {parseAEdit, "x", 12},
        {parseAEdit, "40", 31},        {parseAEdit, "-1", 0},      {parseNEdit, "1", 3},
        {parseNEdit, "q", 119},        {parseNEdit, "3000", 2047}, {parseNEdit, "-9", 3},
        {parseRiffEdit, "3", 4},       {parseRiffEdit, "0", 4},    {parseRiffEdit, "abc", 684},
        {parseRiffEdit, "9999", 2047}, {parseIffresEdit, "", 133}, {parseIffresEdit, "-1", 0},
        {parseIffresEdit, "300", 255}, {parseIffresEdit, "0", 0},  {parseIffresEdit, "75", 75},
        {parseREdit, "1.5", 75},
    };
    for (const Case& c : cases) EXPECT_EQ(c.parse(c.text), c.value) << c.text;
}

TEST(EditParsing, StrictParsesReportWhatDoesNotConvert) {
    EXPECT_EQ(parseDecimal("-12"), -12);
    EXPECT_EQ(parseDecimal("0"), 0);
    for (const char* bad : {"", "abc", "1.5", "12 ", "0x10", "--1"})
        EXPECT_FALSE(parseDecimal(bad).has_value()) << bad;
    EXPECT_EQ(parseDouble("433.92"), 433.92);
    for (const char* bad : {"", "433,92", "x"}) EXPECT_FALSE(parseDouble(bad).has_value()) << bad;
}

TEST(ApplyDividerEdits, WritesRNAndAWithoutLimitsButNeverBeyondTheirFields) {
    struct Case {
        const char *r, *n, *a;
        uint16_t R2, R3, R4;
    };
    // On an image with every bit set, so that a spill into a neighbour would show.
    const Case cases[] = {
        {"100", "300", "7", 0x587, 0xFF2, 0x864},
        {"1", "1", "0", 0x020, 0xFF0, 0x801},  // no lower limits on this path
        {"0", "0", "31", 0x01F, 0xFF0, 0x800},
        {"2047", "2047", "31", 0xFFF, 0xFFF, 0xFFF},
        {"5000", "-1", "40", 0x07F, 0xFF0, 0xFFF},  // clamped to 2047, 3 and 31
        {"-7", "4096", "-3", 0xFE0, 0xFFF, 0x803},  // clamped to 3, 2047 and 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.r << " " << c.n << " " << c.a);
        RegisterImage regs;
        regs.fill(0xFFF);
        EXPECT_FALSE(ApplyDividerEdits(regs, c.r, c.n, c.a).has_value());
        EXPECT_EQ(regs[2], c.R2);
        EXPECT_EQ(regs[3], c.R3);
        EXPECT_EQ(regs[4], c.R4);
        for (int i : {0, 1, 5, 6, 7}) EXPECT_EQ(regs[size_t(i)], 0xFFF);
    }
}

TEST(ApplyDividerEdits, ATextThatDoesNotConvertChangesNothing) {
    struct Case {
        const char *r, *n, *a, *bad;
    };
    const Case cases[] = {{"abc", "10", "1", "abc"},
                          {"10", "x", "1", "x"},  // R converted, but is not written either
                          {"10", "10", "", ""},
                          {"10", "10", "3.5", "3.5"}};
    for (const Case& c : cases) {
        RegisterImage regs = kDefaultImage;
        const auto bad = ApplyDividerEdits(regs, c.r, c.n, c.a);
        ASSERT_TRUE(bad.has_value()) << c.bad;
        EXPECT_EQ(*bad, c.bad);
        EXPECT_EQ(regs, kDefaultImage);
    }
}

}  // namespace
}  // namespace zvk
