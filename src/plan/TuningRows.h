// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>

#include "plan/CrystalCorrection.h"
#include "plan/FrequencyPlan.h"

namespace zvk {

// The tuning info's texts, written once for the window and for zvk40310ctl's text and
// JSON output: each text's JSON key, its caption, its item and the same frequency on the
// corrected crystal, in the window's order.
struct TuningRow {
    const char* key;
    const char* label;
    TuningItem TuningInfo::*item;
    double CorrectedFrequencies::*corrected;
};
inline constexpr TuningRow kTuningRows[] = {
    {"fRF", "f RF", &TuningInfo::fRF, &CorrectedFrequencies::fRF},
    {"fCH", "f CH", &TuningInfo::fCH, &CorrectedFrequencies::fCH},
    {"fIF1", "f IF1", &TuningInfo::fIF1, &CorrectedFrequencies::fIF1},
    {"fIF2", "f IF2", &TuningInfo::fIF2, &CorrectedFrequencies::fIF2},
    {"fLO1", "f LO1", &TuningInfo::fLO1, &CorrectedFrequencies::fLO1},
    {"fLO2", "f LO2", &TuningInfo::fLO2, &CorrectedFrequencies::fLO2},
    {"fPFD", "f PFD", &TuningInfo::fPFD, &CorrectedFrequencies::fPFD},
    {"fIFF", "f IFF", &TuningInfo::IF2CH, &CorrectedFrequencies::fIFF},
};
// The window's "Tuning Info" group shows the rows before this one; the filter's
// frequency is shown on the frequency page instead.
inline constexpr size_t kTuningInfoGroupRows = 7;

}  // namespace zvk
