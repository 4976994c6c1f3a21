// SPDX-License-Identifier: MIT
// The lock time after a hop, measured on the virtual board's synthesizer over both
// transports, against the settling the chip model computes.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "board/ChipModel.h"
#include "chip/FieldMap.h"
#include "session/LockTime.h"
#include "session/Session.h"

namespace zvk {
namespace {

class LockTimeTest : public test::TempDir, public ::testing::WithParamInterface<const char*> {
  protected:
    LockTimeTest() : TempDir("zvk-locktime") {}
    std::unique_ptr<Session> open(const char* board) {
        SessionOptions o;
        o.boardName = board;
        o.settingsPath = file("zvk40310.INI");
        o.clock = &clock;
        o.realtime = false;
        auto s = std::make_unique<Session>(o);
        s->startUp();
        Config c;
        c.regs = kDefaultImage;
        c.spisel = true;
        s->takeConfig(c);
        s->chip().setField(field("OPMODE"), 1);  // Receive: the synthesizer runs
        s->setTimeLockOnEveryLink(true);
        selectLockDetectOutput(*s);
        return s;
    }
    SteppingClock clock{3};
};

TEST_P(LockTimeTest, EachHopTakesTheModelsSettlingWithinTheResolution) {
    auto s = open(GetParam());
    std::vector<LockTimeHop> hops;
    std::vector<double> expected;
    ASSERT_FALSE(lockTimeHops(*s, 400.0, 430.0, 1, hops));
    ASSERT_EQ(hops.size(), 1u);
    // The rest of the hops one at a time, so the model's deadline can be read after each.
    for (int i = 0; i < 4; ++i) {
        const LockTimeHop& h = hops.back();
        ASSERT_TRUE(h.time) << GetParam() << " hop " << i;
        const double settleMs =
            double(s->board().chip->settleUntil() - h.time->startCount) / 1000.0;
        // The figure the window shows subtracts 2 us from what it counted, in single
        // precision (1e-4 covers its rounding at these values).
        EXPECT_NEAR(h.time->ms + 0.002, settleMs, h.time->resolutionMs + 1e-4)
            << GetParam() << " hop " << i;
        EXPECT_FALSE(h.time->capped);
        EXPECT_GT(h.time->ms, 1.0) << "at least the settling's base of 1 ms";
        const double back = h.to;
        ASSERT_FALSE(lockTimeHops(*s, back, i % 2 == 0 ? 400.0 : 470.0, 1, hops));
    }
    const LockTimeSummary sum = summarizeLockTimes(hops);
    EXPECT_EQ(sum.measured, hops.size());
    EXPECT_LE(sum.minMs, sum.medianMs);
    EXPECT_LE(sum.medianMs, sum.maxMs);
    EXPECT_GT(sum.resolutionMs, 0.0);
}

INSTANTIATE_TEST_SUITE_P(Transports, LockTimeTest, ::testing::Values("virtual", "virtual-usb"));

TEST(LockTimeSummary, MedianOfEvenAndOddCountsAndCappedHops) {
    auto hop = [](double ms, bool capped = false) {
        return LockTimeHop{0, 0, LockTime{.ms = ms, .capped = capped, .resolutionMs = ms / 10}};
    };
    const LockTimeSummary odd = summarizeLockTimes({hop(3), hop(1), hop(2)});
    EXPECT_EQ(odd.medianMs, 2);
    EXPECT_EQ(odd.minMs, 1);
    EXPECT_EQ(odd.maxMs, 3);
    EXPECT_DOUBLE_EQ(odd.resolutionMs, 0.3);
    const LockTimeSummary even =
        summarizeLockTimes({hop(4), hop(1), LockTimeHop{}, hop(19.99, true), hop(2)});
    EXPECT_EQ(even.measured, 4u);
    EXPECT_EQ(even.capped, 1u);
    EXPECT_EQ(even.medianMs, 3);
    // As every output names them.
    EXPECT_EQ(lockTimeRangeText(odd), "min 1.000  median 2.000  max 3.000 ms");
    EXPECT_EQ(lockTimeRangeText(summarizeLockTimes({LockTimeHop{}})), "");
    EXPECT_EQ(lockTimeResolutionText(odd.resolutionMs, "usb"), "resolution 0.3000 ms over usb");
}

}  // namespace
}  // namespace zvk
