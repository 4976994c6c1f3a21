// SPDX-License-Identifier: MIT
// "Tools > Frequency Plan": the picture follows every plan the window makes, names the
// marker under the pointer and saves as SVG or PNG.
#include <QFile>
#include <QImage>

#include "PlanWindow.h"
#include "ToolsMenu.h"
#include "WindowFixture.h"

namespace apptest {
namespace {

// The widget point at the middle of a marker's label.
QPoint labelCentre(const PlanView* view, const zvk::PlanMarker& m) {
    const QRectF r = view->pictureRect();
    const double scale = r.width() / view->drawing().width;
    return QPointF(r.x() + (m.label.x0 + m.label.x1) / 2 * scale,
                   r.y() + (m.label.y0 + m.label.y1) / 2 * scale)
        .toPoint();
}

const zvk::PlanMarker* named(const PlanView* view, const std::string& name) {
    for (const zvk::PlanMarker& m : view->drawing().markers)
        if (m.name == name) return &m;
    return nullptr;
}

TEST_F(WindowTest, ThePlanPictureFollowsEveryPlan) {
    start(true);  // lab mode, for the switch to ABC mode
    ToolsMenu* tools = control<ToolsMenu>("Tools1");
    ASSERT_NE(tools, nullptr);
    tools->FrequencyPlan1->trigger();
    PlanWindow* plan = tools->planWindow();
    ASSERT_NE(plan, nullptr);
    EXPECT_TRUE(plan->isVisible());
    EXPECT_FALSE(plan->isModal());
    PlanView* view = plan->view();
    auto title = [&] {
        const std::string& svg = view->drawing().svg;
        const size_t at = svg.find("Frequency plan: ");
        return at == std::string::npos ? std::string() : svg.substr(at, svg.find('<', at) - at);
    };
    auto drawnNow = [&] {
        return zvk::drawPlan(zvk::planPicture(form->session().frequencies())).svg;
    };
    EXPECT_EQ(view->drawing().svg, drawnNow());

    // A band preset, the LO1 side, the crystal: each shows at once.
    choose(control<RadioGroup>("RGFreq"), 3);
    QApplication::processEvents();
    EXPECT_EQ(title(), "Frequency plan: RF 915.000 MHz, LO1 low side, LO2 low side");
    const zvk::PlanMarker* image1 = named(view, "first image");
    ASSERT_NE(image1, nullptr);
    EXPECT_NEAR(image1->f, 545.8, 5e-4);
    EXPECT_EQ(view->toolTipAt(labelCentre(view, *image1)), "first image: 545.800 MHz");
    EXPECT_EQ(view->toolTipAt(QPoint(1, 1)), "");

    // The same dividers with LO1 above the signal tune 9130 x 0.06 - 2 MHz.
    choose(control<RadioGroup>("RG_IF1"), 0);
    QApplication::processEvents();
    EXPECT_EQ(title(), "Frequency plan: RF 545.800 MHz, LO1 high side, LO2 low side");
    EXPECT_EQ(view->drawing().svg, drawnNow());

    typeAndEnter(control<Edit>("E_fXTAL"), "12");
    QApplication::processEvents();
    EXPECT_EQ(view->drawing().svg, drawnNow());
    EXPECT_NE(named(view, "first oscillator LO1"), nullptr);

    // Resized, the picture keeps its proportions inside the window, and the image shown is
    // rendered anew at the size it takes there.
    plan->resize(1000, 300);
    QApplication::processEvents();
    const QRectF r = view->pictureRect();
    EXPECT_NEAR(r.width() / r.height(), view->drawing().width / view->drawing().height, 0.01);
    EXPECT_LE(r.height(), view->height() + 0.5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->rendering(); }, 5000));
    EXPECT_EQ(view->picture().size(), (r.size() * view->devicePixelRatioF()).toSize());
    // Not blank: the axes and labels are there.
    const QImage shown = view->picture();
    int ink = 0;
    for (int y = 0; y < shown.height(); y += 2)
        for (int x = 0; x < shown.width(); x += 2) ink += shown.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_GT(ink, 200);

    const QString svg = dir.path() + "/plan.svg", png = dir.path() + "/plan.png";
    ASSERT_EQ(plan->saveSvg(svg), std::nullopt);
    QFile f(svg);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(), view->drawing().svg);
    ASSERT_EQ(plan->savePng(png), std::nullopt);
    const QImage image(png);
    EXPECT_EQ(image.width(), int(2 * zvk::kPlanWidth));
    EXPECT_TRUE(plan->saveSvg(dir.path() + "/missing/plan.svg").has_value());
    EXPECT_TRUE(plan->savePng(dir.path() + "/missing/plan.png").has_value());

    // Closed, it is the same window the next time, showing the plan as it is by then.
    plan->close();
    choose(control<RadioGroup>("RGFreq"), 0);
    QApplication::processEvents();
    tools->FrequencyPlan1->trigger();
    EXPECT_EQ(tools->planWindow(), plan);
    EXPECT_EQ(title(), "Frequency plan: RF 315.000 MHz, LO1 high side, LO2 high side");

    // In ABC mode a preconfigured frequency is a plan too.
    choose(control<RadioGroup>("RG_SPI"), 0);
    choose(control<QComboBox>("CB_fRF"), 2);
    QApplication::processEvents();
    EXPECT_NE(title().find("RF " + zvk::formatFrequency(zvk::kAbcPresets[2].fRF) + " MHz"),
              std::string::npos)
        << title();
    EXPECT_EQ(view->drawing().svg, drawnNow());
}

}  // namespace
}  // namespace apptest
