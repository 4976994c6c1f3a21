// SPDX-License-Identifier: MIT
#pragma once
// The window benchmarks' set-up: the main window on the virtual board with a settings file
// of its own, shown and settled, on Qt's offscreen platform unless one is chosen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <memory>

#include "Main.h"
#include "ProgramLook.h"

namespace benchwindow {

class SilentBeeper : public Beeper {
  public:
    void beep() override {}
};

// Runs the registered benchmarks with form pointing at the window; prepare runs first.
inline int run(int argc, char** argv, TForm1*& form,
               const std::function<void(TForm1&)>& prepare = {}) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    applyProgramLook();
    QTemporaryDir dir;
    SilentBeeper beeper;
    MainOptions o;
    o.settingsPath = QDir(dir.path()).filePath("zvk40310.INI").toStdString();
    o.boardName = "virtual";
    o.beeper = &beeper;
    o.realtime = false;
    auto window = std::make_unique<TForm1>(o);
    window->showAndActivate();
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    if (prepare) prepare(*window);
    form = window.get();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    form = nullptr;
    return 0;
}

}  // namespace benchwindow
