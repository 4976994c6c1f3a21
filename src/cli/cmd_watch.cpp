// SPDX-License-Identifier: MIT
// status --watch: the status read over and over, one line each, until a count or Ctrl+C.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

#include "base/Numbers.h"
#include "cli/Cli.h"
#include "cli/Json.h"

namespace zvk::cli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int) {
    g_interrupted = 1;
}

// Ctrl+C ends the watch after the line being read; the old handler comes back with it.
class InterruptFlag {
  public:
    InterruptFlag() {
        g_interrupted = 0;
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &old_);
    }
    ~InterruptFlag() { sigaction(SIGINT, &old_, nullptr); }
    InterruptFlag(const InterruptFlag&) = delete;
    InterruptFlag& operator=(const InterruptFlag&) = delete;
    bool raised() const { return g_interrupted != 0; }

  private:
    struct sigaction old_ {};
};

}  // namespace

void watchStatus(CommandContext& ctx, CtlSession& s, long intervalMs, long count, bool json,
                 bool showLd) {
    using Steady = std::chrono::steady_clock;
    InterruptFlag interrupt;
    // The trace the options ask for covers the reads, and ends with them (Ctrl+C too).
    s.resetCounts();
    if (!json) std::printf("%s\n", statusCsvHeader().c_str());
    flushOutput();
    const auto start = Steady::now();
    bool warned = false;
    for (long n = 0; (count == 0 || n < count) && !interrupt.raised(); ++n) {
        // Every read on its own tick: a slow read does not push the later ones back.
        const auto due = start + std::chrono::milliseconds(intervalMs) * n;
        while (!interrupt.raised() && Steady::now() < due)
            std::this_thread::sleep_for(
                std::min<Steady::duration>(due - Steady::now(), std::chrono::milliseconds(20)));
        if (interrupt.raised()) break;
        const double tMs = std::chrono::duration<double, std::milli>(Steady::now() - start).count();
        const auto reading = s.core->readStatus();
        if (!reading) continue;  // the link was busy: no word this tick
        StatusReading r = *reading;
        r.decoded = decodeStatus(r.word, showLd);
        if (json) {
            nlohmann::json j;
            j["t_ms"] = std::round(tMs * 10.0) / 10.0;
            statusReadingJson(j, r);
            std::printf("%s\n", jsonLine(j).c_str());
        } else {
            std::printf("%s\n", validUtf8(statusCsvLine(tMs, r)).c_str());
        }
        // A reader that went away ends the watch now, also where SIGPIPE is ignored.
        flushOutput();
        if (r.suspect && !warned) {
            std::cerr << "zvk40310ctl: " << *r.suspect << "\n";
            warned = true;
        }
    }
    finishLinesTrace(s, json);
    // In a script, Ctrl+C ends the script, not only this line.
    if (interrupt.raised() && ctx.script != nullptr) ctx.script->interrupted = true;
}

}  // namespace zvk::cli
