// SPDX-License-Identifier: MIT
#pragma once
// Plots of status reads as an engineer reads a measurement: the sweep's IF filter value and
// flags against the wanted frequency, and the status monitor's against time. Axes with
// ticks, units and a grid; the LD, RSSI and IFFSTATE lanes across the whole width, each
// state in its colour and pattern, with a legend. Made once, as SVG text, for the window
// and the command line alike; the window adds the value under its pointer.
#include <array>
#include <deque>
#include <string>
#include <vector>

#include "plan/Svg.h"
#include "session/StatusPoll.h"
#include "session/Sweep.h"

namespace zvk {

// The width the layout is made for; no text is smaller than 10 units.
constexpr double kStatusPlotWidth = 640;

// What a flag of a read says, as its lane shows it.
enum class FlagState {
    Good,     // locked, RSSI in range, IF filter tuned
    Warn,     // RSSI low or high, the filter tuning up or down
    Bad,      // no lock, RSSI "not allowed", CCO fail
    Unknown,  // LD not decoded: LDRSSIL is the RSSI low flag (SHOWLD 0)
    Suspect,  // a word a board that does not answer gives (0x000, 0xFFF)
    NoRead,   // no word: a refused plan, or the link was busy
};
constexpr std::array<const char*, 3> kLaneNames = {"LD", "RSSI", "IFFSTATE"};
// The LD, RSSI and IFFSTATE lanes of a read; null: no read.
std::array<FlagState, 3> flagStates(const StatusReading* r);

// A lane's stretch of one state, in user units.
struct LaneRun {
    int lane = 0;
    FlagState state = FlagState::NoRead;
    double x0 = 0, x1 = 0;
};

// A read's place: the cell x0..x1 where the pointer finds it, its point (y: the IFFVAL's,
// or NaN without a word) and what the read-out says there.
struct PlotMark {
    double x = 0, y = 0;
    double x0 = 0, x1 = 0;
    std::string text;
};

struct StatusPlot {
    double width = 0, height = 0;
    std::string svg;
    Box area;   // the data area: its x the axis, its y IFFVAL 255 (top) to 0
    Box lanes;  // the three lanes under it, on the same x
    std::vector<LaneRun> runs;
    std::vector<PlotMark> marks;  // in x order
    // Every text drawn, for checking the layout.
    std::vector<Box> texts;
};

// The sweep: the axis spans every frequency planned, so the plot keeps its scale while the
// points come; a point's cell reaches halfway to its neighbours.
StatusPlot drawSweepPlot(const std::vector<SweepPoint>& points, const std::vector<double>& planned,
                         uint32_t dwellMs);

// One read of the status monitor, tMs after the monitor started.
struct StatusSample {
    double tMs = 0;
    StatusReading reading;
};
// The monitor's reads over the last spanMs (all of them while there are fewer), taken
// every intervalMs.
StatusPlot drawMonitorChart(const std::deque<StatusSample>& samples, double intervalMs,
                            double spanMs);

// The read whose cell holds x, while the point lies over the data area or the lanes; null
// elsewhere.
const PlotMark* markAt(const StatusPlot& p, double x, double y);

}  // namespace zvk
