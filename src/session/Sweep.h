// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chip/ChipController.h"
#include "session/LockTime.h"
#include "session/StatusPoll.h"

namespace zvk {

class Session;

// One frequency of a sweep: the plan, what the chip is tuned to and the status read after
// the dwell time.
struct SweepPoint {
    double wanted = 0;
    std::optional<std::string> refusal;  // the plan was refused: nothing below was done
    int32_t Ntot = 0;
    uint32_t N = 0, A = 0;
    std::string tunedRf;
    std::optional<StatusReading> status;  // none: another transfer held the link
    // With the lock time asked for: MFO carries lock detect, so there is no status word;
    // none when the pin was low already (nothing to measure).
    bool lockTimeAsked = false;
    std::optional<LockTime> lockTime;
    bool locked() const { return status && status->decoded.LD == "locked"; }
};

// More points than any bench sweep needs: a step typed too small is refused, not run
// for hours.
constexpr size_t kMaxSweepPoints = 100000;

// from, from + step, ... up to to (downward when to lies below from); the message naming
// the bad value when step is not positive or the sweep would be too long.
std::optional<std::string> sweepFrequencies(double from, double to, double step,
                                            std::vector<double>& out);
// A list of frequencies in MHz, the first column of each line; blank lines are skipped
// and a first line that is not a number is a header. The message names the file and line.
std::optional<std::string> readSweepList(const std::string& path, std::vector<double>& out);

// Readies the image for a sweep and says why there can be none. With lockTime the image
// gets MFO at "LD out" (selectLockDetectOutput: the status columns stay empty, and no
// write cycle beyond each point's own is spent switching MFO back and forth); the caller
// restores the configuration it started from. Without it the status must be readable.
std::optional<std::string> prepareSweep(Session& s, bool lockTime);
// The points' lock times summed up as a locktime's hops are.
LockTimeSummary sweepLockTimes(const std::vector<SweepPoint>& points);

// Plans mhz as "Calculate" does, writes the registers, waits dwellMs on the program's
// clock (the window's messages keep running) and reads the status. With lockTime the
// image carries MFO at "LD out" (selectLockDetectOutput): the write cycle's lock time is
// taken instead of the status, which the chip cannot shift out then.
SweepPoint sweepPoint(Session& s, double mhz, uint32_t dwellMs, bool lockTime = false);

// The point's columns under sweepCsvHeader's names, empty where the point has none; a
// sweep of lock times has the lock_time_ms column last.
std::string sweepCsvHeader(bool lockTime = false);
std::vector<std::string> sweepCells(const SweepPoint& p);
std::string sweepCsvLine(const SweepPoint& p);

}  // namespace zvk
