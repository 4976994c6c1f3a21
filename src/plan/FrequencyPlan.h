// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Numbers.h"
#include "chip/Registers.h"

namespace zvk {

// The synthesizer arithmetic of the frequency plan, as plain functions over a state that
// the window (and the command-line tool) owns. Widgets are not touched here: the window
// reads its edit texts, calls these, and writes the results back.
struct FrequencyState {
    double fXTAL = 10.0;
    double fRF = 433.0;
    int16_t INJLO1 = 1;  // 1: LO1 above the signal
    // working copies
    uint16_t N = 0, A = 0, R = 0, RIFF = 0, SSBSEL = 0;
    int L = 4;
    int32_t Ntot = 0;
    // computed
    double fIF2 = 0, fPFD = 0, fCH = 0, fLO1 = 0, fLO2 = 0, fIF1 = 0, fRFt = 0, fIFF = 0;
    // the MFO field seen by the last ReadFrequencyState (start-up consults it)
    int mfo = 0;
};

// Reads N, A, R, RIFF, SSBSEL and L and the MFO field from the register image, and takes
// the crystal, the wanted frequency and INJLO1 as given.
void ReadFrequencyState(FrequencyState& s, const RegisterImage& regs, double fXTAL, double fRF,
                        int16_t injlo1);

// The planning step after ReadFrequencyState: fIF2, fLO1, fPFD, fCH, Ntot, fRFt, N and A,
// and N and A written into R2 and R3[3:0]. fRF is the single-precision argument. Returns
// a one-line refusal, and changes nothing, when the wanted frequency gives no valid Ntot.
// An R or RIFF of 0 in the register image counts as the recompute step's minimum.
// A refusal names wanted when given (the stored double-precision fRF, which the float
// argument may have turned into an infinity), else fRF.
std::optional<std::string> PlanDividers(FrequencyState& s, RegisterImage& regs, float fRF,
                                        std::optional<double> wanted = std::nullopt);

// The recompute step after ReadFrequencyState: working-copy minimums, then every
// frequency from the dividers. The register image is not touched.
void RecomputeFrequencies(FrequencyState& s);

// What ShowTuningInfo puts into each edit.
struct TuningItem {
    std::string text;
    bool red = false;
};
struct TuningInfo {
    TuningItem fRF, fCH, fIF1, fIF2, fLO1, fLO2, fPFD;  // the tuning-info group
    TuningItem Ntot;
    std::string A, N, R, RIFF;  // working copies into E_A, E_N, E_R, E_RIFF
    TuningItem IF2CH;           // fIFF
};
TuningInfo ShowTuningInfo(const FrequencyState& s);

// The IF filter's centre frequency fXTAL / divider * 200 * 2.052 / 3, with the constants
// and the evaluation order that fIF2 and fIFF are defined by.
double ifFilterCentre(double fXTAL, double riff);

// The stored fRF as PlanDividers' single-precision argument; beyond the float range it
// becomes an infinity (which PlanDividers refuses) instead of an undefined conversion.
float rfArgument(double fRF);

// A number from an unguarded edit (spinner release, ApplyDividerEdits) as the field value:
// within the field width as typed (no lower limit), otherwise clamped to the spinner range
// so that it never spills into a neighbouring field.
uint32_t unguardedFieldValue(long long value, int width, int spinnerMin, int spinnerMax);

// The band presets of RGFreq.
struct BandPreset {
    const char* caption;
    double fRF;
    int lo2Div;     // RG_LO2Div item
    int injection;  // RG_IF1 and RG_SSBSEL item
    int R;
};
extern const BandPreset kBandPresets[4];

// The eight preconfigured ABC-mode frequencies.
struct AbcPreset {
    const char* item;
    double fRF;
    int A, B, C;
};
extern const AbcPreset kAbcPresets[8];

}  // namespace zvk
