// SPDX-License-Identifier: MIT
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chip/ChipController.h"

namespace zvk {

class Session;

// One hop of the synthesizer: a write cycle that moves the plan from one wanted frequency
// to the other, and what the lock-detect pin took to settle after it.
struct LockTimeHop {
    double from = 0, to = 0;
    std::optional<LockTime> time;  // none: the pin was low already when sampling began
};

// The hops' lock times summed up; only hops with a time count.
struct LockTimeSummary {
    size_t measured = 0;
    size_t capped = 0;
    double minMs = 0, medianMs = 0, maxMs = 0;
    double resolutionMs = 0;  // the coarsest hop's
};

// MFO at "LD out" in the program's image (the status word cannot be read meanwhile); the
// configuration file the image came from is not touched.
void selectLockDetectOutput(Session& s);

// Plans from and to first (the refusal, naming the frequency, comes before anything is
// sent), then tunes to from and hops repeat times: to, from, to, ...
std::optional<std::string> lockTimeHops(Session& s, double from, double to, int repeat,
                                        std::vector<LockTimeHop>& hops);
LockTimeSummary summarizeLockTimes(const std::vector<LockTimeHop>& hops);

// How finely the lock times were timed and over which transport, as every output that
// shows one names them: "resolution 0.0010 ms over lpt".
std::string lockTimeResolutionText(double resolutionMs, std::string_view transport);
// "min 1.234  median 2.345  max 3.456 ms" (of the measured hops; empty when none was).
std::string lockTimeRangeText(const LockTimeSummary& sum);

}  // namespace zvk
