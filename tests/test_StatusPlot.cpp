// SPDX-License-Identifier: MIT
// The sweep's plot and the status monitor's chart: axes, lanes that span the width with
// every state told apart, a legible layout, the read under the pointer, and SVG that a real
// renderer takes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "TempDir.h"
#include "base/Numbers.h"
#include "session/StatusPlot.h"

namespace zvk {
namespace {

StatusReading reading(uint16_t word, bool showLd, bool suspect = false) {
    StatusReading r;
    r.word = word;
    r.decoded = decodeStatus(word, showLd);
    if (suspect) r.suspect = "status 0x000: MFO stays low";
    return r;
}

// A status word with the flags set: LDRSSIL bit 10, RSSIH bit 11, IFFSTATE bits 9..8.
uint16_t word(int iffval, int iffstate, bool ldrssil, bool rssih) {
    return uint16_t(iffval | iffstate << 8 | (ldrssil ? 0x400 : 0) | (rssih ? 0x800 : 0));
}

std::string boxText(const Box& b) {
    return "(" + std::to_string(b.x0) + "," + std::to_string(b.y0) + ")-(" + std::to_string(b.x1) +
           "," + std::to_string(b.y1) + ")";
}

// No two texts overlap, none leaves the picture or is smaller than 10 units, and none lies
// on the lanes.
void expectLegible(const StatusPlot& p) {
    EXPECT_EQ(p.width, kStatusPlotWidth);
    for (size_t i = 0; i < p.texts.size(); ++i) {
        const Box& a = p.texts[i];
        EXPECT_GE(a.x0, 0) << boxText(a);
        EXPECT_LE(a.x1, p.width) << boxText(a);
        EXPECT_GE(a.y0, 0) << boxText(a);
        EXPECT_LE(a.y1, p.height) << boxText(a);
        EXPECT_FALSE(a.overlaps(p.lanes)) << "over the lanes: " << boxText(a);
        for (size_t j = i + 1; j < p.texts.size(); ++j)
            EXPECT_FALSE(a.overlaps(p.texts[j])) << boxText(a) << " and " << boxText(p.texts[j]);
    }
    const std::string attribute = "font-size=\"";
    for (size_t at = p.svg.find(attribute); at != std::string::npos;
         at = p.svg.find(attribute, at + 1))
        EXPECT_GE(std::stod(p.svg.substr(at + attribute.size(), 8)), 10.0);
}

// Each lane's runs follow each other without a gap from x0 to x1.
void expectLanesSpan(const StatusPlot& p, double x0, double x1) {
    for (int lane = 0; lane < 3; ++lane) {
        double at = x0;
        for (const LaneRun& r : p.runs) {
            if (r.lane != lane) continue;
            EXPECT_NEAR(r.x0, at, 1e-6) << kLaneNames[size_t(lane)];
            at = r.x1;
        }
        EXPECT_NEAR(at, x1, 1e-6) << kLaneNames[size_t(lane)];
    }
}

std::vector<FlagState> laneStates(const StatusPlot& p, int lane) {
    std::vector<FlagState> out;
    for (const LaneRun& r : p.runs)
        if (r.lane == lane) out.push_back(r.state);
    return out;
}

TEST(StatusPlot, EachReadFlagIsToldApart) {
    using F = FlagState;
    const struct {
        const char* what;
        StatusReading r;
        std::array<FlagState, 3> states;
    } cases[] = {
        {"locked, in range, tuned",
         reading(word(100, 0, true, false), true),
         {F::Good, F::Good, F::Good}},
        {"no lock, high, CCO fail",
         reading(word(100, 3, false, true), true),
         {F::Bad, F::Warn, F::Bad}},
        {"tuning up", reading(word(100, 1, true, false), true), {F::Good, F::Good, F::Warn}},
        // SHOWLD 0: no LD is decoded; the RSSI takes both flags.
        {"RSSI low flag",
         reading(word(100, 2, false, false), false),
         {F::Unknown, F::Warn, F::Warn}},
        {"not allowed", reading(word(100, 0, false, true), false), {F::Unknown, F::Bad, F::Good}},
        {"suspect", reading(0x000, true, true), {F::Suspect, F::Suspect, F::Suspect}},
    };
    for (const auto& c : cases) EXPECT_EQ(flagStates(&c.r), c.states) << c.what;
    EXPECT_EQ(flagStates(nullptr), (std::array<FlagState, 3>{F::NoRead, F::NoRead, F::NoRead}));
}

class SweepPlotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i <= 20; ++i) planned.push_back(430 + 0.5 * i);
    }
    SweepPoint point(double f, std::optional<StatusReading> r) {
        SweepPoint p;
        p.wanted = f;
        p.tunedRf = formatFrequency(f);
        p.status = std::move(r);
        return p;
    }
    std::vector<double> planned;
};

