// SPDX-License-Identifier: MIT
#pragma once
#include "plan/FrequencyPlan.h"

namespace zvk::cli {

// The tuning info as zvk40310ctl shows it, written once for the text and the JSON output:
// each text's JSON key and the window's caption, in the order the window shows them.
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

// The counters before the texts: their JSON keys are their captions.
inline constexpr const char* kNtotKey = "Ntot";
inline constexpr const char* kNKey = "N";
inline constexpr const char* kAKey = "A";

}  // namespace zvk::cli
