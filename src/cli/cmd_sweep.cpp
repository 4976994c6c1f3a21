// SPDX-License-Identifier: MIT
// sweep: plan, write and read the status at each frequency of a range or a list.
#include <cstdio>
#include <iostream>

#include "base/Numbers.h"
#include "base/Text.h"
#include "cli/Cli.h"
#include "cli/Correction.h"
#include "cli/Json.h"
#include "session/LockTime.h"
#include "session/StatusPlot.h"
#include "session/Sweep.h"

namespace zvk::cli {

namespace {

struct SweepOptions {
    std::string file;
    bool defaults = false;
    std::string from, to, step, list;
    std::string dwell = "20";
    std::string svg;  // the plot of the points, when given
    BoardOptions board;
    bool json = false;
    bool lockTime = false;
    CorrectionOptions correction;
};

constexpr long kMaxDwellMs = 60000;

std::vector<double> frequencies(const SweepOptions& o) {
    const bool range = !o.from.empty() || !o.to.empty() || !o.step.empty();
    if (range == !o.list.empty())
        throw BadInput("sweep: give either --from, --to and --step, or --list");
    std::vector<double> f;
    std::optional<std::string> error;
    if (range) {
        if (o.from.empty() || o.to.empty() || o.step.empty())
            throw BadInput("sweep: --from, --to and --step go together");
        error = sweepFrequencies(parseNumber(o.from, "--from"), parseNumber(o.to, "--to"),
                                 parseNumber(o.step, "--step"), f);
    } else {
        error = readSweepList(o.list, f);
    }
    if (error) throw BadInput(*error);
    return f;
}

void runSweep(CommandContext& ctx, const SweepOptions& o) {
    if (o.defaults == !o.file.empty())
        throw BadInput("sweep: give either a FILE.cfg or --defaults");
    const std::vector<double> points = frequencies(o);
    const long dwell = parseInteger(o.dwell, "--dwell");
    if (dwell < 0 || dwell > kMaxDwellMs)
        throw BadInput("--dwell: " + quotedText(o.dwell) + " is outside 0.." +
                       std::to_string(kMaxDwellMs) + " ms");
    // A bad file or correction is refused before the board is touched.
    correctionInUse(o.correction, 0);
    if (!o.file.empty()) loadConfigOrThrow(o.file);
    // The configuration as the sweep starts from it, made in a core of its own first: a
    // status that cannot be read is refused before the board is touched.
    auto load = [&](Session& core) {
        loadStartImage(core, o.file, o.defaults);
        if (auto blocked = prepareSweep(core, o.lockTime)) throw BadInput("sweep: " + *blocked);
    };
    load(*planningSession()->core);

    std::vector<NamedFile> inputs;
    if (!o.file.empty()) inputs.push_back({"the configuration file", o.file});
    if (!o.list.empty()) inputs.push_back({"the list", o.list});
    auto s = openSession(ctx, o.board, inputs, o.json);
    Session& core = *s->core;
    load(core);
    // The settings' correction came with the session; --ppm overrides it.
    const CorrectionInUse correction = correctionInUse(o.correction, core.crystalCorrection().ppm);
    core.setCrystalCorrection(correction.correction);
    // The corrected frequencies follow each point's columns while a correction is in use.
    auto correctedColumns = [&](const SweepPoint& p, nlohmann::json* j) -> std::string {
        if (!correction.shown()) return {};
        const std::optional<CorrectedFrequencies> real =
            p.refusal ? std::nullopt : std::optional(core.correctedFrequencies());
        if (j != nullptr && real) (*j)["corrected"] = correctedJson(correction, *real);
        return "," + csvLine(correctionCells(correction, real ? &*real : nullptr));
    };
    // The trace the options ask for covers the points, as it covers a write's cycle.
    s->resetCounts();

    const bool json = o.json || ctx.jsonLines();
    if (!json)
        std::printf("%s%s\n", sweepCsvHeader(o.lockTime).c_str(),
                    correction.shown() ? ("," + correctionCsvHeader()).c_str() : "");
    bool warned = false;
    std::vector<SweepPoint> measured;
    for (double f : points) {
        const SweepPoint& p =
            measured.emplace_back(sweepPoint(core, f, uint32_t(dwell), o.lockTime));
        if (json) {
            nlohmann::json j = sweepPointJson(p);
            correctedColumns(p, &j);
            std::printf("%s\n", jsonLine(j).c_str());
        } else {
            std::printf("%s\n", validUtf8(sweepCsvLine(p) + correctedColumns(p, nullptr)).c_str());
        }
        // Each point as it comes: a pipe or a terminal shows the sweep's progress. A reader
        // that went away ends the sweep before the next point is written to the board.
        flushOutput();
        if (p.refusal)
            std::cerr << "zvk40310ctl: " << formatFrequency(f) << " MHz: " << *p.refusal << "\n";
        if (p.status && p.status->suspect && !warned) {
            std::cerr << "zvk40310ctl: " << *p.status->suspect << "\n";
            warned = true;
        }
    }
    finishLinesTrace(*s, json);
    if (!o.svg.empty())
        writeOut(o.svg, drawSweepPlot(measured, points, uint32_t(dwell)).svg, "--svg");
}

}  // namespace

void finishLinesTrace(CtlSession& s, bool json) {
    nlohmann::json j;
    s.finishTrace(j);
    // JSON Lines: the trace is the last line, an object of its own.
    if (json && j.contains("trace")) {
        std::printf("%s\n", jsonLine(j).c_str());
        std::fflush(stdout);
    }
}

void addSweepCommand(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<SweepOptions>();
    CLI::App* c = app.add_subcommand(
        "sweep", "plan, write and read the status at each frequency: one line per point");
    c->add_option("file", o->file, "a register configuration file (.cfg)");
    c->add_flag("--defaults", o->defaults, "the values a configuration file starts from");
    c->add_option("--from", o->from, "the first frequency in MHz");
    c->add_option("--to", o->to, "the last frequency in MHz");
    c->add_option("--step", o->step, "the step in MHz");
    c->add_option("--list", o->list, "a file with one frequency in MHz per line (first column)");
    c->add_option("--dwell", o->dwell, "milliseconds between the write and the status read")
        ->capture_default_str();
    addBoardOptions(c, o->board);
    c->add_option("--svg", o->svg,
                  "also draw the points as an SVG plot into this file (- for standard output), "
                  "as the window's Sweep draws them");
    c->add_flag("--lock-time", o->lockTime,
                "MFO at LD out and each point's lock time instead of its status word");
    c->add_flag("--json", o->json, "JSON Lines instead of CSV");
    addCorrectionOptions(c, o->correction, false);
    c->callback([o, &ctx] { runSweep(ctx, *o); });
}

}  // namespace zvk::cli
