// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>

#include "plan/FrequencyPlan.h"

namespace zvk {

// The tuning info's texts, written once for the window and for zvk40310ctl's text and
// JSON output: each text's JSON key, its caption and its item, in the window's order.
struct TuningRow {
    const char* key;
    const char* label;
    TuningItem TuningInfo::*item;
};
inline constexpr TuningRow kTuningRows[] = {
    {"fRF", "f RF", &TuningInfo::fRF},    {"fCH", "f CH", &TuningInfo::fCH},
    {"fIF1", "f IF1", &TuningInfo::fIF1}, {"fIF2", "f IF2", &TuningInfo::fIF2},
    {"fLO1", "f LO1", &TuningInfo::fLO1}, {"fLO2", "f LO2", &TuningInfo::fLO2},
    {"fPFD", "f PFD", &TuningInfo::fPFD}, {"fIFF", "f IFF", &TuningInfo::IF2CH},
};
// The window's "Tuning Info" group shows the rows before this one; the filter's
// frequency is shown on the frequency page instead.
inline constexpr size_t kTuningInfoGroupRows = 7;

}  // namespace zvk
