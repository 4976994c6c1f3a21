// SPDX-License-Identifier: MIT
#include "session/StatusPlot.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"

namespace zvk {

namespace {

constexpr double kWidth = kStatusPlotWidth;
constexpr double kEdge = 4;
constexpr double kTitlePx = 12, kTextPx = 10;
// The data area, the lanes under it, and what lies below them.
constexpr double kLeft = 66, kRight = kWidth - 16;
constexpr double kAreaTop = 40, kAreaBottom = 200;
constexpr double kLaneTop = 206, kLaneHeight = 14, kLaneGap = 4;
constexpr double kLanesBottom = kLaneTop + 3 * kLaneHeight + 2 * kLaneGap;
constexpr double kTickLabels = kLanesBottom + 15, kAxisTitle = kTickLabels + 16;
constexpr double kLegendTop = kAxisTitle + 10, kLegendRow = 16;
constexpr double kIffMax = 255;
// Reads further apart than this many steps leave a gap between them: a pause, not a
// missing point.
constexpr double kGapSteps = 2.5;

const char* kInk = "#222222";
const char* kGrid = "#e2e2e2";
const char* kLine = "#1f5fbf";
const char* kSuspectInk = "#b000b0";

struct Style {
    const char* fill;
    int hatch;  // 0 none, 1 "/", -1 "\", 2 both
    double spacing;
};

Style styleOf(FlagState s) {
    switch (s) {
        case FlagState::Good:
            return {"#2e9e4f", 0, 0};
        case FlagState::Warn:
            return {"#e6a817", 1, 6};
        case FlagState::Bad:
            return {"#d03030", 2, 6};
        case FlagState::Unknown:
            return {"#bdbdbd", 0, 0};
        case FlagState::Suspect:
            return {"#b000b0", -1, 4};
        case FlagState::NoRead:
            break;
    }
    return {"none", 0, 0};
}

// Lines across a rectangle at the given spacing, anchored to the picture so that two
// rectangles side by side continue each other's lines. dir 1: "/", -1: "\".
void hatch(Svg& svg, double x0, double y0, double x1, double y1, double spacing, int dir) {
    if (dir == 1) {
        for (double c = std::ceil((x0 + y0) / spacing) * spacing; c < x1 + y1; c += spacing) {
            const double a = std::max(x0, c - y1), b = std::min(x1, c - y0);
            if (b - a > 0.05) svg.line(a, c - a, b, c - b, "#ffffff", 1.2);
        }
    } else {
        for (double d = std::ceil((y0 - x1) / spacing) * spacing; d < y1 - x0; d += spacing) {
            const double a = std::max(x0, y0 - d), b = std::min(x1, y1 - d);
            if (b - a > 0.05) svg.line(a, a + d, b, b + d, "#ffffff", 1.2);
        }
    }
}

void stateRect(Svg& svg, FlagState s, double x0, double y0, double x1, double y1) {
    const Style st = styleOf(s);
    if (s == FlagState::NoRead) return;
    svg.rect(x0, y0, x1 - x0, y1 - y0, st.fill);
    if (st.hatch == 1 || st.hatch == 2) hatch(svg, x0, y0, x1, y1, st.spacing, 1);
    if (st.hatch == -1 || st.hatch == 2) hatch(svg, x0, y0, x1, y1, st.spacing, -1);
}

void suspectCross(Svg& svg, double x, double y) {
    svg.line(x - 3.5, y - 3.5, x + 3.5, y + 3.5, kSuspectInk, 1.6);
    svg.line(x - 3.5, y + 3.5, x + 3.5, y - 3.5, kSuspectInk, 1.6);
}

FlagState ldState(const std::string& ld) {
    if (ld == "locked") return FlagState::Good;
    if (ld == "no lock") return FlagState::Bad;
    return FlagState::Unknown;
}

FlagState rssiState(const std::string& rssi) {
    if (rssi == "in range") return FlagState::Good;
    if (rssi == "low" || rssi == "high") return FlagState::Warn;
    return FlagState::Bad;
}

FlagState iffState(const std::string& state) {
    if (state == "tuned") return FlagState::Good;
    if (state == "CCO fail") return FlagState::Bad;
    return FlagState::Warn;
}

// A read as the pointer's read-out says it.
std::string readText(const StatusReading& r) {
    const StatusDecoding& d = r.decoded;
    std::string t = registerText(r.word) + "  IFFVAL " + d.IFFVAL + ", " + d.IFFSTATE + ", LD " +
                    (d.LD.empty() ? std::string("unknown") : d.LD) + ", RSSI " + d.RSSI;
    if (r.suspect) t += ", suspect read";
    return t;
}

struct Sample {
    double x = 0;
    const StatusReading* reading = nullptr;
    std::string readout;
};

struct Chart {
    std::string title, xTitle;
    double lo = 0, hi = 1, step = 1;
    std::vector<Sample> samples;  // in x order
};

// The points of a line. Reads closer than a unit apart share it: each unit keeps its
// first, lowest, highest and last point, so the line shows every excursion with a few
// points per unit however many reads there are.
class LineBuilder {
  public:
    void add(double x, double y) {
        if (!points_.empty() && std::floor(x) == unit_) {
            Point& lo = points_[1];
            Point& hi = points_[2];
            if (y > lo.y) lo = {x, y};  // lower on the screen: a higher value
            if (y < hi.y) hi = {x, y};
            points_[3] = {x, y};
            return;
        }
        emit();
        unit_ = std::floor(x);
        points_.assign(4, Point{x, y});
    }
    std::vector<double> finish() {
        emit();
        std::vector<double> out;
        out.swap(xy_);
        return out;
    }

