// SPDX-License-Identifier: MIT
#include "plan/Svg.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "base/Numbers.h"

namespace zvk {

namespace {
// Advance widths in thousandths of the font size for the printable ASCII characters, from
// the face's metrics; anything else counts as the widest letter.
constexpr short kAdvance[95] = {
    278,  278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278,  // ' '../
    556,  556, 556, 556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556,  // 0..?
    1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778,  // @..O
    667,  778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278, 278, 278, 469, 556,  // P.._
    333,  556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556,  // `..o
    556,  556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584,       // p..~
};
constexpr int kWidest = 1015;
// What a substituted face may need beyond these widths.
constexpr double kSubstitutionMargin = 1.15;
// Baseline to the top of capitals, and the descent, as fractions of the size.
constexpr double kAscent = 0.75, kDescent = 0.22;
}  // namespace

double textWidth(std::string_view text, double px) {
    long units = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            units += kAdvance[c - 0x20];
        } else if (c >= 0xC0 || c < 0x80) {
            units += kWidest;  // the first byte of a UTF-8 sequence, or a control character
        }
    }
    return double(units) / 1000.0 * px * kSubstitutionMargin;
}

Ticks ticksFor(double lo, double hi, double pixels, double px, double gap) {
    const double perUnit = pixels / (hi - lo);
    double step = std::pow(10.0, std::floor(std::log10((hi - lo) / 20)));
    for (int i = 0;; ++i) {
        const double s =
            step * std::array<double, 3>{1, 2, 5}[size_t(i % 3)] * std::pow(10.0, i / 3);
        const int decimals = std::max(0, int(-std::floor(std::log10(s) + 1e-9)));
        const double widest = std::max(textWidth(fixedText(lo, decimals), px),
                                       textWidth(fixedText(hi, decimals), px));
        if (s * perUnit >= widest + gap || i > 30) return {s, decimals};
    }
}

Box Svg::textBox(double x, double baseline, std::string_view text, double px, Anchor anchor) {
    const double w = textWidth(text, px);
    const double x0 = anchor == Anchor::Start ? x : anchor == Anchor::Middle ? x - w / 2 : x - w;
    return {x0, baseline - kAscent * px, x0 + w, baseline + kDescent * px};
}

Svg::Svg(double width, double height) {
    out_.reserve(16384);
    out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"";
    attribute("width", width);
    attribute("height", height);
    out_ += " viewBox=\"0 0 ";
    number(width);
    out_ += ' ';
    number(height);
    out_ += "\" font-family=\"Liberation Sans, Arial, Helvetica, sans-serif\">\n";
    rect(0, 0, width, height, "#ffffff");
}

void Svg::number(double v) {
    // Tenths of a unit are finer than any screen shows; whole numbers stay short.
    const double r = std::round(v * 10) / 10;
    out_ += r == std::floor(r) ? fixedText(r, 0) : fixedText(r, 1);
}

void Svg::attribute(std::string_view name, double v) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    number(v);
    out_ += '"';
}

void Svg::attribute(std::string_view name, std::string_view v) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    escaped(v);
    out_ += '"';
}

void Svg::escaped(std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '&':
                out_ += "&amp;";
                break;
            case '<':
                out_ += "&lt;";
                break;
            case '>':
                out_ += "&gt;";
                break;
            case '"':
                out_ += "&quot;";
                break;
            default:
                out_ += c;
        }
    }
}

void Svg::line(double x0, double y0, double x1, double y1, std::string_view stroke,
               double strokeWidth, std::string_view dash) {
    out_ += "<line";
    attribute("x1", x0);
    attribute("y1", y0);
    attribute("x2", x1);
    attribute("y2", y1);
    attribute("stroke", stroke);
    attribute("stroke-width", strokeWidth);
    if (!dash.empty()) attribute("stroke-dasharray", dash);
    out_ += "/>\n";
}

void Svg::rect(double x, double y, double w, double h, std::string_view fill,
               std::string_view stroke, double opacity) {
    out_ += "<rect";
    attribute("x", x);
    attribute("y", y);
    attribute("width", w);
    attribute("height", h);
    attribute("fill", fill);
    if (!stroke.empty()) attribute("stroke", stroke);
    if (opacity < 1) {
        out_ += " fill-opacity=\"";
        out_ += fixedText(opacity, 2);
        out_ += '"';
    }
    out_ += "/>\n";
}

void Svg::polyline(const std::vector<double>& xy, std::string_view stroke, double strokeWidth) {
    if (xy.size() < 4) return;
    out_ += "<polyline points=\"";
    for (size_t i = 0; i + 1 < xy.size(); i += 2) {
        if (i > 0) out_ += ' ';
        number(xy[i]);
        out_ += ',';
        number(xy[i + 1]);
    }
    out_ += '"';
    attribute("fill", "none");
    attribute("stroke", stroke);
    attribute("stroke-width", strokeWidth);
    out_ += " stroke-linejoin=\"round\"/>\n";
}

void Svg::circle(double cx, double cy, double r, std::string_view fill, std::string_view stroke,
                 double strokeWidth) {
    out_ += "<circle";
    attribute("cx", cx);
    attribute("cy", cy);
    attribute("r", r);
    attribute("fill", fill.empty() ? std::string_view("none") : fill);
    if (!stroke.empty()) {
        attribute("stroke", stroke);
        attribute("stroke-width", strokeWidth);
    }
    out_ += "/>\n";
}

Box Svg::text(double x, double baseline, std::string_view text, double px, std::string_view fill,
              Anchor anchor, bool bold) {
    out_ += "<text";
    attribute("x", x);
    attribute("y", baseline);
    attribute("font-size", px);
    attribute("fill", fill);
    if (anchor == Anchor::Middle) out_ += " text-anchor=\"middle\"";
    if (anchor == Anchor::End) out_ += " text-anchor=\"end\"";
    if (bold) out_ += " font-weight=\"bold\"";
    out_ += '>';
    escaped(text);
    out_ += "</text>\n";
    return textBox(x, baseline, text, px, anchor);
}

void Svg::beginGroup(std::string_view title) {
    out_ += "<g><title>";
    escaped(title);
    out_ += "</title>\n";
}

void Svg::endGroup() {
    out_ += "</g>\n";
}

std::string Svg::finish() {
    out_ += "</svg>\n";
    return std::move(out_);
}

}  // namespace zvk
