// SPDX-License-Identifier: MIT
// "Tools > Frequency Plan" follows every plan: the cost of one redraw (the picture made
// and handed to the SVG renderer), and of painting it at the window's size. Both run after
// each plan while the window is open, so together they should stay under a millisecond.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPixmap>

#include "Main.h"
#include "PlanWindow.h"
#include "ToolsMenu.h"
#include "WindowBench.h"

namespace {

TForm1* g_form = nullptr;

PlanWindow* openPlan() {
    PlanWindow* plan = g_form->findChild<ToolsMenu*>(QStringLiteral("Tools1"))->showPlan();
    QApplication::processEvents();
    return plan;
}

// What the window's thread spends on a plan: the picture computed and drawn as SVG, and
// handed to the rendering beside it (or, while one runs, noted for the next). Four
// crystals in turn, so that every redraw has a new plan to draw.
void BM_PlanRedraw(benchmark::State& state) {
    PlanWindow* plan = openPlan();
    zvk::FrequencyState& fs = g_form->session().frequencies();
    const zvk::FrequencyState start = fs;
    const double crystals[] = {10.0, 10.5, 11.0, 9.5};
    unsigned i = 0;
    for (auto _ : state) {
        fs.fXTAL = crystals[i++ & 3];
        zvk::RecomputeFrequencies(fs);
        plan->redraw();
    }
    fs = start;
    while (plan->view()->rendering()) QApplication::processEvents();
}
BENCHMARK(BM_PlanRedraw)->Unit(benchmark::kMicrosecond);

// The rendering beside the window's thread: Qt's SVG renderer at the view's size.
void BM_PlanRenderOffThread(benchmark::State& state) {
    PlanWindow* plan = openPlan();
    const std::string svg = plan->view()->drawing().svg;
    const QSize size = plan->view()->pictureRect().size().toSize();
    for (auto _ : state) {
        QImage image = renderPlan(svg, size);
        benchmark::DoNotOptimize(image);
    }
}
BENCHMARK(BM_PlanRenderOffThread)->Unit(benchmark::kMicrosecond);

// A repaint of the view once the image is there: what a plan finally costs the window's
// thread when the image arrives.
void BM_PlanPaint(benchmark::State& state) {
    PlanWindow* plan = openPlan();
    PlanView* view = plan->view();
    while (view->rendering()) QApplication::processEvents();
    QPixmap target(view->size());
    for (auto _ : state) {
        view->render(&target);
    }
}
BENCHMARK(BM_PlanPaint)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return benchwindow::run(argc, argv, g_form);
}