  private:
    struct Point {
        double x, y;
    };
    void emit() {
        if (points_.empty()) return;
        std::sort(points_.begin(), points_.end(),
                  [](const Point& a, const Point& b) { return a.x < b.x; });
        for (size_t i = 0; i < points_.size(); ++i) {
            if (i > 0 && points_[i].x == points_[i - 1].x && points_[i].y == points_[i - 1].y)
                continue;
            xy_.push_back(points_[i].x);
            xy_.push_back(points_[i].y);
        }
        points_.clear();
    }
    std::vector<Point> points_;  // first, lowest, highest, last of the unit
    double unit_ = 0;
    std::vector<double> xy_;
};

double iffvalOf(const StatusReading& r) {
    return double(statusField(r.word, field("IFFVAL")));
}

StatusPlot draw(const Chart& c) {
    StatusPlot p;
    p.width = kWidth;
    p.area = {kLeft, kAreaTop, kRight, kAreaBottom};
    p.lanes = {kLeft, kLaneTop, kRight, kLanesBottom};
    const double span = c.hi > c.lo ? c.hi - c.lo : 1.0;
    const auto X = [&](double x) { return kLeft + (x - c.lo) / span * (kRight - kLeft); };
    const auto Y = [](double v) { return kAreaBottom - v / kIffMax * (kAreaBottom - kAreaTop); };
    const auto clip = [&](double x) { return std::clamp(x, c.lo, c.hi); };

    // Each read's cell: halfway to its neighbours, or half a step where they lie far.
    const size_t n = c.samples.size();
    std::vector<std::pair<double, double>> cells(n);
    for (size_t i = 0; i < n; ++i) {
        const double x = c.samples[i].x;
        const bool nearLeft = i > 0 && x - c.samples[i - 1].x <= kGapSteps * c.step;
        const bool nearRight = i + 1 < n && c.samples[i + 1].x - x <= kGapSteps * c.step;
        cells[i] = {clip(nearLeft ? (c.samples[i - 1].x + x) / 2 : x - c.step / 2),
                    clip(nearRight ? (x + c.samples[i + 1].x) / 2 : x + c.step / 2)};
    }

    // The legend, flowed in rows under the axis title.
    struct Entry {
        int kind;  // 0 the IFFVAL line, 1 a suspect read (lane and point), 2 a lane state
        FlagState state;
        std::string text;
    };
    const std::vector<Entry> entries = {
        {0, FlagState::Good, "IFFVAL"},
        {2, FlagState::Good, "locked, RSSI in range, tuned"},
        {2, FlagState::Warn, "RSSI low or high, tune up or dn"},
        {2, FlagState::Bad, "no lock, RSSI not allowed, CCO fail"},
        {2, FlagState::Unknown, "LD unknown (SHOWLD: RSSI Low Flag)"},
        {1, FlagState::Suspect, "suspect read (0x000 or 0xFFF)"},
        {2, FlagState::NoRead, "no read"},
    };
    constexpr double kSwatch = 18, kEntryGap = 14;
    struct Placed {
        double x;
        int row;
    };
    std::vector<Placed> where;
    double ex = kEdge;
    int rows = 1;
    for (const Entry& e : entries) {
        const double w = kSwatch + 4 + textWidth(e.text, kTextPx);
        if (ex > kEdge && ex + w > kWidth - kEdge) {
            ex = kEdge;
            ++rows;
        }
        where.push_back({ex, rows - 1});
        ex += w + kEntryGap;
    }
    p.height = std::ceil(kLegendTop + rows * kLegendRow + 4);

    Svg svg(kWidth, p.height);
    p.texts.push_back(svg.text(kEdge, 16, c.title, kTitlePx, "#111111", Anchor::Start, true));
    p.texts.push_back(svg.text(kEdge, kAreaTop - 8, "IFFVAL (0 to 255)", kTextPx, "#444444"));

    // Grid and ticks: IFFVAL every 50, the x axis at a round step.
    for (int v = 0; v <= 250; v += 50) {
        const double y = Y(v);
        svg.line(kLeft, y, kRight, y, kGrid);
        svg.line(kLeft - 4, y, kLeft, y, kInk);
        p.texts.push_back(
            svg.text(kLeft - 6, y + 3.5, std::to_string(v), kTextPx, "#333333", Anchor::End));
    }
    const Ticks t = ticksFor(c.lo, c.hi, kRight - kLeft, kTextPx, 16);
    const double first = std::ceil(c.lo / t.step - 1e-9);
    std::vector<double> tickX;
    for (double k = first;; k += 1) {
        const double v = k * t.step;
        if (v > c.hi + t.step * 1e-9) break;
        const double x = X(v);
        tickX.push_back(x);
        svg.line(x, kAreaTop, x, kAreaBottom, kGrid);
        const std::string label = fixedText(std::fabs(v) < t.step * 1e-6 ? 0.0 : v, t.decimals);
        const double half = textWidth(label, kTextPx) / 2;
        p.texts.push_back(svg.text(std::clamp(x, kEdge + half, kWidth - kEdge - half), kTickLabels,
                                   label, kTextPx, "#333333", Anchor::Middle));
    }

    // The lanes, each state a run as long as it lasts.
    for (int lane = 0; lane < 3; ++lane) {
        const double top = kLaneTop + lane * (kLaneHeight + kLaneGap);
        svg.rect(kLeft, top, kRight - kLeft, kLaneHeight, "#f6f6f6", "#bbbbbb");
        p.texts.push_back(svg.text(kLeft - 6, top + 10.5, kLaneNames[size_t(lane)], kTextPx,
                                   "#333333", Anchor::End));
        for (size_t i = 0; i < n; ++i) {
            const FlagState s = flagStates(c.samples[i].reading)[size_t(lane)];
            const double x0 = X(cells[i].first), x1 = X(cells[i].second);
            if (x1 <= x0) continue;
            if (!p.runs.empty() && p.runs.back().lane == lane && p.runs.back().state == s &&
                std::fabs(p.runs.back().x1 - x0) < 1e-6)
                p.runs.back().x1 = x1;
            else
                p.runs.push_back({lane, s, x0, x1});
        }
    }
    for (const LaneRun& r : p.runs) {
        const double top = kLaneTop + r.lane * (kLaneHeight + kLaneGap);
        stateRect(svg, r.state, r.x0, top, r.x1, top + kLaneHeight);
    }
    for (double x : tickX) svg.line(x, kLanesBottom, x, kLanesBottom + 4, kInk);

    // The IFFVAL line, broken where a read is missing, suspect or far from the last; a
    // dot at every read while there are few.
    const bool dots = n <= 200;
    LineBuilder line;
    const auto flush = [&] {
        const std::vector<double> xy = line.finish();
        if (xy.size() >= 4) svg.polyline(xy, kLine, 1.5);
        if (xy.size() == 2 && !dots) svg.circle(xy[0], xy[1], 1.5, kLine);
    };
    double lastX = -INFINITY;
    for (size_t i = 0; i < n; ++i) {
        const Sample& s = c.samples[i];
        const bool usable = s.reading != nullptr && !s.reading->suspect;
        if (!usable || s.x - lastX > kGapSteps * c.step) flush();
        if (!usable) continue;
        lastX = s.x;
        line.add(X(s.x), Y(iffvalOf(*s.reading)));
    }
    flush();
    for (size_t i = 0; i < n; ++i) {
        const Sample& s = c.samples[i];
        if (s.reading == nullptr) continue;
        const double x = X(s.x), y = Y(iffvalOf(*s.reading));
        if (s.reading->suspect)
            suspectCross(svg, x, y);
        else if (dots)
            svg.circle(x, y, 2, kLine);
    }
    svg.rect(kLeft, kAreaTop, kRight - kLeft, kAreaBottom - kAreaTop, "none", "#666666");

    p.texts.push_back(
        svg.text((kLeft + kRight) / 2, kAxisTitle, c.xTitle, kTextPx, "#333333", Anchor::Middle));
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const double x = where[i].x, y = kLegendTop + where[i].row * kLegendRow;
        if (e.kind == 0) {
            svg.line(x, y + 5, x + kSwatch, y + 5, kLine, 1.5);
            svg.circle(x + kSwatch / 2, y + 5, 2, kLine);
        } else if (e.kind == 1) {
            stateRect(svg, e.state, x, y, x + kSwatch / 2 - 1, y + 10);
            suspectCross(svg, x + kSwatch * 3 / 4, y + 5);
        } else {
            svg.rect(x, y, kSwatch, 10, "#f6f6f6", "#bbbbbb");
            stateRect(svg, e.state, x, y, x + kSwatch, y + 10);
        }
        p.texts.push_back(svg.text(x + kSwatch + 4, y + 9, e.text, kTextPx, "#333333"));
    }

