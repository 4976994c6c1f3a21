// SPDX-License-Identifier: MIT
#include "plan/CrystalCorrection.h"

#include <cmath>

#include "base/Numbers.h"

namespace zvk {

std::optional<std::string> crystalPpmRefusal(double ppm, std::string_view input) {
    if (std::isfinite(ppm) && std::fabs(ppm) <= kMaxCrystalPpm) return std::nullopt;
    const std::string limit = fixedText(kMaxCrystalPpm, 0);
    if (!std::isfinite(ppm))
        return std::string(input) + ": the crystal correction is not a finite number of ppm";
    return std::string(input) + ": a crystal correction of " + fixedText(ppm, 3) +
           " ppm is beyond -" + limit + "..+" + limit + " ppm";
}

double crystalFactor(double ppm) {
    return 1.0 + ppm * 1e-6;
}

CorrectedFrequencies correctedFrequencies(const FrequencyState& s, double ppm) {
    FrequencyState nominal = s;
    RecomputeFrequencies(nominal);
    const double k = crystalFactor(ppm);
    CorrectedFrequencies c;
    c.ppm = ppm;
    c.fXTAL = nominal.fXTAL * k;
    c.fRF = nominal.fRFt * k;
    c.fCH = nominal.fCH * k;
    c.fIF1 = nominal.fIF1 * k;
    c.fIF2 = nominal.fIF2 * k;
    c.fLO1 = nominal.fLO1 * k;
    c.fLO2 = nominal.fLO2 * k;
    c.fPFD = nominal.fPFD * k;
    c.fIFF = nominal.fIFF * k;
    // MHz times parts per million is Hz.
    c.rfOffsetHz = nominal.fRFt * ppm;
    return c;
}

std::optional<std::string> planDividersOnCorrectedCrystal(FrequencyState& s, RegisterImage& regs,
                                                          float fRF, double ppm,
                                                          std::optional<double> wanted) {
    const double k = crystalFactor(ppm);
    FrequencyState real = s;
    real.fXTAL = s.fXTAL * k;
    if (auto refusal = PlanDividers(real, regs, fRF, wanted)) return refusal;
    // The dividers are the real crystal's choice; what the program shows stays nominal,
    // and the plan's frequencies are linear in the crystal.
    const double nominalXtal = s.fXTAL;
    s = real;
    s.fXTAL = nominalXtal;
    s.fIF2 = real.fIF2 / k;
    s.fLO1 = real.fLO1 / k;
    s.fPFD = real.fPFD / k;
    s.fCH = real.fCH / k;
    s.fRFt = real.fRFt / k;
    return std::nullopt;
}

double crystalPpmFromLo1(double nominalLo1, double measuredLo1) {
    return (measuredLo1 / nominalLo1 - 1.0) * 1e6;
}

double crystalPpmFromRfOffset(double nominalRf, double offsetHz) {
    // Hz per MHz is parts per million.
    return offsetHz / nominalRf;
}

}  // namespace zvk
