// SPDX-License-Identifier: MIT
#include "plan/PlanPicture.h"

#include <algorithm>
#include <cmath>

namespace zvk {

namespace {
constexpr int kMaxHarmonic = 5;
constexpr double kSpurSpan = 0.5;  // spurs kept within this fraction of fRF
}  // namespace

PlanPicture planPicture(const FrequencyState& s, double ppm) {
    PlanPicture p;
    p.fRF = s.fRFt;
    p.fLO1 = s.fLO1;
    p.fIF1 = s.fIF1;
    p.fLO2 = s.fLO2;
    p.fIF2 = s.fIF2;
    p.fXTAL = s.fXTAL;
    p.fPFD = s.fPFD;
    p.s1 = s.INJLO1 == 1 ? 1 : -1;
    p.s2 = s.SSBSEL == 1 ? 1 : -1;
    p.image1 = p.fRF + 2 * p.s1 * p.fIF1;
    p.image2 = p.fRF - 2 * p.s1 * p.s2 * p.fIF2;
    p.image2Mirror = p.fLO1 + p.s1 * (p.fIF1 + 2 * p.s2 * p.fIF2);

    for (int m = 1; m <= kMaxHarmonic; ++m) {
        for (int n = 1; n <= kMaxHarmonic; ++n) {
            if (m == 1 && n == 1) continue;  // the wanted signal and the first image
            for (int sign : {-1, 1}) {
                const double f = (n * p.fLO1 + sign * p.fIF1) / m;
                if (!(f > 0) || std::fabs(f - p.fRF) > kSpurSpan * std::fabs(p.fRF)) continue;
                // (2m, 2n) lands where (m, n) does not, but a product can repeat one of
                // lower order: that one is kept.
                const bool known = std::any_of(p.spurs.begin(), p.spurs.end(), [&](const Spur& o) {
                    return std::fabs(o.f - f) < 1e-9;
                });
                if (!known) p.spurs.push_back({m, n, f, m + n});
            }
        }
    }
    std::stable_sort(p.spurs.begin(), p.spurs.end(), [&](const Spur& a, const Spur& b) {
        const double da = std::fabs(a.f - p.fRF), db = std::fabs(b.f - p.fRF);
        return da != db ? da < db : a.order < b.order;
    });

    const double window = std::fabs(p.fIF2);
    if (p.fXTAL > 0) {
        for (const auto& [name, target] :
             {std::pair{"fRF", p.fRF}, {"fLO1", p.fLO1}, {"fIF1", p.fIF1}}) {
            const int first = std::max(1, int(std::ceil((target - window) / p.fXTAL)));
            const int last = int(std::floor((target + window) / p.fXTAL));
            for (int k = first; k <= last; ++k)
                p.reference.push_back({"xtal", k, k * p.fXTAL, name});
        }
    }
    for (int k : {-1, 1}) p.reference.push_back({"pfd", k, p.fLO1 + k * p.fPFD, "fLO1"});
    if (ppm != 0) p.corrected = correctedFrequencies(s, ppm);
    return p;
}

}  // namespace zvk
