// SPDX-License-Identifier: MIT
// The frequency plan's picture: images, spurs and reference products, against numbers
// worked by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "PlanFixtures.h"
#include "plan/PlanPicture.h"

namespace zvk {
namespace {

// A chain with round numbers: fRF 400, fIF1 100, fIF2 2, LO1 and LO2 on the given sides.
FrequencyState chain(int s1, int s2) {
    FrequencyState s;
    s.INJLO1 = s1 > 0 ? 1 : 10;
    s.SSBSEL = s2 > 0 ? 1 : 0;
    s.fRFt = 400;
    s.fIF1 = 100;
    s.fIF2 = 2;
    s.fLO1 = 400 + s1 * 100;
    s.fLO2 = 100 + s2 * 2;
    s.fXTAL = 10;
    s.fPFD = 10.0 / 75;
    return s;
}

TEST(PlanPicture, ImagesOnEitherSideOfBothMixers) {
    const struct {
        int s1, s2;
        double image1, image2, mirror, halfIf;
    } cases[] = {
        // LO1 500 above: image1 600; LO2 102 above IF1 100: IF2 image at IF1 104, i.e. an
        // antenna frequency of 500 - 104 = 396, mirrored to 500 + 104 = 604.
        {+1, +1, 600, 396, 604, 450},
        // LO2 98 below: IF2 image at IF1 96: antenna 404, mirror 596.
        {+1, -1, 600, 404, 596, 450},
        // LO1 300 below: image1 200; LO2 above: IF1 image 104 gives antenna 404, mirror 196.
        {-1, +1, 200, 404, 196, 350},
        {-1, -1, 200, 396, 204, 350},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.s1) + "/" + std::to_string(c.s2));
        const PlanPicture p = planPicture(chain(c.s1, c.s2));
        EXPECT_EQ(p.s1, c.s1);
        EXPECT_EQ(p.s2, c.s2);
        EXPECT_DOUBLE_EQ(p.image1, c.image1);
        EXPECT_DOUBLE_EQ(p.image2, c.image2);
        EXPECT_DOUBLE_EQ(p.image2Mirror, c.mirror);
        bool half = false;
        for (const Spur& s : p.spurs) {
            EXPECT_NE(s.m == 1 && s.n == 1, true);
            EXPECT_LE(std::fabs(s.f - 400), 200.0);
            EXPECT_EQ(s.order, s.m + s.n);
            if (s.m == 2 && s.n == 2 && std::fabs(s.f - c.halfIf) < 1e-9) half = true;
        }
        EXPECT_TRUE(half) << "no half-IF spur at " << c.halfIf;
        for (size_t i = 1; i < p.spurs.size(); ++i)
            EXPECT_LE(std::fabs(p.spurs[i - 1].f - 400), std::fabs(p.spurs[i].f - 400));
    }
}

TEST(PlanPicture, TheDefaultPlan) {
    // 384 MHz on a 10 MHz crystal, as the defaults plan it: Ntot 3860, R 75, LO1 high,
    // LO2 low, divider 4.
    FrequencyState s;
    s.fXTAL = 10;
    s.INJLO1 = 1;
    s.N = 120;
    s.A = 20;
    s.R = 75;
    s.RIFF = 684;
    s.SSBSEL = 0;
    s.L = 4;
    s.fIF2 = 2.0;
    RecomputeFrequencies(s);
    const PlanPicture p = planPicture(s);
    EXPECT_NEAR(p.image1, 645.333, 5e-4);
    EXPECT_NEAR(p.image2, 388.000, 5e-4);
    EXPECT_NEAR(p.image2Mirror, 641.333, 5e-4);
    const auto half = std::find_if(p.spurs.begin(), p.spurs.end(),
                                   [](const Spur& x) { return x.m == 2 && x.n == 2; });
    ASSERT_NE(half, p.spurs.end());
    EXPECT_NEAR(half->f, 449.333, 5e-4);
    // Crystal harmonics within 2 MHz: 38 x 10 = 380 is not (384 - 380 = 4), 51 x 10 = 510
    // is not near 514.667 either; 13 x 10 = 130 lies 0.667 from fIF1.
    ASSERT_EQ(p.reference.size(), 3u);
    EXPECT_EQ(p.reference[0].kind, "xtal");
    EXPECT_EQ(p.reference[0].k, 13);
    EXPECT_EQ(p.reference[0].near, "fIF1");
    EXPECT_EQ(p.reference[1].kind, "pfd");
    EXPECT_NEAR(p.reference[1].f, 514.667 - 0.133, 1e-3);
    EXPECT_NEAR(p.reference[2].f, 514.667 + 0.133, 1e-3);
}

TEST(PlanPicture, TheDefaultPlanAndTheBandPresets) {
    // Worked by hand from the tuned chain (fIF2 = 2 everywhere):
    // 315.0: LO1 417.333 high, LO2 104.333 high, IF1 102.333: image1 315 + 204.667,
    //   IF2 image at IF1 106.333 -> 417.333 - 106.333 = 311, mirror 523.667, half IF 366.167.
    // 433.9: LO1 575.867, IF1 141.967: image1 717.833, image2 429.9, mirror 721.833,
    //   half IF 504.883.
    // 868.3: LO1 693.040 low, LO2 173.26 low, IF1 175.26: image1 868.3 - 350.52 = 517.78;
    //   IF2 image at IF1 171.26 -> 693.04 + 171.26 = 864.3, mirror 521.78; half IF 780.67.
    // 915.0: LO1 730.4, IF1 184.6: image1 545.8, image2 911, mirror 549.8, half IF 822.7.
    const struct {
        double image1, image2, mirror, halfIf;
    } expected[] = {
        {645.333, 388.000, 641.333, 449.333}, {519.667, 311.000, 523.667, 366.167},
        {717.833, 429.900, 721.833, 504.883}, {517.780, 864.300, 521.780, 780.670},
        {545.800, 911.000, 549.800, 822.700},
    };
    test::expectPresetsAsPlanned();
    for (size_t i = 0; i < std::size(test::kFivePlans); ++i) {
        const test::PlanCase& plan = test::kFivePlans[i];
        const auto& c = expected[i];
        SCOPED_TRACE(plan.rf);
        const PlanPicture p = planPicture(test::planned(plan));
        EXPECT_NEAR(p.fRF, plan.rf, 5e-4);
        EXPECT_NEAR(p.fRF, plan.rf, 5e-4);
        EXPECT_NEAR(p.image1, c.image1, 5e-4);
        EXPECT_NEAR(p.image2, c.image2, 5e-4);
        EXPECT_NEAR(p.image2Mirror, c.mirror, 5e-4);
        const auto half = std::find_if(p.spurs.begin(), p.spurs.end(),
                                       [](const Spur& x) { return x.m == 2 && x.n == 2; });
        ASSERT_NE(half, p.spurs.end());
        EXPECT_NEAR(half->f, c.halfIf, 5e-4);
    }
}

}  // namespace
}  // namespace zvk
