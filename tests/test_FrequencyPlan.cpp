// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/Numbers.h"
#include "chip/FieldMap.h"
#include "plan/FrequencyPlan.h"
#include "session/EditRules.h"

namespace zvk {
namespace {

void setField(RegisterImage& regs, const char* name, uint32_t value) {
    setFieldValue(regs, *findField(name), value);
}

// What the user sets before pressing "Calculate".
struct UserSetup {
    double rf;
    int R = 75;
    int RIFF = 684;
    int lo2div = 0;  // RG_LO2Div item: 0 = "4", 1 = "8"
    int injlo1 = 1;  // 1: LO1 high
    int ssbsel = 0;  // 0: LO2 low
    const char* xtal = "10.000";
};

RegisterImage imageFor(const UserSetup& u) {
    RegisterImage regs = kDefaultImage;
    setField(regs, "R", uint32_t(u.R));
    setField(regs, "RIFF", uint32_t(u.RIFF));
    setField(regs, "LO2DIV", uint32_t(u.lo2div));
    setField(regs, "SSBSEL", uint32_t(u.ssbsel));
    return regs;
}

struct Calculated {
    FrequencyState s;
    RegisterImage regs;
    TuningInfo t;
};

// "Calculate": the planning step for the stored fRF, then the recompute step, each after
// reading the state from the register image and the edits.
Calculated calculate(const UserSetup& u) {
    Calculated c{FrequencyState{}, imageFor(u), TuningInfo{}};
    const std::string rf = formatFrequency(u.rf);
    const int selection = rgIf1Selection(u.injlo1);
    ReadFrequencyState(c.s, c.regs, PlanEdits{u.xtal, rf, selection});
    const auto refusal = PlanDividers(c.s, c.regs, rfArgument(c.s.fRF));
    EXPECT_FALSE(refusal.has_value()) << refusal.value_or("");
    // The image keeps only N's low 11 bits: the frequencies follow what the chip gets.
    ReadFrequencyState(c.s, c.regs, PlanEdits{u.xtal, rf, selection});
    RecomputeFrequencies(c.s);
    c.t = ShowTuningInfo(c.s);
    return c;
}

struct PlanCase {
    const char* name;
    UserSetup setup;
    int Ntot, N, A;
    const char *fRF, *fCH, *fIF1, *fIF2, *fLO1, *fLO2, *fPFD;
};

// The defaults, the four band presets with their own settings, rounding between two
// channels, and two preconfigured ABC frequencies (both injection sides high).
const PlanCase kPlanCases[] = {
    {"defaults",
     {384.0},
     3860,
     120,
     20,
     "384.000",
     "0.100",
     "130.667",
     "2.000",
     "514.667",
     "128.667",
     "0.133"},
    {"preset 315.0",
     {315.0, 75, 684, 0, 1, 1},
     3130,
     97,
     26,
     "315.000",
     "0.100",
     "102.333",
     "2.000",
     "417.333",
     "104.333",
     "0.133"},
    {"preset 433.9",
     {433.9, 75, 684, 0, 1, 1},
     4319,
     134,
     31,
     "433.900",
     "0.100",
     "141.967",
     "2.000",
     "575.867",
     "143.967",
     "0.133"},
    {"preset 868.3",
     {868.3, 125, 684, 0, 0, 0},
     8663,
     270,
     23,
     "868.300",
     "0.100",
     "175.260",
     "2.000",
     "693.040",
     "173.260",
     "0.080"},
    {"preset 915.0",
     {915.0, 125, 684, 0, 0, 0},
     9130,
     285,
     10,
     "915.000",
     "0.100",
     "184.600",
     "2.000",
     "730.400",
     "182.600",
     "0.080"},
    {"433.92 rounds down to the 433.9 channel",
     {433.92, 75, 684, 0, 1, 1},
     4319,
     134,
     31,
     "433.900",
     "0.100",
     "141.967",
     "2.000",
     "575.867",
     "143.967",
     "0.133"},
    {"433.96 rounds up to the next channel",
     {433.96, 75, 684, 0, 1, 1},
     4320,
     135,
     0,
     "434.000",
     "0.100",
     "142.000",
     "2.000",
     "576.000",
     "144.000",
     "0.133"},
    {"ABC 369.5",
     {369.5, 75, 684, 0, 1, 1},
     3675,
     114,
     27,
     "369.500",
     "0.100",
     "120.500",
     "2.000",
     "490.000",
     "122.500",
     "0.133"},
    {"ABC 395.9",
     {395.9, 75, 684, 0, 1, 1},
     3939,
     123,
     3,
     "395.900",
     "0.100",
     "129.300",
     "2.000",
     "525.200",
     "131.300",
     "0.133"},
    // LO2 divided by 8: the channel raster becomes 7/8 of fPFD.
    {"LO2 divider 8",
     {384.0, 75, 684, 1, 1, 0},
     3309,
     103,
     13,
     "384.050",
     "0.117",
     "57.150",
     "2.000",
     "441.200",
     "55.150",
     "0.133"},
    // Ntot 90020 needs N = 2813: the bits above bit 10 are dropped, so the chip (and the
    // recompute) sees N = 765 and Ntot 24484.
    {"N beyond eleven bits",
     {9000.0},
     24484,
     765,
     4,
     "2446.400",
     "0.100",
     "818.133",
     "2.000",
     "3264.533",
     "816.133",
     "0.133"},
};

TEST(PlanDividers, CalculateGivesTheChannelsAndTheirFrequencies) {
    for (const PlanCase& c : kPlanCases) {
        SCOPED_TRACE(c.name);
        const Calculated r = calculate(c.setup);
        EXPECT_EQ(r.s.Ntot, c.Ntot);
        EXPECT_EQ(r.s.N, c.N);
        EXPECT_EQ(r.s.A, c.A);
        EXPECT_EQ(r.t.Ntot.text, std::to_string(c.Ntot));
        EXPECT_EQ(r.t.N, std::to_string(c.N));
        EXPECT_EQ(r.t.A, std::to_string(c.A));
        // N and A in their register bits; R3's other bits as they were.
        EXPECT_EQ(r.regs[2], ((c.N & 0x7F) << 5) | c.A);
        EXPECT_EQ(r.regs[3], (kDefaultImage[3] & ~0x1Fu) | (c.setup.lo2div << 4) | (c.N >> 7));
        EXPECT_EQ(r.t.fRF.text, c.fRF);
        EXPECT_EQ(r.t.fCH.text, c.fCH);
        EXPECT_EQ(r.t.fIF1.text, c.fIF1);
        EXPECT_EQ(r.t.fIF2.text, c.fIF2);
        EXPECT_EQ(r.t.fLO1.text, c.fLO1);
        EXPECT_EQ(r.t.fLO2.text, c.fLO2);
        EXPECT_EQ(r.t.fPFD.text, c.fPFD);
    }
}

TEST(PlanDividers, DefaultsReproduceTheDefaultImage) {
    const Calculated r = calculate({384.0});
    EXPECT_EQ(r.regs, kDefaultImage);
}

TEST(PlanDividers, KeepsEveryBitOutsideNAndA) {
    UserSetup u{915.0, 75, 684, 0, 1, 1};
    RegisterImage regs = imageFor(u);
    regs[3] |= 0xFF0;  // LO2DIV (so L = 8), AGC, MFO all set
    regs[2] = 0xF000;  // nothing of the chip lives above bit 11, and it stays untouched
    const RegisterImage before = regs;
    FrequencyState s;
    ReadFrequencyState(s, regs, 10.0, 915.0, 1);
    ASSERT_FALSE(PlanDividers(s, regs, 915.0f));
    // (915 - 2) * 8 / 7 = 1043.43 MHz: Ntot 7826 = 32 * 244 + 18, N above bit 6.
    EXPECT_EQ(s.Ntot, 7826);
    EXPECT_EQ(regs[2], 0xF000 | (116 << 5) | 18);
    EXPECT_EQ(regs[3], 0xFF1);
    for (int i : {0, 1, 4, 5, 6, 7}) EXPECT_EQ(regs[size_t(i)], before[size_t(i)]) << i;
}

// The planning step shows its ideal fLO1 while fLO2 and fIF1 keep the values of the
// last recompute step, and fIF2 keeps the planned value through later recomputes.
TEST(PlanDividers, PlanningAloneLeavesLo2AndIf1ToTheRecompute) {
    Calculated r = calculate({384.0});
    ReadFrequencyState(r.s, r.regs, 10.0, 433.92, 1);
    ASSERT_FALSE(PlanDividers(r.s, r.regs, 433.92f));
    const TuningInfo t = ShowTuningInfo(r.s);
    EXPECT_EQ(t.fLO1.text, "581.227");  // (433.92 + 2) * 4 / 3, not yet a channel
    EXPECT_EQ(t.fLO2.text, "128.667");  // from the 384 MHz recompute
    EXPECT_EQ(t.fIF1.text, "130.667");
    EXPECT_EQ(t.fRF.text, "433.900");
    EXPECT_EQ(t.Ntot.text, "4359");
}

TEST(IfFilter, RiffAfterCalculateMovesTheCentreButNotThePlannedIf) {
    Calculated r = calculate({384.0});
    setField(r.regs, "RIFF", 700);
    ReadFrequencyState(r.s, r.regs, 10.0, 384.0, 1);
    RecomputeFrequencies(r.s);
    const TuningInfo t = ShowTuningInfo(r.s);
    EXPECT_EQ(t.IF2CH.text, "1.954");
    EXPECT_FALSE(t.IF2CH.red);
    EXPECT_EQ(t.fIF2.text, "2.000");
    EXPECT_EQ(t.fRF.text, "384.000");
    EXPECT_EQ(t.fIF1.text, "130.667");
    EXPECT_EQ(t.RIFF, "700");
}

TEST(IfFilter, CentreFrequencyAndItsRedBand) {
    struct Case {
        int riff;
        const char* text;
        bool red;
    };
    const Case cases[] = {
        {684, "2.000", false},
        {622, "2.199", false},
        {621, "2.203", true},
        {760, "1.800", false},  // computed just above 1.8 through the single-precision 2.052
        {761, "1.798", true},
        {4, "342.000", true},
        {3, "342.000", true},  // the recompute counts RIFF below 4 as 4
        {0, "342.000", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.riff);
        RegisterImage regs = kDefaultImage;
        setField(regs, "RIFF", uint32_t(c.riff));
        FrequencyState s;
        ReadFrequencyState(s, regs, 10.0, 384.0, 1);
        RecomputeFrequencies(s);
        const TuningInfo t = ShowTuningInfo(s);
        EXPECT_EQ(t.IF2CH.text, c.text);
        EXPECT_EQ(t.IF2CH.red, c.red);
        EXPECT_EQ(t.RIFF, std::to_string(std::max(c.riff, 4)));
    }
}

TEST(IfFilter, ConstantsAreSinglePrecisionTimesAnExtendedThird) {
    // 136.8 exactly would put RIFF 760 on 1.8 and make the value depend on rounding luck.
    EXPECT_GT(ifFilterCentre(10.0, 760), 1.8);
    EXPECT_DOUBLE_EQ(ifFilterCentre(10.0, 684), 10.0 / 684 * 200 * 2.0520000457763672 / 3);
    EXPECT_NE(ifFilterCentre(10.0, 684), 2.0);
}

TEST(RecomputeFrequencies, SwitchingTheLo2DividerKeepsNAndA) {
    Calculated r = calculate({384.0});
    const RegisterImage planned = r.regs;
    setField(r.regs, "LO2DIV", 1);
    ReadFrequencyState(r.s, r.regs, 10.0, 384.0, 1);
    RecomputeFrequencies(r.s);
    const TuningInfo t = ShowTuningInfo(r.s);
    EXPECT_EQ(r.regs[2], planned[2]);
    EXPECT_EQ(r.regs[3], planned[3] | 0x10);
    EXPECT_EQ(t.Ntot.text, "3860");
    EXPECT_EQ(t.fLO1.text, "514.667");
    EXPECT_EQ(t.fLO2.text, "64.333");
    EXPECT_EQ(t.fCH.text, "0.117");
    EXPECT_EQ(t.fRF.text, "448.333");
    EXPECT_EQ(t.fIF1.text, "66.333");
}

TEST(RecomputeFrequencies, WorkingCopiesTakeTheMinimumsAndShowThem) {
    RegisterImage regs = kDefaultImage;
    setField(regs, "R", 1);
    setField(regs, "RIFF", 2);
    FrequencyState s;
    ReadFrequencyState(s, regs, 10.0, 384.0, 1);
    s.L = 2;  // no register value gives this, but the floor holds for any working copy
    RecomputeFrequencies(s);
    EXPECT_EQ(s.R, 3);
    EXPECT_EQ(s.RIFF, 4);
    EXPECT_EQ(s.L, 4);
    const TuningInfo t = ShowTuningInfo(s);
    EXPECT_EQ(t.R, "3");
    EXPECT_EQ(t.RIFF, "4");
    EXPECT_EQ(t.fPFD.text, "3.333");
    // The register image keeps what was there.
    EXPECT_EQ(regs[4] & 0x7FF, 1);
    EXPECT_EQ(regs[5] & 0x7FF, 2);
}

// A zero divider in the register image plans as the recompute step's minimum; small
// non-zero values are used as they are.
TEST(PlanDividers, ZeroDividersPlanWithTheMinimums) {
    struct Case {
        int R, RIFF;
        int asR, asRIFF;
    };
    const Case cases[] = {
        {0, 684, 3, 684}, {75, 0, 75, 4}, {0, 0, 3, 4}, {1, 684, 1, 684}, {75, 1, 75, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "R " << c.R << " RIFF " << c.RIFF);
        RegisterImage zero = imageFor({384.0, c.R, c.RIFF});
        RegisterImage explicitly = imageFor({384.0, c.asR, c.asRIFF});
        FrequencyState a, b;
        ReadFrequencyState(a, zero, 10.0, 384.0, 1);
        ReadFrequencyState(b, explicitly, 10.0, 384.0, 1);
        ASSERT_FALSE(PlanDividers(a, zero, 384.0f));
        ASSERT_FALSE(PlanDividers(b, explicitly, 384.0f));
        EXPECT_TRUE(std::isfinite(a.fLO1) && std::isfinite(a.fRFt) && std::isfinite(a.fIF2));
        EXPECT_EQ(a.Ntot, b.Ntot);
        EXPECT_EQ(a.fIF2, b.fIF2);
        EXPECT_EQ(a.fPFD, b.fPFD);
        EXPECT_EQ(zero[2], explicitly[2]);
        EXPECT_EQ(zero[3], explicitly[3]);
    }
    // R = 1 is taken as it is: fPFD = 10 MHz.
    RegisterImage regs = imageFor({384.0, 1});
    FrequencyState s;
    ReadFrequencyState(s, regs, 10.0, 384.0, 1);
    ASSERT_FALSE(PlanDividers(s, regs, 384.0f));
    EXPECT_EQ(s.fPFD, 10.0);
    EXPECT_EQ(s.Ntot, 51);  // 514.667 / 10 + 0.5
}

bool sameState(const FrequencyState& a, const FrequencyState& b) {
    auto same = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
    return a.fXTAL == b.fXTAL && a.fRF == b.fRF && a.INJLO1 == b.INJLO1 && a.N == b.N &&
           a.A == b.A && a.R == b.R && a.RIFF == b.RIFF && a.SSBSEL == b.SSBSEL && a.L == b.L &&
           a.Ntot == b.Ntot && same(a.fIF2, b.fIF2) && same(a.fPFD, b.fPFD) && same(a.fCH, b.fCH) &&
           same(a.fLO1, b.fLO1) && same(a.fLO2, b.fLO2) && same(a.fIF1, b.fIF1) &&
           same(a.fRFt, b.fRFt) && same(a.fIFF, b.fIFF) && a.mfo == b.mfo;
}

TEST(PlanDividers, RefusesWhatGivesNoValidNtotAndChangesNothing) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        float rf;
        int injlo1, ssbsel;
        const char* xtal;
        const char* mentions;
    };
    const Case cases[] = {
        {"LO1 below zero", 1.0f, 1, 1, "10.000", "f RF = 1.000 MHz"},
        // 2.0 lies just below the planned IF of 2.0000000446: LO1 is a hair below zero
        {"LO1 a hair below zero", 2.0f, 1, 1, "10.000", "f RF = 2.000 MHz"},
        {"negative RF", -5.0f, 0, 0, "10.000", "f RF = -5.000 MHz"},
        {"infinite RF", inf, 1, 0, "10.000", "f RF = INF MHz"},
        {"not a number", std::nanf(""), 1, 0, "10.000", "f RF = NAN MHz"},
        {"zero crystal: no comparison frequency", 384.0f, 1, 0, "0", "Ntot"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegisterImage regs = imageFor({384.0, 75, 684, 0, c.injlo1, c.ssbsel});
        regs[2] = 0xABC;
        const RegisterImage before = regs;
        FrequencyState s;
        ReadFrequencyState(s, regs, PlanEdits{c.xtal, "384.000", rgIf1Selection(c.injlo1)});
        s.fIF2 = 1.5;  // as left by an earlier plan
        s.fLO1 = 99.0;
        const FrequencyState stateBefore = s;
        const auto refusal = PlanDividers(s, regs, c.rf);
        ASSERT_TRUE(refusal.has_value());
        EXPECT_NE(refusal->find(c.mentions), std::string::npos) << *refusal;
        EXPECT_EQ(refusal->find('\n'), std::string::npos);
        EXPECT_EQ(regs, before);
        EXPECT_TRUE(sameState(s, stateBefore));
    }
    // Just above the IF the plan goes through.
    RegisterImage regs = imageFor({384.0, 75, 684, 0, 1, 1});
    FrequencyState s;
    ReadFrequencyState(s, regs, 10.0, 2.1, 1);
    EXPECT_FALSE(PlanDividers(s, regs, 2.1f));
    EXPECT_EQ(s.Ntot, 1);
}

TEST(PlanDividers, RfBeyondSinglePrecisionBecomesInfiniteAndIsRefused) {
    EXPECT_EQ(rfArgument(433.92), 433.92f);
    EXPECT_EQ(rfArgument(1e40), std::numeric_limits<float>::infinity());
    EXPECT_EQ(rfArgument(-1e40), -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(rfArgument(std::nan(""))));
}

TEST(ReadFrequencyState, ReadsTheFieldsMaskedAndTakesTheFrequenciesAsGiven) {
    RegisterImage regs{};
    regs[0] = 0xE00;              // SSBSEL and its neighbours set
    regs[2] = (0x25u << 5) | 19;  // N low 0x25, A 19
    regs[3] = 0xF1B;              // MFO 15, LO2DIV 1, N high 0xB
    regs[4] = 0xFFF;              // AGCMODE set beside R 2047
    regs[5] = 0x800 | 5;          // MODSEL set beside RIFF 5
    FrequencyState s;
    s.fIF2 = 1.25;
    ReadFrequencyState(s, regs, 12.5, 433.92, 0);
    EXPECT_EQ(s.N, 0xB * 128 + 0x25);
    EXPECT_EQ(s.A, 19);
    EXPECT_EQ(s.R, 2047);
    EXPECT_EQ(s.RIFF, 5);
    EXPECT_EQ(s.SSBSEL, 1);
    EXPECT_EQ(s.L, 8);
    EXPECT_EQ(s.mfo, 15);
    EXPECT_EQ(s.INJLO1, 0);
    EXPECT_EQ(s.fXTAL, 12.5);
    EXPECT_EQ(s.fRF, 433.92);
    EXPECT_EQ(s.fIF2, 1.25);  // only the planning step changes it
}

TEST(ReadFrequencyState, InjectionFromTheRadioGroupSelection) {
    struct Case {
        int injlo1, selection;
        int16_t readBack;
    };
    // A value above 1 (10 when the settings key is missing) selects nothing, which reads
    // back as 2: the LO1 side then counts as low.
    const Case cases[] = {{1, 0, 1}, {0, 1, 0}, {2, -1, 2}, {10, -1, 2}, {-1, 1, 0}, {-7, 1, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(rgIf1Selection(c.injlo1), c.selection) << c.injlo1;
        FrequencyState s;
        ReadFrequencyState(s, kDefaultImage, PlanEdits{"10.000", "384.000", c.selection});
        EXPECT_EQ(s.INJLO1, c.readBack) << c.injlo1;
    }
    // INJLO1 = 2 plans like "low".
    const Calculated low = calculate({868.3, 125, 684, 0, 0, 0});
    const Calculated none = calculate({868.3, 125, 684, 0, 10, 0});
    EXPECT_EQ(none.s.Ntot, low.s.Ntot);
    EXPECT_EQ(none.t.fRF.text, low.t.fRF.text);
}

// Each edit of the tuning-info group with its thresholds: the signed fRFt, the absolute
// value for the others.
TEST(ShowTuningInfo, RedOutsideEachRange) {
    struct Case {
        double FrequencyState::*value;
        TuningItem TuningInfo::*item;
        double v;
        const char* text;
        bool red;
    };
    using S = FrequencyState;
    using T = TuningInfo;
    const Case cases[] = {
        {&S::fRFt, &T::fRF, 289.999, "289.999", true},
        {&S::fRFt, &T::fRF, 290.0, "290.000", false},
        {&S::fRFt, &T::fRF, 939.999, "939.999", false},
        {&S::fRFt, &T::fRF, 940.0, "940.000", true},
        {&S::fRFt, &T::fRF, -384.0, "-384.000", true},
        {&S::fIF1, &T::fIF1, 2.999, "2.999", true},
        {&S::fIF1, &T::fIF1, 3.0, "3.000", false},
        {&S::fIF1, &T::fIF1, 399.999, "399.999", false},
        {&S::fIF1, &T::fIF1, 400.0, "400.000", true},
        {&S::fIF1, &T::fIF1, -130.5, "130.500", false},
        {&S::fIF2, &T::fIF2, 1.799, "1.799", true},
        {&S::fIF2, &T::fIF2, 1.8, "1.800", false},
        {&S::fIF2, &T::fIF2, 2.2, "2.200", true},
        {&S::fIF2, &T::fIF2, -2.0, "2.000", false},
        {&S::fLO1, &T::fLO1, 199.999, "199.999", true},
        {&S::fLO1, &T::fLO1, 200.0, "200.000", false},
        {&S::fLO1, &T::fLO1, 999.999, "999.999", false},
        {&S::fLO1, &T::fLO1, 1000.0, "1000.000", true},
        {&S::fLO1, &T::fLO1, -514.667, "514.667", false},
        {&S::fLO2, &T::fLO2, 24.999, "24.999", true},
        {&S::fLO2, &T::fLO2, 25.0, "25.000", false},
        {&S::fLO2, &T::fLO2, 249.999, "249.999", false},
        {&S::fLO2, &T::fLO2, 250.0, "250.000", true},
        {&S::fPFD, &T::fPFD, 14.999, "14.999", false},
        {&S::fPFD, &T::fPFD, 15.0, "15.000", true},
        {&S::fPFD, &T::fPFD, -15.0, "15.000", true},
        {&S::fCH, &T::fCH, 14.999, "14.999", false},
        {&S::fCH, &T::fCH, -15.0, "15.000", true},
        {&S::fIFF, &T::IF2CH, 1.799, "1.799", true},
        {&S::fIFF, &T::IF2CH, 2.199, "2.199", false},
        {&S::fIFF, &T::IF2CH, 2.2, "2.200", true},
    };
    // A state in which nothing is red, so each case shows only its own flag.
    FrequencyState base = calculate({384.0}).s;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << (c.red ? " red" : " normal"));
        FrequencyState s = base;
        s.*c.value = c.v;
        const TuningInfo t = ShowTuningInfo(s);
        EXPECT_EQ((t.*c.item).text, c.text);
        EXPECT_EQ((t.*c.item).red, c.red);
        int reds = 0;
        for (auto m : {&T::fRF, &T::fCH, &T::fIF1, &T::fIF2, &T::fLO1, &T::fLO2, &T::fPFD, &T::Ntot,
                       &T::IF2CH})
            reds += (t.*m).red;
        EXPECT_EQ(reds, c.red ? 1 : 0);
    }
}

