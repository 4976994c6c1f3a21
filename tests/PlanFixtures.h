// SPDX-License-Identifier: MIT
#pragma once
// The default plan and the four band presets, planned as the window plans them.
#include <gtest/gtest.h>

#include <cstdint>

#include "chip/FieldMap.h"
#include "plan/FrequencyPlan.h"

namespace zvk::test {

struct PlanCase {
    double rf;
    int r;
    bool lo1High, lo2High;
};

// The default settings' plan, then the band presets in the order of their table.
inline constexpr PlanCase kFivePlans[] = {
    {384.0, 75, true, false},   {315.0, 75, true, true},    {433.9, 75, true, true},
    {868.3, 125, false, false}, {915.0, 125, false, false},
};

// The default image with the case's R and LO2 side, the planning step, then the recompute
// step, on a 10 MHz crystal.
inline FrequencyState planned(const PlanCase& c) {
    RegisterImage regs = kDefaultImage;
    setFieldValue(regs, field("R"), uint32_t(c.r));
    setFieldValue(regs, field("SSBSEL"), c.lo2High ? 1 : 0);
    FrequencyState s;
    const int16_t injlo1 = c.lo1High ? 1 : 0;
    ReadFrequencyState(s, regs, 10.0, c.rf, injlo1);
    EXPECT_FALSE(PlanDividers(s, regs, float(c.rf)));
    ReadFrequencyState(s, regs, 10.0, c.rf, injlo1);
    RecomputeFrequencies(s);
    return s;
}

// The presets are what the window's band choice applies.
inline void expectPresetsAsPlanned() {
    for (size_t i = 0; i < 4; ++i) {
        const PlanCase& c = kFivePlans[i + 1];
        EXPECT_DOUBLE_EQ(kBandPresets[i].fRF, c.rf);
        EXPECT_EQ(kBandPresets[i].R, c.r);
        EXPECT_EQ(kBandPresets[i].injection == 0, c.lo1High);
        EXPECT_EQ(kBandPresets[i].injection == 0, c.lo2High);
        EXPECT_EQ(kBandPresets[i].lo2Div, 0);
    }
}

}  // namespace zvk::test
