// SPDX-License-Identifier: MIT
#pragma once
#include "plan/TuningRows.h"

namespace zvk::cli {

// The tuning info's rows (kTuningRows) are the window's; the counters come before them,
// and their JSON keys are their captions.
inline constexpr const char* kNtotKey = "Ntot";
inline constexpr const char* kNKey = "N";
inline constexpr const char* kAKey = "A";

}  // namespace zvk::cli
