// SPDX-License-Identifier: MIT
#include "plan/PlanSvg.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "base/Numbers.h"

namespace zvk {

namespace {

enum class Role { Wanted, Oscillator, If, Image, Spur, Reference };

struct Item {
    Role role;
    double f = 0;
    std::string label;  // none for the PFD sidebands: they sit on LO1's line
    std::string name;
    int order = 0;
    // The layout's.
    double x = 0;
    int row = 0;
    double width = 0;
    double centre = 0;
};

constexpr double kMargin = 36;  // an axis's ends from the picture's edges
constexpr double kEdge = 4;     // labels' least distance from the edges
constexpr double kLabelPx = 11, kTickPx = 10, kCaptionPx = 10, kTitlePx = 12;
constexpr double kRowHeight = 15;
constexpr double kLabelGap = 4;  // least room between two labels of a row
constexpr double kStub = 10;     // a marker's line below its label's row
constexpr double kSwatch = 10;
constexpr int kLowestOrder = 3, kHighestOrder = 10;  // 1 + 2 .. 5 + 5

const char* roleColour(Role role) {
    switch (role) {
        case Role::Wanted:
            return "#1b8a3a";
        case Role::Oscillator:
            return "#1f5fbf";
        case Role::If:
            return "#7b3fa0";
        case Role::Image:
            return "#c62828";
        case Role::Spur:
            return "#d35400";
        case Role::Reference:
            return "#6d6d6d";
    }
    return "#000000";
}

// Spurs from dark (order 3, the strongest) to light (order 10).
std::string spurColour(int order) {
    static constexpr std::array<int, 3> dark{0xd3, 0x54, 0x00}, light{0xf5, 0xb0, 0x41};
    const double t =
        std::clamp(double(order - kLowestOrder) / (kHighestOrder - kLowestOrder), 0.0, 1.0);
    std::string c = "#";
    for (size_t i = 0; i < 3; ++i)
        appendHexText(
            c, static_cast<unsigned long long>(std::lround(dark[i] + t * (light[i] - dark[i]))), 2);
    return c;
}

std::string colourOf(const Item& it) {
    return it.role == Role::Spur ? spurColour(it.order) : roleColour(it.role);
}

struct Axis {
    double lo = 0, hi = 1, x0 = kMargin, x1 = kPlanWidth - kMargin;
    double x(double f) const { return x0 + (f - lo) / (hi - lo) * (x1 - x0); }
};

Axis axisFor(const std::vector<Item>& items, bool fromZero) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const Item& it : items) {
        lo = std::min(lo, it.f);
        hi = std::max(hi, it.f);
    }
    if (fromZero) lo = std::min(lo, 0.0);
    if (!(hi - lo > 1e-9)) {  // one frequency, or none
        lo = std::isfinite(lo) ? lo - 1 : 0;
        hi = lo + 2;
    }
    const double pad = (hi - lo) * 0.04;
    Axis a;
    a.lo = fromZero && lo >= 0 ? lo : lo - pad;
    a.hi = hi + pad;
    return a;
}

Ticks ticksFor(const Axis& a) {
    return zvk::ticksFor(a.lo, a.hi, a.x1 - a.x0, kTickPx);
}

bool inside(double x, double from, double to) {
    return x >= from && x <= to;
}

// Labels in rows above the axis, each as near its marker as it can be: the lowest row in
// which it overlaps no label and hides no other marker's line; when no row allows that,
// the lowest in which it overlaps no label. A label may sit beside its line instead of
// centred on it, as long as its line ends under it.
int placeLabels(std::vector<Item>& items, double width) {
    std::vector<const Item*> placed;
    int rows = 1;
    for (Item& it : items) {
        if (it.label.empty()) continue;
        it.width = textWidth(it.label, kLabelPx);
        auto fits = [&](int row, double centre, bool strict) {
            const double from = centre - it.width / 2, to = centre + it.width / 2;
            if (from < kEdge - 1e-9 || to > width - kEdge + 1e-9) return false;
            for (const Item* o : placed) {
                const double ofrom = o->centre - o->width / 2, oto = o->centre + o->width / 2;
                if (o->row == row && from < oto + kLabelGap && ofrom < to + kLabelGap) return false;
                if (o->row > row && inside(o->x, from - 2, to + 2)) return false;
            }
            if (strict) {
                // Lines that cannot be parted from this one at this scale do not count.
                for (const Item& o : items)
                    if (std::fabs(o.x - it.x) > 2 && inside(o.x, from - 2, to + 2)) return false;
            }
            return true;
        };
        const double half = it.width / 2;
        const double centred = std::clamp(it.x, kEdge + half, width - kEdge - half);
        const double beside[] = {centred, it.x - 2 + half, it.x + 2 - half, it.x - 6 + half,
                                 it.x + 6 - half};
        const int top = int(placed.size()) + 1;
        bool done = false;
        for (int row = 0; row <= top && !done; ++row) {
            for (double centre : beside) {
                if (fits(row, centre, true)) {
                    it.row = row;
                    it.centre = centre;
                    done = true;
                    break;
                }
            }
        }
        if (!done) {
            it.centre = centred;
            it.row = 0;
            while (!fits(it.row, centred, false)) ++it.row;
        }
        rows = std::max(rows, it.row + 1);
        placed.push_back(&it);
    }
    return rows;
}

