// SPDX-License-Identifier: MIT
#include "cli/Correction.h"

#include <cstdio>

#include "base/Numbers.h"
#include "base/Text.h"
#include "storage/Settings.h"

namespace zvk::cli {

namespace {

const char* plannedOn(const CorrectionInUse& u) {
    return plannedOnText(u.correction.planOnCorrectedCrystal);
}

}  // namespace

void addCorrectionOptions(CLI::App* command, CorrectionOptions& o, bool withSettings) {
    command
        ->add_option("--ppm", o.ppm,
                     "the crystal's error in ppm, positive when it runs fast (default: the "
                     "settings file's CrystalPpm, else none)")
        ->option_text("PPM");
    command->add_flag("--plan-corrected", o.planCorrected,
                      "plan N and A on the corrected crystal (otherwise on the nominal one)");
    if (withSettings)
        command
            ->add_option("--settings", o.settings,
                         "the settings file whose crystal correction applies (default: the "
                         "window's own)")
            ->option_text("FILE");
}

CorrectionInUse correctionInUse(const CorrectionOptions& o, double stored) {
    CorrectionInUse u;
    u.correction.planOnCorrectedCrystal = o.planCorrected;
    if (!o.ppm.empty()) {
        if (auto refusal = parseCrystalPpm(o.ppm, "--ppm", u.correction.ppm))
            throw BadInput(*refusal);
        u.source = "option";
    } else if (stored != 0) {
        u.correction.ppm = stored;
        u.source = "settings";
    }
    return u;
}

double storedCorrection(const CommandContext& ctx, const CorrectionOptions& o) {
    // Given --ppm, the file is not needed at all.
    if (!o.ppm.empty()) return 0;
    std::string path = o.settings;
    if (path.empty() && ctx.script != nullptr) path = settingsPathOf(ctx.script->board);
    if (path.empty()) path = programSettingsPath();
    std::string unreadable;
    const Settings s = readSettings(path, nullptr, &unreadable);
    if (!unreadable.empty()) throw BadInput(unreadable);
    if (!s.crystalPpm || crystalPpmRefusal(*s.crystalPpm, "CrystalPpm")) return 0;
    return *s.crystalPpm;
}

std::string correctionSummary(const CorrectionInUse& u) {
    std::string t;
    if (u.source == "none")
        t = "none";
    else
        t = crystalPpmText(u.correction.ppm) + " ppm from " +
            (u.source == "option" ? "--ppm" : "the settings file");
    return t + "; N and A planned on the " + plannedOn(u) + " crystal";
}

nlohmann::json correctedJson(const CorrectionInUse& u, const CorrectedFrequencies& c) {
    return {{"ppm", u.correction.ppm},
            {"source", u.source},
            {"planned_on", plannedOn(u)},
            {"fXTAL", c.fXTAL},
            {"fRF", c.fRF},
            {"fCH", c.fCH},
            {"fIF1", c.fIF1},
            {"fIF2", c.fIF2},
            {"fLO1", c.fLO1},
            {"fLO2", c.fLO2},
            {"fPFD", c.fPFD},
            {"fIFF", c.fIFF},
            {"rf_offset_hz", c.rfOffsetHz}};
}

void printCorrection(const CorrectionInUse& u, const FrequencyState& s, const TuningInfo& nominal,
                     const CorrectedFrequencies& c) {
    std::printf("correction %s\n", correctionSummary(u).c_str());
    if (!u.shown()) return;
    struct Row {
        const char* label;
        std::string nominal;
        double corrected;
    };
    // The nominal texts as the tuning info shows them (the crystal as its edit does).
    const Row rows[] = {
        {"f XTAL", formatFrequency(s.fXTAL), c.fXTAL},
        {"f RF", nominal.fRF.text, c.fRF},
        {"f CH", nominal.fCH.text, c.fCH},
        {"f IF1", nominal.fIF1.text, c.fIF1},
        {"f IF2", nominal.fIF2.text, c.fIF2},
        {"f LO1", nominal.fLO1.text, c.fLO1},
        {"f LO2", nominal.fLO2.text, c.fLO2},
        {"f PFD", nominal.fPFD.text, c.fPFD},
        {"f IFF", nominal.IF2CH.text, c.fIFF},
    };
    std::printf("%-7s %-11s %s\n", "", "nominal", "corrected");
    for (const Row& r : rows)
        std::printf("%-7s %-11s %s\n", r.label, r.nominal.c_str(),
                    correctedFrequencyText(r.corrected).c_str());
    std::printf("%-7s %+.1f Hz\n", "offset", c.rfOffsetHz);
}

std::string correctionCsvHeader() {
    return "ppm,planned_on,fRF_corrected,fLO1_corrected,fLO2_corrected,fIF1_corrected,"
           "fIF2_corrected,fPFD_corrected,fIFF_corrected";
}

std::vector<std::string> correctionCells(const CorrectionInUse& u, const CorrectedFrequencies* c) {
    std::vector<std::string> cells{crystalPpmText(u.correction.ppm), plannedOn(u)};
    if (c == nullptr) {
        cells.resize(9);
        return cells;
    }
    for (double v : {c->fRF, c->fLO1, c->fLO2, c->fIF1, c->fIF2, c->fPFD, c->fIFF})
        cells.push_back(correctedFrequencyText(v));
    return cells;
}

}  // namespace zvk::cli
