// SPDX-License-Identifier: MIT
#pragma once
// The crystal correction as the planning commands take it (--ppm, --plan-corrected, the
// settings file's figure) and show it beside the nominal plan.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "plan/CrystalCorrection.h"

namespace zvk::cli {

struct CorrectionOptions {
    std::string ppm;  // --ppm: overrides the settings file's figure
    bool planCorrected = false;
    std::string settings;  // --settings of a command that opens no board
};
// --ppm and --plan-corrected; withSettings: also --settings, for a command without the
// board options.
void addCorrectionOptions(CLI::App* command, CorrectionOptions& o, bool withSettings);

// The correction a command plans with, and where it came from: "option" (--ppm),
// "settings" (the settings file's CrystalPpm, when not 0) or "none".
struct CorrectionInUse {
    CrystalCorrection correction;
    std::string source = "none";
    // Whether anything is to be shown beside the nominal values.
    bool shown() const { return source != "none"; }
};
// --ppm when given (refused as bad input when no usable figure), else stored (the
// settings' figure as the session took it, 0 for none).
CorrectionInUse correctionInUse(const CorrectionOptions& o, double stored);
// The settings' figure for a command that opens no board: the file --settings names, else
// the script's, else the program's own; an unreadable file is bad input, a figure no
// crystal is off by counts as none (as the session takes it).
double storedCorrection(const CommandContext& ctx, const CorrectionOptions& o);

// "+20 ppm from --ppm; N and A planned on the nominal crystal".
std::string correctionSummary(const CorrectionInUse& u);
// The "corrected" object: ppm, source, planned_on and the corrected frequencies in MHz as
// numbers (fXTAL, fRF, fCH, fIF1, fIF2, fLO1, fLO2, fPFD, fIFF), and rf_offset_hz.
nlohmann::json correctedJson(const CorrectionInUse& u, const CorrectedFrequencies& c);
// For a person: the summary line and, when a correction is in use, the nominal and the
// corrected frequencies side by side.
void printCorrection(const CorrectionInUse& u, const FrequencyState& s, const TuningInfo& nominal,
                     const CorrectedFrequencies& c);

// A sweep's extra CSV columns while a correction is in use.
std::string correctionCsvHeader();
std::vector<std::string> correctionCells(const CorrectionInUse& u, const CorrectedFrequencies* c);

}  // namespace zvk::cli