    for (size_t i = 0; i < n; ++i) {
        const Sample& s = c.samples[i];
        p.marks.push_back({X(s.x), s.reading ? Y(iffvalOf(*s.reading)) : std::nan(""),
                           X(cells[i].first), X(cells[i].second), s.readout});
    }
    p.svg = svg.finish();
    return p;
}

// The typical distance between neighbouring values, 0 when there is none.
double typicalStep(std::vector<double> xs) {
    std::sort(xs.begin(), xs.end());
    std::vector<double> d;
    for (size_t i = 1; i < xs.size(); ++i)
        if (xs[i] > xs[i - 1]) d.push_back(xs[i] - xs[i - 1]);
    if (d.empty()) return 0;
    std::nth_element(d.begin(), d.begin() + ptrdiff_t(d.size() / 2), d.end());
    return d[d.size() / 2];
}

}  // namespace

std::array<FlagState, 3> flagStates(const StatusReading* r) {
    if (r == nullptr) return {FlagState::NoRead, FlagState::NoRead, FlagState::NoRead};
    if (r->suspect) return {FlagState::Suspect, FlagState::Suspect, FlagState::Suspect};
    return {ldState(r->decoded.LD), rssiState(r->decoded.RSSI), iffState(r->decoded.IFFSTATE)};
}

