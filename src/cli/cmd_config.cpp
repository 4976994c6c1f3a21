// SPDX-License-Identifier: MIT
// show, export, import and set: register configuration files.
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/Text.h"
#include "base/Version.h"
#include "chip/FieldMap.h"
#include "cli/Cli.h"
#include "cli/Correction.h"
#include "cli/Json.h"
#include "plan/FrequencyPlan.h"
#include "storage/ConfigFile.h"
#include "storage/FileText.h"
#include "storage/RegisterMap.h"
#include "storage/Settings.h"

namespace zvk::cli {

namespace {

struct ConfigOptions {
    std::string file;
    std::string format;
    bool json = false;
    CorrectionOptions correction;  // show
};

// Where a field lives, for a person: "R0 1..0", N spans two registers.
std::string fieldPlace(const Field& f) {
    auto range = [](int reg, int hi, int lo) {
        std::string t = "R" + std::to_string(reg) + " " + std::to_string(hi);
        if (hi != lo) t += ".." + std::to_string(lo);
        return t;
    };
    auto part = [&](const FieldPart& p) { return range(p.reg, p.lowBit + p.width - 1, p.lowBit); };
    if (f.high.width > 0) return part(f.high) + " + " + part(f.low());
    return part(f.low());
}

// A file's name in a line for a person: valid UTF-8 as the JSON output has it, and no
// character that breaks the line.
std::string shownName(const std::string& text) {
    std::string out;
    for (unsigned char ch : validUtf8(text)) out += (ch < 0x20 || ch == 0x7F) ? '?' : char(ch);
    return out;
}

// A value refused by the core's register map is bad input.
template <class F>
auto checked(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const BadConfigValue& e) {
        throw BadInput(e.what());
    }
}

void runShow(CommandContext& ctx, const ConfigOptions& o) {
    const CorrectionInUse correction =
        correctionInUse(o.correction, storedCorrection(ctx, o.correction));
    const Config c = loadConfigOrThrow(o.file);
    auto session = planningSession();
    Session& core = *session->core;
    core.setCrystalCorrection(correction.correction);
    if (auto error = core.loadConfiguration(o.file)) throw BadInput(*error);
    const std::optional<std::string>& refusal = session->observer.refusal;
    // The counters as the planning step left them; the display after the plan shows
    // every frequency from the planned dividers, as the plan command shows it.
    const FrequencyState planned = core.frequencies();
    const RegisterImage plannedRegs = core.regs();
    const std::string frfText = core.edits().frf;
    core.recomputeFrequencies();
    const TuningInfo t = ShowTuningInfo(core.frequencies());
    const CorrectedFrequencies corrected = core.correctedFrequencies();

    nlohmann::json j;
    j["file"] = o.file;
    j["registers"] = registersJson(c.regs);
    j["fields"] = fieldsJson(c.regs);
    j["mode"] = c.spisel ? "SPI" : "ABC";
    j["SPISEL"] = c.spisel ? 1 : 0;
    j["fRF_file"] = formatFrequency(c.frf);
    j["fXTAL"] = formatFrequency(c.fxtal);
    j["PLLMUX"] = c.pllmux;
    j["INJLO1"] = c.injlo1;
    j["fRF_planned"] = frfText;
    if (refusal) {
        j["plan_refused"] = *refusal;
    } else {
        addTuningJson(j, planned, t);
        j["planned_registers"] = registersJson(plannedRegs);
        j["corrected"] = correctedJson(correction, corrected);
    }

    printResult(ctx, o.json, j, [&] {
        std::printf("file        %s\n", shownName(o.file).c_str());
        std::printf("mode        %s (SPISEL %d)\n", c.spisel ? "SPI" : "ABC", c.spisel ? 1 : 0);
        std::printf("fRF         %s MHz\n", formatFrequency(c.frf).c_str());
        std::printf("fXTAL       %s MHz\n", formatFrequency(c.fxtal).c_str());
        std::printf("PLLMUX      %d\n", int(c.pllmux));
        std::printf("INJLO1      %d\n", int(c.injlo1));
        std::printf("registers  %s\n\n", registersLine(c.regs).c_str());
        for (const Field& f : kFieldMap)
            std::printf("%-9s %-19s %u\n", f.name, fieldPlace(f).c_str(), fieldValue(c.regs, f));
        std::printf("\nplan for %s MHz\n", frfText.c_str());
        if (refusal) {
            std::printf("refused     %s\n", refusal->c_str());
            return;
        }
        printCounters(t, planned, 11);
        printTuningRows(t, 11);
        std::printf("registers  %s\n", registersLine(plannedRegs).c_str());
        printCorrection(correction, core.frequencies(), t, corrected);
    });
    if (!refusal) reportUnfitN(ctx, core);
}

void runExport(const CommandContext& ctx, const ConfigOptions& o) {
    if (o.format != "json" && ctx.jsonLines())
        throw BadInput("--format " + o.format +
                       ": prints no JSON, and with run --json standard output carries JSON only");
    const Config c = loadConfigOrThrow(o.file);
    if (o.format == "json") {
        printResult(ctx, true, registerMapJson(c), {});
    } else if (o.format == "c") {
        const std::string writer = std::string("zvk40310ctl ") + kProgramVersion;
        std::fputs(registerHeader(c.regs, validUtf8(o.file), writer).c_str(), stdout);
    } else {
        std::fputs(registerMapCsv(c).c_str(), stdout);
    }
}

// ---- import: what export writes, back into a configuration file

struct ImportOptions {
    std::string file, output;
    bool json = false;
};

void runImport(CommandContext& ctx, const ImportOptions& o) {
    // Saved as the window saves: the extension becomes ".cfg".
    const std::string output = configSaveName(o.output);
    const bool json =
        o.file.size() >= 5 && ::strcasecmp(o.file.c_str() + o.file.size() - 5, ".json") == 0;
    const bool csv =
        o.file.size() >= 4 && ::strcasecmp(o.file.c_str() + o.file.size() - 4, ".csv") == 0;
    if (!json && !csv)
        throw BadInput(quotedPath(o.file) + ": a register map is a .json or .csv file");
    checkFiles(ctx, {{"-o", output}}, {{"the register map", o.file}}, o.json);
    std::string error;
    const auto text = readFileText(o.file, &error);
    if (!text) throw BadInput("Cannot read " + quotedPath(o.file) + ": " + error);
    const Config c = checked([&] {
        return json ? registerMapFromJson(o.file, *text) : registerMapFromCsv(o.file, *text);
    });
    const SaveLock lock(output);
    if (lock.refusal())
        throw BadInput("Cannot write the configuration file " + quotedPath(output) + ": " +
                       *lock.refusal());
    if (auto saveError = saveConfig(output, c, titleText())) throw BadInput(*saveError);
    ctx.savedNote = "the file " + quotedPath(output) + " was saved";
    printResult(ctx, o.json, {{"file", output}, {"registers", registersJson(c.regs)}},
                [&] { std::printf("wrote %s\n", escapedText(validUtf8(output)).c_str()); });
}

struct SetOptions {
    std::string file;
    std::vector<std::string> assignments;
    bool json = false;
};

bool sameName(const std::string& a, const char* b) {
    return ::strcasecmp(a.c_str(), b) == 0;
}

void runSet(CommandContext& ctx, const SetOptions& o) {
    // From the read to the save, no other program's change can fall between.
    const SaveLock lock(o.file);
    if (lock.refusal())
        throw BadInput("Cannot write the configuration file " + quotedPath(o.file) + ": " +
                       *lock.refusal());
    Config c = loadConfigOrThrow(o.file);
    nlohmann::json changes = nlohmann::json::array();
    // Every assignment is checked before the file is touched.
    for (const std::string& a : o.assignments) {
        const ConfigChange change = checked([&] { return assignConfigValue(c, a); });
        // A value given as it stood is no change.
        if (change.before != change.after)
            changes.push_back(
                {{"name", change.name}, {"before", change.before}, {"after", change.after}});
    }
    if (auto error = saveConfig(o.file, c, titleText())) throw BadInput(*error);
    ctx.savedNote = "the file " + quotedPath(o.file) + " was saved";
    nlohmann::json j;
    j["file"] = o.file;
    j["changes"] = changes;
    j["registers"] = registersJson(c.regs);
    printResult(ctx, o.json, j, [&] {
        for (const auto& ch : changes)
            std::printf("%s %s -> %s\n", ch["name"].get<std::string>().c_str(),
                        ch["before"].get<std::string>().c_str(),
                        ch["after"].get<std::string>().c_str());
    });
}

// ---- new: a configuration file from the shell

struct NewOptions {
    std::string file;
    bool defaults = false;
    std::string settings;
    std::vector<std::string> assignments;
    bool json = false;
};

// What the window's default settings leave: the default image, SPI mode, 384 MHz, a
// 10 MHz crystal and LO1 above the signal.
Config defaultSettingsConfig() {
    Config c;
    c.regs = kDefaultImage;
    c.spisel = true;
    c.frf = Session::kDefaultFrf;
    c.fxtal = Session::kDefaultFxtal;
    c.injlo1 = 1;
    c.pllmux = 0;
    return c;
}

// What the window would save now: the state its settings file keeps; without the file,
// the window starts with its default settings.
Config windowConfig(const std::string& settingsPath) {
    bool existed = false;
    const Settings st = readSettings(settingsPath, &existed);
    return existed ? settingsConfig(st) : defaultSettingsConfig();
}

bool namesDividers(const std::string& assignment) {
    const std::string name = assignment.substr(0, assignment.find('='));
    for (const char* divider : {"N", "A", "R2", "R3"})
        if (sameName(name, divider)) return true;
    return false;
}

void runNew(const CommandContext& ctx, const NewOptions& o) {
    // Saved as the window saves: the name with ".cfg".
    const std::string path = configSaveName(o.file);
    Config c = o.defaults ? defaultSettingsConfig()
                          : windowConfig(o.settings.empty() ? programSettingsPath() : o.settings);
    bool dividersGiven = false;
    for (const std::string& a : o.assignments) {
        checked([&] { return assignConfigValue(c, a); });
        dividersGiven = dividersGiven || namesDividers(a);
    }
    struct stat st {};
    // Nothing stored is replaced: set changes a file that is there.
    if (::lstat(path.c_str(), &st) == 0)
        throw BadInput("\"" + path + "\" already exists (set changes a configuration file)");
    std::optional<FrequencyState> planned;
    if (!dividersGiven) {
        // The file holds the counters the window plans when it loads it (in ABC mode, for
        // the preset's frequency): load it into a core and take what the plan left.
        auto session = planningSession();
        Session& core = *session->core;
        core.applyLoadedConfiguration(c);
        if (session->observer.refusal) throw BadInput("fRF: " + *session->observer.refusal);
        c = core.currentConfig();
        planned = core.frequencies();
    }
    if (auto error = saveConfig(path, c, titleText())) throw BadInput(*error);
    nlohmann::json j;
    j["file"] = path;
    j["registers"] = registersJson(c.regs);
    j["mode"] = c.spisel ? "SPI" : "ABC";
    j["fRF"] = formatFrequency(c.frf);
    j["planned"] = planned.has_value();
    if (planned) {
        j["N"] = planned->N;
        j["A"] = planned->A;
    }
    printResult(ctx, o.json, j, [&] {
        std::printf("file       %s\n", shownName(path).c_str());
        std::printf("mode       %s\n", c.spisel ? "SPI" : "ABC");
        std::printf("fRF        %s MHz", formatFrequency(c.frf).c_str());
        if (planned)
            std::printf(" (N %u, A %u planned)", unsigned(planned->N), unsigned(planned->A));
        std::printf("\nregisters %s\n", registersLine(c.regs).c_str());
    });
}

}  // namespace

