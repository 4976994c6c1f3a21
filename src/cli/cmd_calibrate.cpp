// SPDX-License-Identifier: MIT
// calibrate: the crystal correction from a measurement, stored in the settings file.
#include <cstdio>
#include <memory>
#include <string>

#include "base/Numbers.h"
#include "base/Text.h"
#include "cli/Cli.h"
#include "cli/Correction.h"
#include "cli/Json.h"
#include "plan/CrystalCorrection.h"
#include "storage/Settings.h"

namespace zvk::cli {

namespace {

struct CalibrateOptions {
    std::string file;
    bool defaults = false;
    std::string lo1Measured;
    std::string rfOffset;
    std::string settings;
    bool dryRun = false;
    bool json = false;
};

void runCalibrate(CommandContext& ctx, const CalibrateOptions& o) {
    if (o.defaults == !o.file.empty())
        throw BadInput("calibrate: give either a FILE.cfg or --defaults");
    if (o.lo1Measured.empty() == o.rfOffset.empty())
        throw BadInput("calibrate: give either --lo1-measured or --rf-offset");
    const bool fromLo1 = !o.lo1Measured.empty();
    std::string path = o.settings;
    if (path.empty() && ctx.script != nullptr) path = settingsPathOf(ctx.script->board);
    if (path.empty()) path = programSettingsPath();
    std::string unreadable;
    const Settings before = readSettings(path, nullptr, &unreadable);
    if (!unreadable.empty()) throw BadInput(unreadable);
    if (!o.file.empty()) loadConfigOrThrow(o.file);

    // The nominal plan the measurement is held against: the file as loading plans it (as
    // show shows it), or the default settings' plan; never a corrected one, so the figure
    // is the crystal's whole error whatever was stored before.
    auto session = planningSession();
    Session& core = *session->core;
    if (o.defaults) {
        core.planFrequencies(kDefaultImage, Session::kDefaultFxtal, Session::kDefaultFrf, 1);
    } else if (auto error = core.loadConfiguration(o.file)) {
        throw BadInput(*error);
    } else {
        core.recomputeFrequencies();
    }
    if (const auto& refusal = session->observer.refusal) throw BadInput("calibrate: " + *refusal);
    const FrequencyState& s = core.frequencies();
    const CorrectedFrequencies nominal = correctedFrequencies(s, 0);
    double ppm = 0;
    if (auto refusal = crystalPpmFromMeasurement(
            s, fromLo1 ? CrystalMeasurement::Lo1 : CrystalMeasurement::RfOffset,
            fromLo1 ? o.lo1Measured : o.rfOffset, fromLo1 ? "--lo1-measured" : "--rf-offset", ppm))
        throw BadInput(*refusal);
    if (!o.dryRun) {
        if (auto error = writeCrystalPpm(path, ppm)) throw BadInput(*error);
        ctx.savedNote = "the crystal correction was stored in " + quotedPath(path);
    }
    const CorrectedFrequencies real = correctedFrequencies(s, ppm);

    nlohmann::json j;
    j["ppm"] = ppm;
    j["previous_ppm"] = before.crystalPpm ? nlohmann::json(*before.crystalPpm) : nlohmann::json();
    j["from"] = fromLo1 ? "lo1_measured" : "rf_offset";
    j["Ntot"] = s.Ntot;
    j["N"] = s.N;
    j["A"] = s.A;
    j["fLO1_nominal"] = nominal.fLO1;
    j["fLO1_measured"] = real.fLO1;
    j["fRF_nominal"] = nominal.fRF;
    j["rf_offset_hz"] = real.rfOffsetHz;
    j["settings"] = path;
    j["stored"] = !o.dryRun;
    printResult(ctx, o.json, j, [&] {
        std::printf("nominal     f RF %s MHz, f LO1 %s MHz (Ntot %d, N %u, A %u)\n",
                    fixedText(nominal.fRF, 6).c_str(), fixedText(nominal.fLO1, 6).c_str(),
                    int(s.Ntot), unsigned(s.N), unsigned(s.A));
        std::printf("measured    f LO1 %s MHz, f RF offset %+.1f Hz\n",
                    fixedText(real.fLO1, 6).c_str(), real.rfOffsetHz);
        std::printf(
            "correction  %s%.3f ppm (before: %s)\n", ppm > 0 ? "+" : "", ppm,
            before.crystalPpm ? (fixedText(*before.crystalPpm, 3) + " ppm").c_str() : "none");
        std::printf("%s %s\n", o.dryRun ? "not stored " : "stored in  ", validUtf8(path).c_str());
    });
}

}  // namespace

void addCalibrateCommand(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<CalibrateOptions>();
    CLI::App* c = app.add_subcommand(
        "calibrate",
        "the crystal correction in ppm from a measured LO1 or a known signal's RF offset, "
        "stored in the settings file");
    c->add_option("file", o->file, "the register configuration file (.cfg) the board runs");
    c->add_flag("--defaults", o->defaults, "the default settings' plan (384 MHz)");
    c->add_option("--lo1-measured", o->lo1Measured,
                  "LO1 as measured (counter, spectrum analyser) in MHz")
        ->option_text("MHZ");
    c->add_option("--rf-offset", o->rfOffset,
                  "how far the frequency really received lies above the nominal f RF, in Hz "
                  "(from a known signal)")
        ->option_text("HZ");
    c->add_option("--settings", o->settings,
                  "the settings file to store the correction in (default: the window's own)")
        ->option_text("FILE");
    c->add_flag("--dry-run", o->dryRun, "show the correction, store nothing");
    c->add_flag("--json", o->json, "one JSON object on standard output");
    c->callback([o, &ctx] { runCalibrate(ctx, *o); });
}

}  // namespace zvk::cli
