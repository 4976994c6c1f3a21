// SPDX-License-Identifier: MIT
#include "plan/CrystalCorrection.h"

#include <cmath>

#include "base/Numbers.h"
#include "base/Text.h"

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

std::optional<std::string> parseCrystalPpm(std::string_view text, std::string_view input,
                                           double& ppm) {
    const auto v = parseDouble(text);
    if (!v) return std::string(input) + ": " + quotedText(text) + " is not a number";
    if (auto refusal = crystalPpmRefusal(*v, input)) return refusal;
    ppm = *v;
    return std::nullopt;
}

std::optional<std::string> crystalPpmFromMeasurement(const FrequencyState& s,
                                                     CrystalMeasurement kind, std::string_view text,
                                                     std::string_view input, double& ppm) {
    const auto measured = parseDouble(text);
    if (!measured) return std::string(input) + ": " + quotedText(text) + " is not a number";
    const bool fromLo1 = kind == CrystalMeasurement::Lo1;
    if (fromLo1 && !(*measured > 0))
        return std::string(input) + ": " + quotedText(text) + " is no frequency above 0 MHz";
    const CorrectedFrequencies nominal = correctedFrequencies(s, 0);
    const double figure = fromLo1 ? crystalPpmFromLo1(nominal.fLO1, *measured)
                                  : crystalPpmFromRfOffset(nominal.fRF, *measured);
    if (auto refusal = crystalPpmRefusal(figure, input))
        return *refusal + ": check the measurement against the plan (f LO1 " +
               fixedText(nominal.fLO1, 6) + " MHz, f RF " + fixedText(nominal.fRF, 6) + " MHz)";
    ppm = figure;
    return std::nullopt;
}

std::string crystalPpmText(double ppm) {
    std::string t = fixedText(ppm, 3);
    while (t.back() == '0') t.pop_back();
    if (t.back() == '.') t.pop_back();
    if (t == "-0") t = "0";
    return (t != "0" && ppm > 0 ? "+" : "") + t;
}

std::string correctedFrequencyText(double mhz) {
    return fixedText(mhz, 6);
}

const char* plannedOnText(bool planOnCorrectedCrystal) {
    return planOnCorrectedCrystal ? "corrected" : "nominal";
}

std::string correctedValueText(double correctedMhz, double ppm) {
    return correctedFrequencyText(correctedMhz) + " MHz on the crystal corrected by " +
           crystalPpmText(ppm) + " ppm";
}

std::string nominalRfNote(double ppm) {
    return "f RF is the nominal plan's: N and A are planned on the crystal corrected by " +
           crystalPpmText(ppm) + " ppm, so it differs from the wanted RF by the correction";
}

}  // namespace zvk
