// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "PlanFixtures.h"
#include "base/Numbers.h"
#include "chip/FieldMap.h"
#include "plan/CrystalCorrection.h"

namespace zvk {
namespace {

// 433.92 MHz on the default plan (10 MHz crystal, R 75, RIFF 684, LO2 divider 4, LO1 high,
// LO2 low): Ntot 4359, so LO1 = 4359 * 10 / 75 = 581.2, LO2 = 145.3, IF2 = 2.0,
// IF1 = 145.3 + 2 = 147.3, tuned RF = 581.2 - 147.3 = 433.9. A crystal k = 1 + ppm / 1e6
// times its nominal frequency moves every one of them by the same k.
struct CorrectionWorked {
    double ppm;
    double fXTAL, fRF, fLO1, fLO2, fIF1, fIF2, fPFD, fCH, fIFF, offsetHz;
};
constexpr CorrectionWorked kCorrectionWorked[] = {
    // k = 1.00002: 581.2 * 1.00002 = 581.211624, 433.9 * 1.00002 = 433.908678, ...
    {+20, 10.0002, 433.908678, 581.211624, 145.302906, 147.302946, 2.00004, 0.133336, 0.100002,
     2.00004, 8678},
    // k = 0.99995: 581.2 * 0.99995 = 581.17094, 433.9 * 0.99995 = 433.878305, ...
    {-50, 9.9995, 433.878305, 581.17094, 145.292735, 147.292635, 1.9999, 0.13332667, 0.099995,
     1.9999, -21695},
    // No correction: the nominal plan itself.
    {0, 10, 433.9, 581.2, 145.3, 147.3, 2, 0.13333333, 0.1, 2, 0},
};

FrequencyState correctionDefaultPlanAt(double rf) {
    return test::planned({rf, 75, true, false});
}

TEST(CrystalCorrection, DefaultPlanAt433_92AgainstHandWorkedValues) {
    const FrequencyState s = correctionDefaultPlanAt(433.92);
    ASSERT_EQ(s.Ntot, 4359);
    for (const CorrectionWorked& w : kCorrectionWorked) {
        SCOPED_TRACE(w.ppm);
        const CorrectedFrequencies c = correctedFrequencies(s, w.ppm);
        constexpr double kHz = 1e-6;  // one hertz in MHz
        EXPECT_EQ(c.ppm, w.ppm);
        EXPECT_NEAR(c.fXTAL, w.fXTAL, kHz);
        EXPECT_NEAR(c.fRF, w.fRF, kHz);
        EXPECT_NEAR(c.fLO1, w.fLO1, kHz);
        EXPECT_NEAR(c.fLO2, w.fLO2, kHz);
        EXPECT_NEAR(c.fIF1, w.fIF1, kHz);
        EXPECT_NEAR(c.fIF2, w.fIF2, kHz);
        EXPECT_NEAR(c.fPFD, w.fPFD, kHz);
        EXPECT_NEAR(c.fCH, w.fCH, kHz);
        EXPECT_NEAR(c.fIFF, w.fIFF, kHz);
        EXPECT_NEAR(c.rfOffsetHz, w.offsetHz, 0.01);
    }
}

// Straight after a planning step the state holds the ideal LO1 for the wanted RF and stale
// LO2 and IF1; the corrected values are those of the dividers all the same.
TEST(CrystalCorrection, AfterAPlanningStepAloneTheDividersCount) {
    RegisterImage regs = kDefaultImage;
    FrequencyState s;
    ReadFrequencyState(s, regs, 10.0, 433.92, 1);
    ASSERT_FALSE(PlanDividers(s, regs, 433.92f));
    ReadFrequencyState(s, regs, 10.0, 433.92, 1);
    EXPECT_NE(s.fLO1, 581.2) << "the planning step's ideal LO1";
    s.fIF2 = 2.0000000446;  // as the planning step computed it; ReadFrequencyState keeps it
    const CorrectedFrequencies c = correctedFrequencies(s, 20);
    EXPECT_NEAR(c.fLO1, 581.211624, 1e-6);
    EXPECT_NEAR(c.fIF1, 147.302946, 1e-6);
}

// The planner's choice: unchanged by the correction unless asked. 433.96 MHz lies past the
// middle between channels 433.9 and 434.0, so the nominal plan takes 434.0 (Ntot 4360); on
// a crystal 100 ppm fast those channels are really 433.943390 and 434.043400, and 433.96
// is nearer the first (Ntot 4359).
TEST(CrystalCorrection, PlanningOnTheCorrectedCrystalPicksTheRealNearestChannel) {
    const FrequencyState nominal = correctionDefaultPlanAt(433.96);
    EXPECT_EQ(nominal.Ntot, 4360);

    RegisterImage regs = kDefaultImage;
    FrequencyState s;
    ReadFrequencyState(s, regs, 10.0, 433.96, 1);
    ASSERT_FALSE(planDividersOnCorrectedCrystal(s, regs, 433.96f, 100));
    EXPECT_EQ(s.Ntot, 4359);
    EXPECT_EQ(fieldValue(regs, field("N")), 136u);
    EXPECT_EQ(fieldValue(regs, field("A")), 7u);
    // What the program shows stays nominal: the nominal crystal and the nominal tuned RF.
    EXPECT_EQ(s.fXTAL, 10.0);
    EXPECT_NEAR(s.fRFt, 433.9, 1e-6);
    EXPECT_NEAR(s.fIF2, nominal.fIF2, 1e-12);
    EXPECT_NEAR(s.fPFD, 10.0 / 75, 1e-12);
    ReadFrequencyState(s, regs, 10.0, 433.96, 1);
    EXPECT_NEAR(correctedFrequencies(s, 100).fRF, 433.94339, 1e-6);

    // Planning with the correction 0 is the planning step itself.
    RegisterImage plain = kDefaultImage;
    FrequencyState z;
    ReadFrequencyState(z, plain, 10.0, 433.96, 1);
    ASSERT_FALSE(planDividersOnCorrectedCrystal(z, plain, 433.96f, 0));
    EXPECT_EQ(z.Ntot, 4360);
}

TEST(CrystalCorrection, ARefusedPlanChangesNothing) {
    RegisterImage regs = kDefaultImage;
    FrequencyState s;
    ReadFrequencyState(s, regs, 10.0, -50, 1);
    const FrequencyState before = s;
    EXPECT_TRUE(planDividersOnCorrectedCrystal(s, regs, -50.0f, 20));
    EXPECT_EQ(regs, kDefaultImage);
    EXPECT_EQ(s.fXTAL, before.fXTAL);
    EXPECT_EQ(s.Ntot, before.Ntot);
}

// A measurement made on a board whose crystal is off by ppm gives that ppm back.
TEST(CrystalCorrection, MeasurementsGiveBackTheCorrectionThatMadeThem) {
    for (const test::PlanCase& plan : test::kFivePlans) {
        const FrequencyState s = correctionDefaultPlanAt(plan.rf);
        const CorrectedFrequencies nominal = correctedFrequencies(s, 0);
        for (double ppm : {20.0, -50.0, 0.25, -999.0, 0.0}) {
            SCOPED_TRACE(testing::Message() << plan.rf << " MHz, " << ppm << " ppm");
            const CorrectedFrequencies real = correctedFrequencies(s, ppm);
            EXPECT_NEAR(crystalPpmFromLo1(nominal.fLO1, real.fLO1), ppm, 1e-6);
            EXPECT_NEAR(crystalPpmFromRfOffset(nominal.fRF, real.rfOffsetHz), ppm, 1e-6);
            EXPECT_NEAR(crystalPpmFromRfOffset(nominal.fRF, (real.fRF - nominal.fRF) * 1e6), ppm,
                        1e-6);
        }
    }
    // The sign: an LO1 measured high is a crystal that runs fast.
    EXPECT_NEAR(crystalPpmFromLo1(500.0, 500.01), 20.0, 1e-9);
    EXPECT_NEAR(crystalPpmFromRfOffset(433.9, -21695), -50.0, 1e-9);
}

TEST(CrystalCorrection, RefusesFiguresNoCrystalIsOffBy) {
    struct Case {
        double ppm;
        bool usable;
    };
    const Case cases[] = {
        {0, true},
        {1000, true},
        {-1000, true},
        {1000.001, false},
        {-5000, false},
        {std::numeric_limits<double>::infinity(), false},
        {std::numeric_limits<double>::quiet_NaN(), false},
    };
    for (const Case& c : cases) {
        const auto refusal = crystalPpmRefusal(c.ppm, "--ppm");
        EXPECT_EQ(!refusal, c.usable) << c.ppm;
        if (refusal) {
            EXPECT_EQ(refusal->rfind("--ppm: ", 0), 0u) << *refusal;
        }
    }
}

// The entries as typed (the dialog's, the options'): the same figure as the arithmetic, and
// a refusal that names the entry and keeps the figure it had.
TEST(CrystalCorrection, TypedMeasurementsAndCorrections) {
    const FrequencyState s = correctionDefaultPlanAt(433.92);
    const CorrectedFrequencies real = correctedFrequencies(s, -50);
    double ppm = 7;
    ASSERT_FALSE(
        crystalPpmFromMeasurement(s, CrystalMeasurement::Lo1, fixedText(real.fLO1, 9), "LO1", ppm));
    EXPECT_NEAR(ppm, -50, 1e-6);
    ASSERT_FALSE(crystalPpmFromMeasurement(s, CrystalMeasurement::RfOffset,
                                           fixedText(real.rfOffsetHz, 3), "offset", ppm));
    EXPECT_NEAR(ppm, -50, 1e-5);
    ASSERT_FALSE(parseCrystalPpm("-12.5", "ppm", ppm));
    EXPECT_EQ(ppm, -12.5);

    struct Refused {
        CrystalMeasurement kind;
        const char* text;
        const char* says;
    };
    const Refused refused[] = {
        {CrystalMeasurement::Lo1, "abc", "entry: \"abc\" is not a number"},
        {CrystalMeasurement::Lo1, "", "is not a number"},
        {CrystalMeasurement::Lo1, "-1", "entry: \"-1\" is no frequency above 0 MHz"},
        {CrystalMeasurement::Lo1, "0", "no frequency above 0 MHz"},
        // 600 MHz against an LO1 of 581.2: over 32000 ppm.
        {CrystalMeasurement::Lo1, "600", "check the measurement against the plan (f LO1 581.2"},
        {CrystalMeasurement::RfOffset, "1e6", "entry: a crystal correction of"},
        {CrystalMeasurement::RfOffset, "-5e5", "entry: a crystal correction of -11"},
        {CrystalMeasurement::RfOffset, "nan", "entry: \"nan\" is not a number"},
    };
    for (const Refused& r : refused) {
        ppm = 7;
        const auto refusal = crystalPpmFromMeasurement(s, r.kind, r.text, "entry", ppm);
        ASSERT_TRUE(refusal) << r.text;
        EXPECT_NE(refusal->find(r.says), std::string::npos) << *refusal;
        EXPECT_EQ(ppm, 7) << r.text;
    }
    for (const char* text : {"x", "1001", "-inf", "20 ppm"}) {
        ppm = 7;
        const auto refusal = parseCrystalPpm(text, "Correction [ppm]", ppm);
        ASSERT_TRUE(refusal) << text;
        EXPECT_EQ(refusal->rfind("Correction [ppm]: ", 0), 0u) << *refusal;
        EXPECT_EQ(ppm, 7) << text;
    }
}

TEST(CrystalCorrection, TextsBothFrontEndsShow) {
    const std::pair<double, const char*> ppm[] = {{20, "+20"},    {-50, "-50"},  {0.25, "+0.25"},
                                                  {-0.0001, "0"}, {0.0001, "0"}, {0, "0"}};
    for (const auto& [v, text] : ppm) EXPECT_EQ(crystalPpmText(v), text) << v;
    EXPECT_EQ(correctedValueText(433.908678, 20),
              "433.908678 MHz on the crystal corrected by +20 ppm");
    EXPECT_NE(nominalRfNote(-50).find("-50 ppm"), std::string::npos);
    EXPECT_STREQ(plannedOnText(true), "corrected");
    EXPECT_STREQ(plannedOnText(false), "nominal");
}

}  // namespace
}  // namespace zvk
