// SPDX-License-Identifier: MIT
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "chip/Registers.h"
#include "plan/FrequencyPlan.h"

namespace zvk {

// The crystal's error in parts per million: positive when the crystal runs fast, the sign
// rtl-sdr's -p and hackrf's -C take. The configuration file keeps the crystal to 1 kHz
// only, so the correction lives apart from it (the settings file's own section).
struct CrystalCorrection {
    double ppm = 0;
    // N and A planned on the corrected crystal, so that the chip's real tuned RF is the
    // channel nearest the wanted RF; otherwise the planner's choice ignores the correction.
    bool planOnCorrectedCrystal = false;
};

// No crystal is off by more than this; a larger figure is a mistyped or mismeasured one.
inline constexpr double kMaxCrystalPpm = 1000;

// The one-line refusal of a correction that is no finite number within ±kMaxCrystalPpm,
// naming the input it came from; nullopt when it is usable.
std::optional<std::string> crystalPpmRefusal(double ppm, std::string_view input);

// The factor every frequency of the chip is off by: all of them are the crystal's times a
// ratio of its dividers.
double crystalFactor(double ppm);

// The frequencies of the current dividers on the corrected crystal, in MHz: what the chip
// really does. fRF is the tuned RF (the signal that lands at the planned second IF), fIF2
// that planned IF, fIFF the IF filter's centre.
struct CorrectedFrequencies {
    double ppm = 0;
    double fXTAL = 0, fRF = 0, fCH = 0, fIF1 = 0, fIF2 = 0, fLO1 = 0, fLO2 = 0, fPFD = 0, fIFF = 0;
    // The corrected tuned RF minus the nominal one, in Hz.
    double rfOffsetHz = 0;
};
// s as the planning step or the recompute step left it (its nominal crystal); every value
// comes from the dividers as the recompute step takes them, so a plan's ideal LO1 is
// never passed off as what the synthesizer makes. ppm 0 gives the nominal frequencies.
CorrectedFrequencies correctedFrequencies(const FrequencyState& s, double ppm);

// The planning step on the corrected crystal: N and A for the channel whose real tuned RF
// lies nearest the wanted fRF. The state keeps its nominal crystal and shows the nominal
// frequencies of those dividers (the tuned RF then differs from the wanted one by about
// the correction). A refusal changes nothing, as PlanDividers' does.
std::optional<std::string> planDividersOnCorrectedCrystal(
    FrequencyState& s, RegisterImage& regs, float fRF, double ppm,
    std::optional<double> wanted = std::nullopt);

// The correction a measurement gives: LO1 measured (MHz) against the nominal plan's LO1;
// or the real tuned RF's offset from the nominal tuned RF (Hz), found with a known signal.
double crystalPpmFromLo1(double nominalLo1, double measuredLo1);
double crystalPpmFromRfOffset(double nominalRf, double offsetHz);

// A correction typed by the user (an option, a dialog's entry): the refusal names input
// when the text is no number or no usable correction.
std::optional<std::string> parseCrystalPpm(std::string_view text, std::string_view input,
                                           double& ppm);

// What was measured to find the correction: LO1 in MHz, or a known signal's offset in Hz
// from the nominal tuned RF.
enum class CrystalMeasurement { Lo1, RfOffset };
// The correction a measurement of the nominal plan s gives (the recompute step's
// frequencies, never a corrected plan's, so the figure is the crystal's whole error).
// text is the measurement as typed; the refusal names input: no number, an LO1 not above
// 0 MHz, or a figure no crystal is off by (with the plan's values to check it against).
std::optional<std::string> crystalPpmFromMeasurement(const FrequencyState& s,
                                                     CrystalMeasurement kind, std::string_view text,
                                                     std::string_view input, double& ppm);

// The texts both front ends show: a correction with its sign always and no trailing zeros
// ("+20", "-0.5", "0"); a corrected frequency in MHz to the Hz (the display's three
// decimals would hide a correction of a few ppm); and the crystal N and A were planned on
// ("corrected" or "nominal").
std::string crystalPpmText(double ppm);
std::string correctedFrequencyText(double mhz);
const char* plannedOnText(bool planOnCorrectedCrystal);
// "433.908678 MHz on the crystal corrected by +20 ppm".
std::string correctedValueText(double correctedMhz, double ppm);
// While N and A are planned on the corrected crystal: the tuned RF shown is the nominal
// plan's, off the wanted RF by about the correction.
std::string nominalRfNote(double ppm);

}  // namespace zvk