TEST_F(SweepPlotTest, AxesLanesAndLegend) {
    std::vector<SweepPoint> points;
    for (double f : planned)
        points.push_back(point(f, reading(word(int(f) - 300, 0, f < 436, false), true)));
    points[3] = point(planned[3], reading(0x000, true, true));
    points[4].status.reset();
    points[4].refusal = "f LO1 would not be a finite number";
    points[10] = point(planned[10], reading(word(90, 0, true, false), false));  // SHOWLD 0
    const StatusPlot p = drawSweepPlot(points, planned, 20);
    expectLegible(p);
    // Whole cells at both ends: the axis reaches half a step beyond the first and last.
    expectLanesSpan(p, p.area.x0, p.area.x1);
    ASSERT_EQ(p.marks.size(), 21u);
    const double cell = (p.area.x1 - p.area.x0) / 21;
    for (const PlotMark& m : p.marks) EXPECT_NEAR(m.x1 - m.x0, cell, 1e-6);
    using F = FlagState;
    EXPECT_EQ(laneStates(p, 0), (std::vector<F>{F::Good, F::Suspect, F::NoRead, F::Good, F::Unknown,
                                                F::Good, F::Bad}));
    for (const char* text :
         {"f wanted [MHz]", "IFFVAL (0 to 255)", ">LD<", ">RSSI<", ">IFFSTATE<",
          "no lock, RSSI not allowed, CCO fail", "LD unknown (SHOWLD: RSSI Low Flag)",
          "suspect read", "no read", ">430<", ">440<", ">250<", "Sweep 430.000 to 440.000 MHz"})
        EXPECT_NE(p.svg.find(text), std::string::npos) << text;
    // The pointer over a point's cell, in the data area or on the lanes, finds that point.
    const PlotMark* m = markAt(p, p.marks[7].x, (p.area.y0 + p.area.y1) / 2);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->text.rfind("433.500 MHz: N ", 0), 0u) << m->text;
    EXPECT_NE(m->text.find("IFFVAL 133, tuned, LD locked, RSSI in range"), std::string::npos)
        << m->text;
    EXPECT_EQ(markAt(p, p.marks[4].x, p.lanes.y1 - 1)->text,
              "432.000 MHz: refused: f LO1 would not be a finite number");
    EXPECT_NE(markAt(p, p.marks[10].x, p.lanes.y0 + 1)->text.find("LD unknown"), std::string::npos);
    EXPECT_EQ(markAt(p, p.marks[7].x, p.area.y0 - 5), nullptr);
    EXPECT_EQ(markAt(p, p.area.x0 - 5, p.area.y1 - 5), nullptr);
}

TEST_F(SweepPlotTest, APartSweepKeepsTheWholeAxisAndRunsDownwardAsWell) {
    std::vector<double> down(planned.rbegin(), planned.rend());
    std::vector<SweepPoint> points;
    for (size_t i = 0; i < 5; ++i)
        points.push_back(point(down[i], reading(word(100, 0, true, false), true)));
    const StatusPlot p = drawSweepPlot(points, down, 20);
    expectLegible(p);
    ASSERT_EQ(p.marks.size(), 5u);
    // The five highest frequencies, at the right end of the whole range.
    EXPECT_NEAR(p.marks.back().x1, p.area.x1, 1e-6);
    EXPECT_NEAR(p.marks.front().x0, p.area.x1 - 5 * (p.area.x1 - p.area.x0) / 21, 1e-6);
    EXPECT_NE(p.svg.find("5 of 21 points"), std::string::npos);
}

