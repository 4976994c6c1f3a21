// SPDX-License-Identifier: MIT
#include "session/Sweep.h"

#include <cmath>

#include "base/Numbers.h"
#include "base/Text.h"
#include "session/Session.h"
#include "storage/FileText.h"

namespace zvk {

std::optional<std::string> sweepFrequencies(double from, double to, double step,
                                            std::vector<double>& out) {
    out.clear();
    if (!(step > 0) || !std::isfinite(step))
        return "--step: " + fixedText(step, 6) + " MHz is not a step above 0";
    if (!std::isfinite(from) || !std::isfinite(to)) return "--from/--to: not a frequency";
    // A point within a millionth of a step of to belongs to the sweep: 0.1 MHz steps do
    // not add up exactly.
    const double span = std::fabs(to - from) / step;
    if (span + 1 > double(kMaxSweepPoints))
        return "--step: " + fixedText(step, 6) + " MHz makes more than " +
               std::to_string(kMaxSweepPoints) + " points";
    const size_t count = size_t(std::floor(span + 1e-6)) + 1;
    const double sign = to < from ? -1.0 : 1.0;
    for (size_t i = 0; i < count; ++i) out.push_back(from + sign * double(i) * step);
    return std::nullopt;
}

std::optional<std::string> readSweepList(const std::string& path, std::vector<double>& out) {
    out.clear();
    std::string error;
    const auto text = readFileText(path, &error);
    if (!text) return "--list: " + quotedPath(path) + ": " + error;
    size_t pos = 0;
    for (int line = 1; pos < text->size(); ++line) {
        std::string_view l = nextLine(*text, pos);
        std::string_view first = l.substr(0, l.find(','));
        while (!first.empty() && (first.front() == ' ' || first.front() == '\t'))
            first.remove_prefix(1);
        while (!first.empty() && (first.back() == ' ' || first.back() == '\t'))
            first.remove_suffix(1);
        const std::string trimmed(first);
        if (trimmed.empty()) continue;
        const auto v = parseDouble(trimmed);
        if (!v) {
            if (line == 1) continue;  // a header
            return "--list: " + quotedPath(path) + " line " + std::to_string(line) + ": " +
                   quotedText(trimmed) + " is not a frequency";
        }
        if (out.size() == kMaxSweepPoints)
            return "--list: " + quotedPath(path) + " has more than " +
                   std::to_string(kMaxSweepPoints) + " frequencies";
        out.push_back(*v);
    }
    if (out.empty()) return "--list: " + quotedPath(path) + " holds no frequency";
    return std::nullopt;
}

std::optional<std::string> prepareSweep(Session& s, bool lockTime) {
    if (!lockTime) return s.statusReadBlocked();
    if (!s.spiMode()) return "the chip is in ABC mode";
    selectLockDetectOutput(s);
    return std::nullopt;
}

LockTimeSummary sweepLockTimes(const std::vector<SweepPoint>& points) {
    std::vector<LockTimeHop> hops;
    for (const SweepPoint& p : points)
        if (p.lockTime) hops.push_back({0, p.wanted, p.lockTime});
    return summarizeLockTimes(hops);
}

SweepPoint sweepPoint(Session& s, double mhz, uint32_t dwellMs, bool lockTime) {
    SweepPoint p;
    p.wanted = mhz;
    p.lockTimeAsked = lockTime;
    if (auto refusal = s.planQuietly(mhz)) {
        p.refusal = std::move(refusal);
        return p;
    }
    const FrequencyState& fs = s.frequencies();
    p.Ntot = fs.Ntot;
    p.N = fs.N;
    p.A = fs.A;
    p.tunedRf = s.tunedFrequencyText();
    s.writeCycle();
    if (lockTime) p.lockTime = s.lastLockTime();
    s.wait(dwellMs);
    if (!lockTime) p.status = s.readStatus();
    return p;
}

std::string sweepCsvHeader(bool lockTime) {
    return std::string("f_wanted,Ntot,N,A,fRF,word,IFFVAL,IFFSTATE,LD,RSSI,suspect,refused") +
           (lockTime ? ",lock_time_ms,lock_time_capped" : "");
}

std::vector<std::string> sweepCells(const SweepPoint& p) {
    std::vector<std::string> c{formatFrequency(p.wanted)};
    if (p.refusal) {
        c.resize(11);
        c.push_back(*p.refusal);
        if (p.lockTimeAsked) c.resize(14);
        return c;
    }
    c.insert(c.end(),
             {std::to_string(p.Ntot), std::to_string(p.N), std::to_string(p.A), p.tunedRf});
    if (p.status) {
        const StatusDecoding& d = p.status->decoded;
        c.insert(c.end(), {registerText(p.status->word), d.IFFVAL, d.IFFSTATE, d.LD, d.RSSI,
                           p.status->suspect.value_or("")});
    }
    c.resize(12);
    if (p.lockTimeAsked && p.lockTime) {
        c.push_back(fixedText(p.lockTime->ms, 3));
        c.push_back(p.lockTime->capped ? "1" : "0");
    } else if (p.lockTimeAsked) {
        c.resize(14);
    }
    return c;
}

std::string sweepCsvLine(const SweepPoint& p) {
    return csvLine(sweepCells(p));
}

}  // namespace zvk