TEST(ShowTuningInfo, NtotRedOutside1024To65535) {
    const std::pair<int32_t, bool> cases[] = {{1023, true},  {1024, false}, {65535, false},
                                              {65536, true}, {-5, true},    {0, true}};
    FrequencyState s = calculate({384.0}).s;
    for (const auto& [ntot, red] : cases) {
        s.Ntot = ntot;
        const TuningInfo t = ShowTuningInfo(s);
        EXPECT_EQ(t.Ntot.text, std::to_string(ntot));
        EXPECT_EQ(t.Ntot.red, red) << ntot;
    }
}

TEST(FormatFrequency, SevenSignificantDigitsThreeDecimals) {
    struct Case {
        double v;
        const char* text;
    };
    const Case cases[] = {
        {0.0, "0.000"},
        {384.0, "384.000"},
        {514.66666666666663, "514.667"},
        {12345.678, "12345.680"},
        {1234567.8, "1234568.000"},
        {9999999.4, "9999999.000"},
        {0.0005, "0.001"},
        {0.00049, "0.000"},
        {-0.0004, "0.000"},  // no "-0.000"
        {-384.0, "-384.000"},
        {1.0625, "1.063"},  // an exact tie rounds away from zero, not to even
        {-1.0625, "-1.063"},
        {2.0000000446, "2.000"},
        {999.9996, "1000.000"},
        {1e-300, "0.000"},
        {9999999.5, "1.000000E+07"},
        {12345678.9, "1.234568E+07"},
        {-12345678.9, "-1.234568E+07"},
        {1e20, "1.000000E+20"},
        {1.7976931348623157e308, "1.797693E+308"},
        {std::numeric_limits<double>::infinity(), "INF"},
        {-std::numeric_limits<double>::infinity(), "-INF"},
        {std::nan(""), "NAN"},
    };
    for (const Case& c : cases) EXPECT_EQ(formatFrequency(c.v), c.text) << c.v;
}