StatusPlot drawSweepPlot(const std::vector<SweepPoint>& points, const std::vector<double>& planned,
                         uint32_t dwellMs) {
    std::vector<double> all = planned;
    for (const SweepPoint& pt : points) all.push_back(pt.wanted);
    Chart c;
    c.xTitle = "f wanted [MHz]";
    const double step = typicalStep(planned.empty() ? all : planned);
    c.step = step > 0 ? step : 1.0;
    if (all.empty()) {
        c.lo = 0;
        c.hi = 1;
    } else {
        const auto [lo, hi] = std::minmax_element(all.begin(), all.end());
        c.lo = *lo - c.step / 2;
        c.hi = *hi + c.step / 2;
    }
    c.title = "Sweep";
    if (!planned.empty()) {
        c.title += " " + formatFrequency(std::min(planned.front(), planned.back())) + " to " +
                   formatFrequency(std::max(planned.front(), planned.back())) + " MHz, " +
                   std::to_string(points.size()) + " of " + std::to_string(planned.size()) +
                   " points, dwell " + std::to_string(dwellMs) + " ms";
    }
    for (const SweepPoint& pt : points) {
        Sample s;
        s.x = pt.wanted;
        s.reading = pt.status ? &*pt.status : nullptr;
        s.readout = formatFrequency(pt.wanted) + " MHz: ";
        if (pt.refusal)
            s.readout += "refused: " + *pt.refusal;
        else if (pt.status)
            s.readout += "N " + std::to_string(pt.N) + ", A " + std::to_string(pt.A) + ", tuned " +
                         pt.tunedRf + " MHz, " + readText(*pt.status);
        else
            s.readout += "no read (the link was busy)";
        c.samples.push_back(std::move(s));
    }
    std::stable_sort(c.samples.begin(), c.samples.end(),
                     [](const Sample& a, const Sample& b) { return a.x < b.x; });
    return draw(c);
}

