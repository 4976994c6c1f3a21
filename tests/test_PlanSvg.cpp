// SPDX-License-Identifier: MIT
// The frequency plan's picture: a layout that stays legible on crowded plans, tooltips that
// find their markers, and SVG that a real renderer takes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>

#include "PlanFixtures.h"
#include "TempDir.h"
#include "base/Numbers.h"
#include "plan/PlanSvg.h"

namespace zvk {
namespace {

std::string describe(const Box& b) {
    return "(" + std::to_string(b.x0) + "," + std::to_string(b.y0) + ")-(" + std::to_string(b.x1) +
           "," + std::to_string(b.y1) + ")";
}

const PlanMarker& named(const PlanDrawing& d, const std::string& name) {
    for (const PlanMarker& m : d.markers)
        if (m.name == name) return m;
    ADD_FAILURE() << "no marker " << name;
    static const PlanMarker none;
    return none;
}

TEST(PlanSvg, LabelsNeverOverlapOrShrinkOnTheFivePlans) {
    for (const test::PlanCase& c : test::kFivePlans)
        for (double ppm : {0.0, 20.0, -50.0}) {
            SCOPED_TRACE(testing::Message() << c.rf << " MHz, " << ppm << " ppm");
            const PlanPicture p = planPicture(test::planned(c), ppm);
            const PlanDrawing d = drawPlan(p);
            EXPECT_EQ(d.width, kPlanWidth);
            // Every spur and every product near the chain is drawn, with the chain and images.
            EXPECT_EQ(d.markers.size(), 8 + p.spurs.size() + p.reference.size());
            for (size_t i = 0; i < d.texts.size(); ++i) {
                const Box& a = d.texts[i];
                EXPECT_GE(a.x0, 0);
                EXPECT_LE(a.x1, d.width);
                EXPECT_GE(a.y0, 0);
                EXPECT_LE(a.y1, d.height);
                for (size_t j = i + 1; j < d.texts.size(); ++j)
                    EXPECT_FALSE(a.overlaps(d.texts[j]))
                        << describe(a) << " and " << describe(d.texts[j]);
            }
            // No text below 10 units, in a picture that is 600 units wide.
            const std::string attribute = "font-size=\"";
            int texts = 0;
            for (size_t at = d.svg.find(attribute); at != std::string::npos;
                 at = d.svg.find(attribute, at + 1)) {
                EXPECT_GE(std::stod(d.svg.substr(at + attribute.size(), 8)), 10.0);
                ++texts;
            }
            EXPECT_EQ(size_t(texts), d.texts.size());
            EXPECT_NE(d.svg.find("viewBox=\"0 0 600 "), std::string::npos);
        }
}

// A correction adds the chain's real frequencies under the title and to every marker's
// tooltip; without one the picture is the nominal plan's alone.
TEST(PlanSvg, TheCorrectedValuesStandBesideTheNominalOnes) {
    for (const test::PlanCase& c : test::kFivePlans) {
        SCOPED_TRACE(c.rf);
        const FrequencyState s = test::planned(c);
        const PlanDrawing nominal = drawPlan(planPicture(s, 0));
        EXPECT_EQ(nominal.svg.find("corrected"), std::string::npos);
        for (const PlanMarker& m : nominal.markers) EXPECT_FALSE(m.corrected) << m.name;
        const double ppm = 20;
        const CorrectedFrequencies real = correctedFrequencies(s, ppm);
        const PlanDrawing d = drawPlan(planPicture(s, ppm));
        EXPECT_GT(d.height, nominal.height);
        for (const auto& [name, f] : {std::pair{"RF ", real.fRF},
                                      {"LO1 ", real.fLO1},
                                      {"IF1 ", real.fIF1},
                                      {"LO2 ", real.fLO2},
                                      {"IF2 ", real.fIF2},
                                      {"PFD ", real.fPFD},
                                      {"IFF ", real.fIFF}})
            EXPECT_NE(d.svg.find(name + correctedFrequencyText(f)), std::string::npos) << name;
        ASSERT_EQ(d.markers.size(), nominal.markers.size());
        for (size_t i = 0; i < d.markers.size(); ++i) {
            const PlanMarker& m = d.markers[i];
            ASSERT_TRUE(m.corrected) << m.name;
            // 20 ppm of the marker's own frequency, whichever it is.
            EXPECT_NEAR(*m.corrected - m.f, m.f * 20e-6, 1e-9) << m.name;
            EXPECT_EQ(markerText(m), markerText(nominal.markers[i]) + ", " +
                                         correctedValueText(*m.corrected, ppm));
        }
        EXPECT_NEAR(named(d, "first oscillator LO1").corrected.value_or(0), real.fLO1, 1e-9);
    }
}

TEST(PlanSvg, ACrowdedAxisStacksItsLabels) {
    // Twenty-four spurs within a few MHz of each other and of the chain: the labels must
    // stack instead of piling up.
    PlanPicture p = planPicture(test::planned(test::kFivePlans[0]));
    p.spurs.clear();
    for (int i = 0; i < 24; ++i)
        p.spurs.push_back({1 + i % 5, 1 + i / 5, 380 + i * 0.5, 2 + i % 5 + i / 5});
    const PlanDrawing d = drawPlan(p);
    for (size_t i = 0; i < d.texts.size(); ++i)
        for (size_t j = i + 1; j < d.texts.size(); ++j)
            EXPECT_FALSE(d.texts[i].overlaps(d.texts[j]))
                << describe(d.texts[i]) << " and " << describe(d.texts[j]);
    EXPECT_GT(d.height, drawPlan(planPicture(test::planned(test::kFivePlans[0]))).height);
}

TEST(PlanSvg, ThePointerNamesTheMarkerUnderIt) {
    const PlanDrawing d = drawPlan(planPicture(test::planned(test::kFivePlans[0])));
    const PlanMarker& image1 = named(d, "first image");
    EXPECT_NEAR(image1.f, 645.333, 5e-4);
    // On its label, and on its line near the axis.
    const Box& l = image1.label;
    const PlanMarker* hit = markerAt(d, (l.x0 + l.x1) / 2, (l.y0 + l.y1) / 2);
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->name, "first image");
    hit = markerAt(d, image1.x + 1, image1.bottom - 1);
    ASSERT_NE(hit, nullptr);
    EXPECT_NEAR(hit->f, image1.f, 1.0);  // the mirror's line lies a few units beside it
    EXPECT_EQ(markerText(named(d, "first IF")), "first IF: 130.667 MHz");
    EXPECT_EQ(markerAt(d, 1, d.height - 1), nullptr);
    // The half-IF spur says what it is.
    EXPECT_NEAR(named(d, "spur m 2, n 2 (order 4, half IF)").f, 449.333, 5e-4);
}

class PlanSvgFile : public test::TempDir {
  protected:
    PlanSvgFile() : TempDir("zvk-plansvg") {}
};

TEST_F(PlanSvgFile, RendersWithRsvgConvert) {
    if (std::system("command -v rsvg-convert >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "rsvg-convert is not installed (librsvg2-bin)";
    for (const test::PlanCase& c : test::kFivePlans) {
        SCOPED_TRACE(c.rf);
        const std::string svg = (dir / "plan.svg").string(), png = (dir / "plan.png").string();
        const std::string errFile = (dir / "err").string();
        std::ofstream(svg) << drawPlan(planPicture(test::planned(c))).svg;
        const std::string cmd =
            "rsvg-convert -w 600 '" + svg + "' -o '" + png + "' 2>'" + errFile + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        std::ifstream err(errFile);
        const std::string errors((std::istreambuf_iterator<char>(err)), {});
        EXPECT_EQ(errors, "");
        std::ifstream in(png, std::ios::binary);
        char magic[4] = {};
        in.read(magic, 4);
        EXPECT_EQ(std::string(magic + 1, 3), "PNG");
    }
}

}  // namespace
}  // namespace zvk