TEST(MonitorChart, TimeUnderTheLanesAndLanesAcrossTheWidth) {
    std::deque<StatusSample> samples;
    // Reads every 100 ms, a little late now and then, the filter tuning at first.
    for (int i = 0; i < 300; ++i)
        samples.push_back({100.0 * i + (i % 7 == 0 ? 9 : 0),
                           reading(word(120 + i % 9, i < 40 ? 1 : 0, i % 50 != 0, false), true)});
    const StatusPlot p = drawMonitorChart(samples, 100, 600000);
    expectLegible(p);
    expectLanesSpan(p, p.area.x0, p.area.x1);
    EXPECT_EQ(p.marks.size(), 300u);
    for (const char* text : {"t since the monitor started [s]", ">0<", ">10<", ">20<"})
        EXPECT_NE(p.svg.find(text), std::string::npos) << text;
    using F = FlagState;
    const auto iff = laneStates(p, 2);
    EXPECT_EQ(iff, (std::vector<F>{F::Warn, F::Good}));
    const PlotMark* m = markAt(p, p.marks[120].x, p.area.y1 - 1);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->text.rfind("t 12.0 s: 0x", 0), 0u) << m->text;

    // A pause leaves a gap rather than stretching the reads beside it over it.
    std::deque<StatusSample> paused = samples;
    for (auto& s : paused)
        if (s.tMs >= 15000) s.tMs += 20000;
    const StatusPlot q = drawMonitorChart(paused, 100, 600000);
    size_t gaps = 0;
    for (size_t i = 1; i < q.marks.size(); ++i) gaps += q.marks[i].x0 - q.marks[i - 1].x1 > 1;
    EXPECT_EQ(gaps, 1u);

    // Reads kept from before the interval was shortened still meet their neighbours.
    const StatusPlot shortened = drawMonitorChart(samples, 10, 600000);
    expectLanesSpan(shortened, shortened.area.x0, shortened.area.x1);

    // Beyond ten minutes only the last ten are drawn.
    std::deque<StatusSample> long_;
    for (int i = 0; i < 700; ++i)
        long_.push_back({1000.0 * i, reading(word(10, 0, true, false), true)});
    const StatusPlot l = drawMonitorChart(long_, 1000, 600000);
    EXPECT_LE(l.marks.size(), 601u);
    expectLanesSpan(l, l.area.x0, l.area.x1);
    EXPECT_EQ(l.marks.front().text.rfind("t 99.0 s", 0), 0u) << l.marks.front().text;
    EXPECT_NE(l.svg.find(">650<"), std::string::npos);
}

class StatusPlotFile : public test::TempDir {
  protected:
    StatusPlotFile() : TempDir("zvk-statusplot") {}
};

TEST_F(StatusPlotFile, RendersWithRsvgConvert) {
    if (std::system("command -v rsvg-convert >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "rsvg-convert is not installed (librsvg2-bin)";
    std::vector<double> planned;
    std::vector<SweepPoint> points;
    for (int i = 0; i < 30; ++i) {
        planned.push_back(700 + 10 * i);
        SweepPoint p;
        p.wanted = planned.back();
        p.status = reading(word(i * 8, i % 4, i<20, i> 25), i % 2 == 0, i == 7);
        points.push_back(p);
    }
    std::deque<StatusSample> samples;
    for (int i = 0; i < 50; ++i)
        samples.push_back({100.0 * i, reading(word(i, 0, true, false), true)});
    for (const std::string& svgText :
         {drawSweepPlot(points, planned, 20).svg, drawMonitorChart(samples, 100, 600000).svg}) {
        const std::string svg = (dir / "plot.svg").string(), png = (dir / "plot.png").string();
        const std::string errFile = (dir / "err").string();
        std::ofstream(svg) << svgText;
        const std::string cmd =
            "rsvg-convert -w 640 '" + svg + "' -o '" + png + "' 2>'" + errFile + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        std::ifstream err(errFile);
        EXPECT_EQ(std::string((std::istreambuf_iterator<char>(err)), {}), "");
        std::ifstream in(png, std::ios::binary);
        char magic[4] = {};
        in.read(magic, 4);
        EXPECT_EQ(std::string(magic + 1, 3), "PNG");
    }
}

}  // namespace
}  // namespace zvk