StatusPlot drawMonitorChart(const std::deque<StatusSample>& samples, double intervalMs,
                            double spanMs) {
    Chart c;
    c.xTitle = "t since the monitor started [s]";
    // The reads kept may have come at another interval before it was changed: the
    // spacing most of them have counts too, so that none of them stands alone in a gap.
    std::vector<double> times;
    for (const StatusSample& s : samples) times.push_back(s.tMs);
    c.step = std::max({intervalMs, typicalStep(std::move(times)), 1.0}) / 1000.0;
    const double spanS = spanMs / 1000.0;
    if (samples.empty()) {
        c.lo = 0;
        c.hi = std::min(spanS, 10.0);
    } else {
        c.hi = samples.back().tMs / 1000.0 + c.step / 2;
        c.lo = std::max(samples.front().tMs / 1000.0 - c.step / 2, c.hi - spanS);
    }
    c.title = "Status monitor: a read every " + std::to_string(std::lround(intervalMs)) +
              " ms, the last " + std::to_string(std::lround(spanS / 60)) + " minutes";
    for (const StatusSample& s : samples) {
        const double x = s.tMs / 1000.0;
        if (x + c.step / 2 < c.lo) continue;
        c.samples.push_back({x, &s.reading, "t " + fixedText(x, 1) + " s: " + readText(s.reading)});
    }
    return draw(c);
}

const PlotMark* markAt(const StatusPlot& p, double x, double y) {
    if (x < p.area.x0 || x > p.area.x1 || y < p.area.y0 || y > p.lanes.y1) return nullptr;
    const auto it = std::lower_bound(p.marks.begin(), p.marks.end(), x,
                                     [](const PlotMark& m, double v) { return m.x1 < v; });
    if (it == p.marks.end() || x < it->x0) return nullptr;
    return &*it;
}

}  // namespace zvk
