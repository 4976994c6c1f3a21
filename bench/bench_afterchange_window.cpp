// SPDX-License-Identifier: MIT
// The after-change routine without a write cycle: 96 bit colours, 8 register texts, the
// MODSEL line and the message pass of its wait, on a shown main window. It runs on every
// pointer movement over the bit view, so it has to stay far below a mouse's report rate.
// Beside it, a write cycle with and without a trace running.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <memory>

#include "BitLabel.h"
#include "Main.h"
#include "PageControl.h"
#include "StatusMonitorWindow.h"
#include "ToolsMenu.h"
#include "TraceWindow.h"
#include "WindowBench.h"

namespace {

TForm1* g_form = nullptr;

struct Images {
    zvk::RegisterImage a, b;
};
// Two images that differ in every bit, so that nothing is skipped as unchanged.
Images flipping() {
    Images im{g_form->session().chip().regs(), {}};
    for (size_t i = 0; i < 8; ++i) im.b[i] = uint16_t(im.a[i] ^ 0xFFF);
    return im;
}

// The routine's own work: 96 colours, 8 texts and the MODSEL line, every bit changing.
// The message pass of the line's wait is left out here; it is where the toolkit repaints
// what changed, measured on its own below. (Without repaints in between, each row asks
// for its repaint once and later changes only join that request.)
void BM_AfterChange(benchmark::State& state) {
    const Images im = flipping();
    g_form->session().lpt().setMessagePump({});
    bool flip = false;
    for (auto _ : state) {
        g_form->session().chip().setRegs(flip ? im.a : im.b);
        flip = !flip;
        g_form->session().afterChange();
    }
    g_form->session().lpt().setMessagePump([] { QCoreApplication::processEvents(); });
    g_form->session().chip().setRegs(im.a);
    g_form->session().afterChange();
}
BENCHMARK(BM_AfterChange);

// The after-change routine as the program runs it, every bit changing each time; between
// two runs, whatever else the window does then.
void afterChangeLoop(benchmark::State& state, const std::function<void()>& between = {}) {
    const Images im = flipping();
    bool flip = false;
    for (auto _ : state) {
        g_form->session().chip().setRegs(flip ? im.a : im.b);
        flip = !flip;
        g_form->session().afterChange();
        if (between) between();
    }
    g_form->session().chip().setRegs(im.a);
    g_form->session().afterChange();
}

// As the program runs it: the wait's message pass repaints the 104 changed labels.
void BM_AfterChangeWithRepaint(benchmark::State& state) {
    afterChangeLoop(state);
}
BENCHMARK(BM_AfterChangeWithRepaint);

// The same while "Status Monitor" reads the status every 100 ms. Its timer fires inside
// the routine's own wait, where the link is busy and the tick is skipped; an idle window
// reads between two runs, so a read is made there whenever one is due. The figure should
// match the one above: a read every 100 ms costs the routine nothing it can feel.
void BM_AfterChangeWhileMonitoring(benchmark::State& state) {
    g_form->findChild<ToolsMenu*>(QStringLiteral("Tools1"))
        ->findChild<QAction*>(QStringLiteral("StatusMonitor1"))
        ->trigger();
    auto* monitor = g_form->findChild<StatusMonitorWindow*>();
    monitor->intervalBox->setValue(100);
    monitor->start();
    const size_t before = monitor->samples().size();
    QElapsedTimer since;
    since.start();
    afterChangeLoop(state, [&] {
        if (since.elapsed() < 100) return;
        since.restart();
        monitor->poll();
    });
    monitor->stop();
    state.counters["status_reads"] = double(monitor->samples().size() - before);
    monitor->hide();
}
BENCHMARK(BM_AfterChangeWhileMonitoring)->MinTime(2.0);

// The pointer moving from bit label to bit label over an unchanged image: the bit name
// in the status bar and the whole after-change routine with its message pass.
void BM_PointerOverBitLabels(benchmark::State& state) {
    BitLabel* labels[2] = {
        g_form->findChild<BitLabel*>(QString::fromStdString(zvk::bitLabelName(0, 0))),
        g_form->findChild<BitLabel*>(QString::fromStdString(zvk::bitLabelName(7, 11)))};
    int i = 0;
    for (auto _ : state) {
        emit labels[i]->mouseMoved();
        i ^= 1;
    }
}
BENCHMARK(BM_PointerOverBitLabels);

// A write cycle as "Send to IC" runs it in the window, on the virtual board.
void BM_WindowWriteCycle(benchmark::State& state) {
    for (auto _ : state) g_form->session().chip().writeCycle();
}
BENCHMARK(BM_WindowWriteCycle);

// The core's recording alone, with no one looking at the events: what the window adds
// when it shows a trace is the difference between the next benchmark and this one.
void BM_WindowWriteCycleRecording(benchmark::State& state) {
    g_form->session().startTrace(TraceWindow::kKeptLines);
    for (auto _ : state) g_form->session().chip().writeCycle();
    g_form->session().stopTrace();
}
BENCHMARK(BM_WindowWriteCycleRecording);

// The same while a trace runs: every event goes to the log file and, in one append and
// one repaint every 50 ms, into the trace window. The difference to the one above is what the
// trace costs the window per write cycle.
void BM_WindowWriteCycleTracing(benchmark::State& state) {
    QTemporaryDir dir;
    auto* tools = g_form->findChild<ToolsMenu*>(QStringLiteral("Tools1"));
    if (tools->startTrace(QDir(dir.path()).filePath("t.log"))) {
        state.SkipWithError("cannot write the trace log");
        return;
    }
    for (auto _ : state) g_form->session().chip().writeCycle();
    tools->stopTrace();
    tools->traceWindow()->hide();
}
BENCHMARK(BM_WindowWriteCycleTracing);

}  // namespace

int main(int argc, char** argv) {
    return benchwindow::run(argc, argv, g_form, [](TForm1& form) {
        // the bit view in sight
        form.findChild<PageControl*>(QStringLiteral("PageControl1"))
            ->setCurrentPage(form.findChild<QWidget*>(QStringLiteral("TabReg2")));
        QApplication::processEvents();
    });
}