TEST(UnguardedFieldValue, InsideTheWidthAsTypedOutsideClampedToTheSpinner) {
    EXPECT_EQ(unguardedFieldValue(1, 11, 3, 2047), 1u);
    EXPECT_EQ(unguardedFieldValue(2047, 11, 3, 2047), 2047u);
    EXPECT_EQ(unguardedFieldValue(2048, 11, 3, 2047), 2047u);
    EXPECT_EQ(unguardedFieldValue(-1, 11, 3, 2047), 3u);
    EXPECT_EQ(unguardedFieldValue(1LL << 40, 8, 0, 255), 255u);
    EXPECT_EQ(unguardedFieldValue(-(1LL << 40), 5, 0, 31), 0u);
}

TEST(Presets, BandPresetsPlanTheirOwnChannels) {
    struct Expect {
        int Ntot;
        const char* fLO1;
    };
    const Expect expect[4] = {
        {3130, "417.333"}, {4319, "575.867"}, {8663, "693.040"}, {9130, "730.400"}};
    for (int i = 0; i < 4; ++i) {
        const BandPreset& p = kBandPresets[i];
        SCOPED_TRACE(p.caption);
        EXPECT_EQ(std::string(p.caption), formatFrequency(p.fRF).substr(0, 5) + " MHz");
        // RG_IF1 and RG_SSBSEL take the same item: item 0 is high for both.
        const int injlo1 = 1 - p.injection;
        const int ssbsel = p.injection == 0 ? 1 : 0;
        const Calculated r = calculate({p.fRF, p.R, 684, p.lo2Div, injlo1, ssbsel});
        EXPECT_EQ(r.s.Ntot, expect[i].Ntot);
        EXPECT_EQ(r.t.fLO1.text, expect[i].fLO1);
        EXPECT_EQ(r.t.fCH.text, "0.100");  // every preset keeps a 100 kHz raster
        EXPECT_EQ(r.t.fRF.text, formatFrequency(p.fRF));
    }
}

TEST(Presets, AbcPinsAreTheIndexBitsAndTheItemsTheirFrequencies) {
    for (int i = 0; i < 8; ++i) {
        const AbcPreset& p = kAbcPresets[i];
        SCOPED_TRACE(p.item);
        EXPECT_EQ(p.A, (i >> 1) & 1);
        EXPECT_EQ(p.B, i & 1);
        EXPECT_EQ(p.C, (i >> 2) & 1);
        EXPECT_EQ(parseDouble(p.item), p.fRF);
        const Calculated r = calculate({p.fRF, 75, 684, 0, 1, 1});
        EXPECT_EQ(r.t.fRF.text, formatFrequency(p.fRF));  // all on the 100 kHz raster
    }
    EXPECT_EQ(std::string(kAbcPresets[2].item), "371.1");
    EXPECT_EQ(std::string(kAbcPresets[7].item), "395.9");
}

}  // namespace
}  // namespace zvk
