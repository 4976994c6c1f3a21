// SPDX-License-Identifier: MIT
#pragma once
// Where the wanted signal, the oscillators, the IFs, the images and the first mixer's
// spurs lie, from the tuned values of the recompute step.
#include <optional>
#include <string>
#include <vector>

#include "plan/CrystalCorrection.h"
#include "plan/FrequencyPlan.h"

namespace zvk {

// An input frequency f the first mixer also turns into IF1: |m*f - n*fLO1| = fIF1.
struct Spur {
    int m = 0, n = 0;
    double f = 0;
    int order = 0;  // m + n
};

// A product of the reference near a frequency that matters: a crystal harmonic k*fXTAL
// ("xtal") within fIF2 of fRF, fLO1 or fIF1, or a PFD sideband fLO1 + k*fPFD ("pfd").
struct ReferenceProduct {
    std::string kind;
    int k = 0;
    double f = 0;
    std::string near;  // "fRF", "fLO1" or "fIF1"
};

struct PlanPicture {
    // The chain, with the sides: s1 = +1 when LO1 lies above the signal, s2 = +1 when LO2
    // lies above IF1.
    double fRF = 0, fLO1 = 0, fIF1 = 0, fLO2 = 0, fIF2 = 0, fXTAL = 0, fPFD = 0;
    int s1 = 1, s2 = 1;
    double image1 = 0;        // fRF + 2*s1*fIF1
    double image2 = 0;        // fRF - 2*s1*s2*fIF2, referred to the antenna
    double image2Mirror = 0;  // its mirror through the first mixer
    // Within 50 % of fRF, nearest first; m = n = 2 is the half-IF spur.
    std::vector<Spur> spurs;
    std::vector<ReferenceProduct> reference;
    // What the chip really does on the corrected crystal, while a correction is set: every
    // frequency above is nominal, and the real one is the nominal one times the same factor.
    std::optional<CorrectedFrequencies> corrected;
};

// From a state the recompute step has filled; ppm, when not 0, adds the corrected values.
PlanPicture planPicture(const FrequencyState& s, double ppm = 0);

}  // namespace zvk
