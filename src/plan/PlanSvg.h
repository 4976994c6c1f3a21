// SPDX-License-Identifier: MIT
#pragma once
// The frequency plan as a picture: the RF side (the wanted signal, LO1, the images, the
// first mixer's spurs and the reference products near them) on one axis and the IF side
// (IF1, LO2, IF2) on a second axis below, where they lie far lower. Made once, as SVG
// text, for the window, the command line and the documentation alike.
#include <optional>
#include <string>
#include <vector>

#include "plan/PlanPicture.h"
#include "plan/Svg.h"

namespace zvk {

// The width the layout is made for: the text is never smaller than 10 units, so never
// smaller than 10 pixels when the picture is shown at least this wide.
constexpr double kPlanWidth = 600;

// Something drawn at a frequency, and the area where the pointer names it.
struct PlanMarker {
    std::string name;  // "LO1", "first image", "spur m 2, n 2 (order 4, half IF)"
    double f = 0;
    Box label;  // empty for a marker without a label
    // Its line, in user units.
    double x = 0, top = 0, bottom = 0;
    // The frequency on the corrected crystal, and the correction, while one is set.
    std::optional<double> corrected;
    double ppm = 0;
};

struct PlanDrawing {
    double width = 0, height = 0;
    std::string svg;
    std::vector<PlanMarker> markers;
    // Every text drawn (labels, tick numbers, legend, title), for checking the layout.
    std::vector<Box> texts;
};

PlanDrawing drawPlan(const PlanPicture& p);

// The marker whose label or line is under a point (user units), the nearest line within
// a few units when no label is hit; null when there is none.
const PlanMarker* markerAt(const PlanDrawing& d, double x, double y);

// A marker's name and frequency, as a tooltip shows them; the corrected frequency follows
// while a correction is set.
std::string markerText(const PlanMarker& m);

}  // namespace zvk