void addConfigCommands(CLI::App& app, CommandContext& ctx) {
    auto so = std::make_shared<ConfigOptions>();
    CLI::App* show = app.add_subcommand(
        "show", "load a configuration file: registers, fields, mode, frequencies and the plan");
    show->add_option("file", so->file, "a register configuration file (.cfg)")->required();
    show->add_flag("--json", so->json, "one JSON object on standard output");
    addCorrectionOptions(show, so->correction, true);
    show->callback([so, &ctx] { runShow(ctx, *so); });

    auto eo = std::make_shared<ConfigOptions>();
    CLI::App* ex = app.add_subcommand(
        "export", "the register image of a configuration file as JSON, a C header or CSV");
    ex->add_option("file", eo->file, "a register configuration file (.cfg)")->required();
    addChoice(ex, "--format", eo->format, {"json", "c", "csv"}, "what to write")->required();
    ex->callback([eo, &ctx] { runExport(ctx, *eo); });

    auto io = std::make_shared<ImportOptions>();
    CLI::App* im = app.add_subcommand(
        "import", "a register map that export wrote (.json or .csv) into a configuration file");
    im->add_option("map", io->file, "the register map (.json or .csv)")->required();
    im->add_option("-o,--output", io->output,
                   "the configuration file to write; its extension becomes .cfg, as the "
                   "window saves")
        ->required();
    im->add_flag("--json", io->json, "one JSON object on standard output");
    im->callback([io, &ctx] { runImport(ctx, *io); });

    auto st = std::make_shared<SetOptions>();
    CLI::App* set = app.add_subcommand(
        "set", "change fields, registers or items of a configuration file and save it");
    set->add_option("file", st->file, "a register configuration file (.cfg)")->required();
    set->add_option("assignments", st->assignments,
                    "NAME=VALUE: a field (OPMODE=1, N=120), a register (R3=0x100) or an item "
                    "(fRF=433.92, SPISEL=0, PLLMUX=2, fXtal=10, INJLO1=1)")
        ->required();
    set->add_flag("--json", st->json, "one JSON object on standard output");
    set->callback([st, &ctx] { runSet(ctx, *st); });

    auto no = std::make_shared<NewOptions>();
    CLI::App* created = app.add_subcommand(
        "new", "write a new configuration file from the window's state or the default settings");
    created->add_option("file", no->file, "the configuration file to make (.cfg)")->required();
    created->add_flag("--defaults", no->defaults,
                      "start from the window's default settings instead of its settings file");
    created->add_option("--settings", no->settings,
                        "the settings file whose state the file starts from (default: " +
                            programSettingsPath() + ", the window's)");
    created->add_option("assignments", no->assignments,
                        "NAME=VALUE as for set: a field, a register or an item");
    created->add_flag("--json", no->json, "one JSON object on standard output");
    created->callback([no, &ctx] { runNew(ctx, *no); });
}

}  // namespace zvk::cli
