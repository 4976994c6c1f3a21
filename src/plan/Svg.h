// SPDX-License-Identifier: MIT
#pragma once
// A few drawing primitives that write SVG text: lines, rectangles and labels in user
// units, one unit being one pixel at the drawing's own width. Text is measured here, not
// by a font engine, so that a layout can be made (and checked) without a display.
#include <string>
#include <string_view>
#include <vector>

namespace zvk {

// Where a text sits: its box in user units.
struct Box {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool overlaps(const Box& o, double gap = 0) const {
        return x0 < o.x1 + gap && o.x0 < x1 + gap && y0 < o.y1 + gap && o.y0 < y1 + gap;
    }
};

enum class Anchor { Start, Middle, End };

// The advance of a text in the drawing's sans-serif face at size px. The widths are
// Liberation Sans's (the same as Arial's and Helvetica's), widened by a margin that
// covers the broader faces a viewer may substitute (DejaVu Sans is about 12 % wider).
double textWidth(std::string_view text, double px);

// Tick numbers at a round step (1, 2 or 5 times a power of ten) between lo and hi, spread
// over pixels units, whose numbers at size px leave at least gap units between them;
// decimals: what the step needs.
struct Ticks {
    double step = 1;
    int decimals = 0;
};
Ticks ticksFor(double lo, double hi, double pixels, double px, double gap = 12);

class Svg {
  public:
    Svg(double width, double height);
    void line(double x0, double y0, double x1, double y1, std::string_view stroke,
              double strokeWidth = 1, std::string_view dash = {});
    void rect(double x, double y, double w, double h, std::string_view fill,
              std::string_view stroke = {}, double opacity = 1);
    // An open line through the points, x and y alternating.
    void polyline(const std::vector<double>& xy, std::string_view stroke, double strokeWidth);
    void circle(double cx, double cy, double r, std::string_view fill, std::string_view stroke = {},
                double strokeWidth = 1);
    // A label: its box, computed as the viewer will lay it out to within textWidth's margin.
    Box text(double x, double baseline, std::string_view text, double px, std::string_view fill,
             Anchor anchor = Anchor::Start, bool bold = false);
    // A hover title for the elements that follow, until endGroup (viewers show it as a
    // tooltip).
    void beginGroup(std::string_view title);
    void endGroup();
    // The document, closed.
    std::string finish();
    // The box text() gives, without drawing.
    static Box textBox(double x, double baseline, std::string_view text, double px,
                       Anchor anchor = Anchor::Start);

  private:
    void number(double v);
    void attribute(std::string_view name, double v);
    void attribute(std::string_view name, std::string_view v);
    void escaped(std::string_view text);
    std::string out_;
};

}  // namespace zvk
