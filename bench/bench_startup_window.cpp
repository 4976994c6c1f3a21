// SPDX-License-Identifier: MIT
// Start-up to the first shown and activated window: the program's main window on the
// virtual board against a bare QMainWindow of the same size, side by side in one run.
// Each start is a fresh process (this program run again as a child), measured from the
// fork to the child's word that its window is active; the child also reports its peak
// resident memory then, and ends without tearing anything down.
//
// The comparison runs twice: on an X server (the display a user starts the program on; run
// under xvfb-run where there is none, as scripts/bench does) and on Qt's offscreen
// platform, which has no display connection at all and so shows the window's own cost
// most harshly. A third window, a bare one holding a single text label, shows what the
// first word of text costs by itself: the font system's start.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "FontWarmUp.h"
#include "Main.h"
#include "chip/Registers.h"
#include "storage/Settings.h"

namespace {

std::string g_self;
std::string g_settings;

long peakKib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// The window kinds a child can start.
constexpr const char* kBare = "bare";
constexpr const char* kLabel = "label";
constexpr const char* kWindow = "window";

int runChild(const std::string& kind, const std::string& settings, int fd) {
    // The program's window starts as its main() does; the bare ones as plain Qt.
    const bool program = kind == kWindow;
    if (program) startFontWarmUp();
    int argc = 1;
    char name[] = "zvk40310";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    if (program) applyProgramLook();
    std::unique_ptr<QMainWindow> window;
    // The moment the window becomes the active one; for the program's window its own
    // activation handler, connected earlier, has run by then.
    auto report = [&fd, &window](QWindow* w) {
        if (!window || w != window->windowHandle()) return;
        char msg[64];
        const int n = std::snprintf(msg, sizeof msg, "%ld\n", peakKib());
        if (write(fd, msg, size_t(n)) != n) std::_Exit(1);
        std::_Exit(0);
    };
    if (kind == kBare || kind == kLabel) {
        window = std::make_unique<QMainWindow>();
        if (kind == kLabel) window->setCentralWidget(new QLabel(QStringLiteral("Mode Control")));
        QObject::connect(&app, &QGuiApplication::focusWindowChanged, report);
        window->setFixedSize(482, 553);
        window->show();
        window->activateWindow();
    } else {
        MainOptions o;
        o.settingsPath = settings;
        o.boardName = "virtual";
        auto form = std::make_unique<TForm1>(o);
        QObject::connect(&app, &QGuiApplication::focusWindowChanged, report);
        form->showAndActivate();
        window = std::move(form);
    }
    return app.exec();
}

struct Start {
    double seconds = 0;
    long peakKib = 0;
};

// One start of a window kind on a Qt platform ("xcb" or "offscreen").
Start startOnce(const char* kind, const char* platform) {
    int p[2];
    if (pipe(p) != 0) return {};
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(p[0]);
        setenv("QT_QPA_PLATFORM", platform, 1);
        const std::string fd = std::to_string(p[1]);
        execl(g_self.c_str(), g_self.c_str(), "--child", kind, g_settings.c_str(), fd.c_str(),
              static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    close(p[1]);
    char buf[64] = {};
    const ssize_t n = read(p[0], buf, sizeof buf - 1);
    const auto t1 = std::chrono::steady_clock::now();
    close(p[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (n <= 0) return {};
    return {std::chrono::duration<double>(t1 - t0).count(), std::atol(buf)};
}

bool platformMissing(benchmark::State& state, const char* platform) {
    if (std::strcmp(platform, "xcb") != 0 || std::getenv("DISPLAY") != nullptr) return false;
    state.SkipWithError("no X display: run under xvfb-run (scripts/bench does)");
    return true;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The three kinds alternate, so that a change in the machine's load hits them alike. The
// counters are the costs relative to the bare window, from the medians of the starts (a
// display server's occasional slow answer would swing a mean), and the largest peaks.
void BM_StartupRatio(benchmark::State& state, const char* platform) {
    if (platformMissing(state, platform)) return;
    std::vector<double> bareT, labelT, winT;
    long bareM = 0, labelM = 0, winM = 0;
    for (auto _ : state) {
        const Start b = startOnce(kBare, platform);
        const Start l = startOnce(kLabel, platform);
        const Start w = startOnce(kWindow, platform);
        if (b.seconds <= 0 || l.seconds <= 0 || w.seconds <= 0) {
            state.SkipWithError("a child did not report");
            return;
        }
        bareT.push_back(b.seconds);
        labelT.push_back(l.seconds);
        winT.push_back(w.seconds);
        bareM = std::max(bareM, b.peakKib);
        labelM = std::max(labelM, l.peakKib);
        winM = std::max(winM, w.peakKib);
        state.SetIterationTime(b.seconds + l.seconds + w.seconds);
    }
    const double bare = median(bareT);
    state.counters["bare_ms"] = bare * 1e3;
    state.counters["window_ms"] = median(winT) * 1e3;
    state.counters["bare_peak_KiB"] = double(bareM);
    state.counters["window_peak_KiB"] = double(winM);
    state.counters["time_ratio"] = median(winT) / bare;
    state.counters["peak_memory_ratio"] = double(winM) / double(bareM);
    state.counters["one_label_time_ratio"] = median(labelT) / bare;
    state.counters["one_label_memory_ratio"] = double(labelM) / double(bareM);
}

BENCHMARK_CAPTURE(BM_StartupRatio, xcb, "xcb")
    ->UseManualTime()
    ->Iterations(51)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StartupRatio, offscreen, "offscreen")
    ->UseManualTime()
    ->Iterations(51)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0)
        return runChild(argv[2], argv[3], std::atoi(argv[4]));

    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return 1;
    g_self.assign(self, size_t(n));
    // A start as a user's usual one: with a settings file holding the default set-up.
    QTemporaryDir dir;
    g_settings = (dir.path() + "/zvk40310.INI").toStdString();
    zvk::Settings s;
    s.spisel = true;
    s.injlo1 = 1;
    s.cwr = zvk::kDefaultImage;
    if (zvk::writeSettings(g_settings, s)) return 1;

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
