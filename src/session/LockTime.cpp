// SPDX-License-Identifier: MIT
#include "session/LockTime.h"

#include <algorithm>

#include "base/Numbers.h"
#include "session/Session.h"

namespace zvk {

void selectLockDetectOutput(Session& s) {
    s.chip().setField(field("MFO"), kMfoLdOut);
    // What the program shows follows the image: the measurement asks for LD out there.
    s.setMfoSelection(kMfoLdOut);
}

std::optional<std::string> lockTimeHops(Session& s, double from, double to, int repeat,
                                        std::vector<LockTimeHop>& hops) {
    for (double mhz : {to, from})
        if (auto refusal = s.planQuietly(mhz)) return formatFrequency(mhz) + " MHz: " + *refusal;
    // The plan of from stands: the first write cycle tunes there, and its settling is no hop.
    s.writeCycle();
    double at = from;
    for (int i = 0; i < repeat; ++i) {
        const double next = i % 2 == 0 ? to : from;
        s.planQuietly(next);
        s.writeCycle();
        hops.push_back({at, next, s.chip().lastLockTime()});
        at = next;
    }
    return std::nullopt;
}

LockTimeSummary summarizeLockTimes(const std::vector<LockTimeHop>& hops) {
    LockTimeSummary sum;
    std::vector<double> ms;
    for (const LockTimeHop& h : hops) {
        if (!h.time) continue;
        ms.push_back(h.time->ms);
        if (h.time->capped) ++sum.capped;
        sum.resolutionMs = std::max(sum.resolutionMs, h.time->resolutionMs);
    }
    sum.measured = ms.size();
    if (ms.empty()) return sum;
    std::sort(ms.begin(), ms.end());
    sum.minMs = ms.front();
    sum.maxMs = ms.back();
    const size_t mid = ms.size() / 2;
    sum.medianMs = ms.size() % 2 != 0 ? ms[mid] : (ms[mid - 1] + ms[mid]) / 2;
    return sum;
}

std::string lockTimeResolutionText(double resolutionMs, std::string_view transport) {
    return "resolution " + fixedText(resolutionMs, 4) + " ms over " + std::string(transport);
}

std::string lockTimeRangeText(const LockTimeSummary& sum) {
    if (sum.measured == 0) return {};
    return "min " + fixedText(sum.minMs, 3) + "  median " + fixedText(sum.medianMs, 3) + "  max " +
           fixedText(sum.maxMs, 3) + " ms";
}

}  // namespace zvk