double labelBaseline(double axisY, int row) {
    return axisY - kStub - 4 - row * kRowHeight;
}

struct Section {
    std::vector<Item> items;
    Axis axis;
    int rows = 1;
    double axisY = 0;
};

// Above the axis: the caption row, then the label rows; below it the tick numbers.
constexpr double kCaptionToRows = 6, kBelowAxis = 26;

double sectionHeight(const Section& s) {
    return kCaptionPx + kCaptionToRows + s.rows * kRowHeight + kStub + 4 + kBelowAxis;
}

void drawSection(Svg& svg, PlanDrawing& d, Section& s, double top, const std::string& caption,
                 double spurFrom, double spurTo, const std::optional<CorrectedFrequencies>& real) {
    const Axis& a = s.axis;
    const double captionBaseline = top + kCaptionPx;
    d.texts.push_back(svg.text(kEdge, captionBaseline, caption, kCaptionPx, "#444444"));
    s.axisY = captionBaseline + kCaptionToRows + s.rows * kRowHeight + kStub + 4;
    const double y = s.axisY;

    // Where the spurs were looked for, as a band on the axis.
    if (spurTo > spurFrom) {
        const double from = std::max(a.x0, a.x(spurFrom)), to = std::min(a.x1, a.x(spurTo));
        if (to > from) {
            svg.beginGroup("first-mixer spurs looked for within 50 % of fRF");
            svg.rect(from, y - 5, to - from, 5, roleColour(Role::Spur), {}, 0.12);
            svg.endGroup();
        }
    }
    svg.line(a.x0, y, a.x1, y, "#222222", 1.2);
    const Ticks t = ticksFor(a);
    for (double f = std::ceil(a.lo / t.step) * t.step; f <= a.hi + t.step * 1e-9; f += t.step) {
        const double x = a.x(f);
        svg.line(x, y, x, y + 4, "#222222");
        d.texts.push_back(svg.text(x, y + 15,
                                   fixedText(std::fabs(f) < t.step * 1e-6 ? 0.0 : f, t.decimals),
                                   kTickPx, "#333333", Anchor::Middle));
    }

    // Lines first, labels over them on a backing that hides the lines they cross.
    for (const Item& it : s.items) {
        const bool labelled = !it.label.empty();
        const double lineTop =
            labelled ? labelBaseline(y, it.row) + 0.22 * kLabelPx + 1 : y - kStub / 2;
        const double strokeWidth = it.role == Role::Wanted                               ? 2.5
                                   : it.role == Role::Spur || it.role == Role::Reference ? 1.2
                                                                                         : 2;
        PlanMarker m{it.name, it.f, {}, it.x, lineTop, y, std::nullopt, 0};
        if (real) {
            // Every frequency of the plan is the crystal's times a ratio of dividers.
            m.corrected = it.f * crystalFactor(real->ppm);
            m.ppm = real->ppm;
        }
        svg.beginGroup(markerText(m));
        svg.line(it.x, y, it.x, lineTop, colourOf(it), strokeWidth,
                 it.role == Role::Reference ? std::string_view("3,2") : std::string_view());
        svg.endGroup();
        d.markers.push_back(std::move(m));
    }
    auto marker = d.markers.end() - ptrdiff_t(s.items.size());
    for (const Item& it : s.items) {
        PlanMarker& m = *marker++;
        if (it.label.empty()) continue;
        const double baseline = labelBaseline(y, it.row);
        m.label = Svg::textBox(it.centre, baseline, it.label, kLabelPx, Anchor::Middle);
        svg.beginGroup(markerText(m));
        svg.rect(m.label.x0, m.label.y0 - 1, m.label.x1 - m.label.x0, m.label.y1 - m.label.y0 + 2,
                 "#ffffff", {}, 0.85);
        // The lighter spur colours are too faint for text.
        const std::string ink = it.role == Role::Spur ? spurColour(kLowestOrder) : colourOf(it);
        svg.text(it.centre, baseline, it.label, kLabelPx, ink, Anchor::Middle,
                 it.role == Role::Wanted);
        svg.endGroup();
        d.texts.push_back(m.label);
    }
}

std::string sideText(int s) {
    return s > 0 ? "high" : "low";
}

}  // namespace

std::string markerText(const PlanMarker& m) {
    std::string t = m.name + ": " + formatFrequency(m.f) + " MHz";
    if (m.corrected) t += ", " + correctedValueText(*m.corrected, m.ppm);
    return t;
}

PlanDrawing drawPlan(const PlanPicture& p) {
    const double width = kPlanWidth;
    Section rf, ifs;
    auto add = [](Section& s, Role role, double f, std::string label, std::string name,
                  int order = 0) {
        if (std::isfinite(f))
            s.items.push_back({role, f, std::move(label), std::move(name), order});
    };
    // In the order the labels claim the rows nearest the axis.
    add(rf, Role::Wanted, p.fRF, "RF " + formatFrequency(p.fRF), "wanted signal fRF");
    add(rf, Role::Oscillator, p.fLO1, "LO1 " + formatFrequency(p.fLO1), "first oscillator LO1");
    add(rf, Role::Image, p.image1, "image1 " + formatFrequency(p.image1), "first image");
    add(rf, Role::Image, p.image2, "image2 " + formatFrequency(p.image2),
        "second image, at the antenna");
    add(rf, Role::Image, p.image2Mirror, "mirror " + formatFrequency(p.image2Mirror),
        "second image, mirrored through the first mixer");
    for (const Spur& s : p.spurs) {
        std::string name = "spur m " + std::to_string(s.m) + ", n " + std::to_string(s.n) +
                           " (order " + std::to_string(s.order);
        if (s.m == 2 && s.n == 2) name += ", half IF";
        add(rf, Role::Spur, s.f, "(" + std::to_string(s.m) + "," + std::to_string(s.n) + ")",
            name + ")", s.order);
    }
    add(ifs, Role::If, p.fIF1, "IF1 " + formatFrequency(p.fIF1), "first IF");
    add(ifs, Role::Oscillator, p.fLO2, "LO2 " + formatFrequency(p.fLO2), "second oscillator LO2");
    add(ifs, Role::If, p.fIF2, "IF2 " + formatFrequency(p.fIF2), "second IF");
    for (const ReferenceProduct& r : p.reference) {
        if (r.kind == "xtal") {
            add(r.near == "fIF1" ? ifs : rf, Role::Reference, r.f, "xtal×" + std::to_string(r.k),
                "crystal harmonic " + std::to_string(r.k) + " × fXTAL, near " + r.near);
        } else {
            add(rf, Role::Reference, r.f, {},
                std::string("PFD sideband fLO1 ") + (r.k < 0 ? "- " : "+ ") + "fPFD");
        }
    }

    // The IF side starts at zero: IF2 lies a few MHz above it.
    for (Section* s : {&rf, &ifs}) {
        s->axis = axisFor(s->items, s == &ifs);
        for (Item& it : s->items) it.x = s->axis.x(it.f);
        s->rows = placeLabels(s->items, width);
    }

    // The legend, flowed in rows under the axes.
    struct Entry {
        std::string colour, text;
        bool spurScale = false;
    };
    const std::vector<Entry> entries = {
        {roleColour(Role::Wanted), "wanted signal"},
        {roleColour(Role::Oscillator), "oscillators"},
        {roleColour(Role::If), "IFs"},
        {roleColour(Role::Image), "images"},
        {{}, "spurs (m,n), order 3 to 10", true},
        {roleColour(Role::Reference), "crystal and PFD products"},
    };
    constexpr double kEntryGap = 16, kLegendRow = 16;
    struct Placed {
        double x;
        int row;
        double swatches;
    };
    std::vector<Placed> where;
    double x = kEdge;
    int legendRows = 1;
    for (const Entry& e : entries) {
        const double swatches =
            e.spurScale ? (kHighestOrder - kLowestOrder + 1) * 5.0 + 5 : kSwatch;
        const double w = swatches + 4 + textWidth(e.text, kCaptionPx);
        if (x > kEdge && x + w > width - kEdge) {
            x = kEdge;
            ++legendRows;
        }
        where.push_back({x, legendRows - 1, swatches});
        x += w + kEntryGap;
    }

    // The chain on the corrected crystal, in lines under the title: a few ppm move the
    // markers by far less than the axes can part.
    std::vector<std::string> correctedLines;
    if (p.corrected) {
        const CorrectedFrequencies& c = *p.corrected;
        std::string line = "On the crystal corrected by " + crystalPpmText(c.ppm) + " ppm [MHz]:";
        const std::pair<const char*, double> values[] = {
            {"RF", c.fRF},   {"LO1", c.fLO1}, {"IF1", c.fIF1}, {"LO2", c.fLO2},
            {"IF2", c.fIF2}, {"PFD", c.fPFD}, {"IFF", c.fIFF}};
        for (const auto& [name, f] : values) {
            const std::string entry = std::string(name) + " " + correctedFrequencyText(f);
            const std::string longer = line + "  " + entry;
            if (textWidth(longer, kCaptionPx) > width - 2 * kEdge) {
                correctedLines.push_back(line);
                line = entry;
            } else {
                line = longer;
            }
        }
        correctedLines.push_back(line);
    }
    constexpr double kCorrectedRow = 14;
    const double titleHeight = 22 + double(correctedLines.size()) * kCorrectedRow;
    const double rfTop = titleHeight + 4, ifTop = rfTop + sectionHeight(rf) + 4;
    const double legendTop = ifTop + sectionHeight(ifs) + 4;
    PlanDrawing d;
    d.width = width;
    d.height = std::ceil(legendTop + legendRows * kLegendRow + 6);
    Svg svg(width, d.height);
    d.texts.push_back(svg.text(kEdge, 16,
                               "Frequency plan: RF " + formatFrequency(p.fRF) + " MHz, LO1 " +
                                   sideText(p.s1) + " side, LO2 " + sideText(p.s2) + " side",
                               kTitlePx, "#111111", Anchor::Start, true));
    for (size_t i = 0; i < correctedLines.size(); ++i)
        d.texts.push_back(svg.text(kEdge, 16 + double(i + 1) * kCorrectedRow, correctedLines[i],
                                   kCaptionPx, "#333333"));
    drawSection(svg, d, rf, rfTop, "RF side [MHz]", p.fRF * 0.5, p.fRF * 1.5, p.corrected);
    if (p.fPFD > 0 && std::isfinite(p.fLO1)) {
        // The comparison sidebands are too close to LO1 to part at any useful scale.
        const double half =
            std::max(1.5, p.fPFD * (rf.axis.x1 - rf.axis.x0) / (rf.axis.hi - rf.axis.lo));
        svg.rect(rf.axis.x(p.fLO1) - half, rf.axisY - kStub / 2, 2 * half, kStub / 2,
                 roleColour(Role::Reference), {}, 0.35);
    }
    drawSection(svg, d, ifs, ifTop, "IF side [MHz]", 0, 0, p.corrected);
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const double ex = where[i].x, ey = legendTop + where[i].row * kLegendRow;
        if (e.spurScale) {
            for (int o = kLowestOrder; o <= kHighestOrder; ++o)
                svg.rect(ex + (o - kLowestOrder) * 5.0, ey, 5, kSwatch, spurColour(o));
        } else {
            svg.rect(ex, ey, kSwatch, kSwatch, e.colour);
        }
        d.texts.push_back(
            svg.text(ex + where[i].swatches + 4, ey + kSwatch - 1, e.text, kCaptionPx, "#333333"));
    }
    d.svg = svg.finish();
    return d;
}

const PlanMarker* markerAt(const PlanDrawing& d, double x, double y) {
    for (const PlanMarker& m : d.markers)
        if (m.label.x1 > m.label.x0 && inside(x, m.label.x0, m.label.x1) &&
            inside(y, m.label.y0, m.label.y1))
            return &m;
    const PlanMarker* nearest = nullptr;
    double best = 4;
    for (const PlanMarker& m : d.markers) {
        if (!inside(y, m.top - 2, m.bottom + 2)) continue;
        const double dx = std::fabs(x - m.x);
        if (dx <= best) {
            best = dx;
            nearest = &m;
        }
    }
    return nearest;
}

}  // namespace zvk
