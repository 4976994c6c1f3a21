// SPDX-License-Identifier: MIT
// show, export and set: register configuration files.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <strings.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "chip/FieldMap.h"
#include "cli/Cli.h"
#include "plan/FrequencyPlan.h"
#include "storage/ConfigFile.h"

namespace zvk::cli {

namespace {

struct ConfigOptions {
    std::string file;
    std::string format;
    bool json = false;
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

nlohmann::json fieldsJson(const RegisterImage& regs) {
    nlohmann::json fields = nlohmann::json::object();
    for (const Field& f : kFieldMap) fields[f.name] = fieldValue(regs, f);
    return fields;
}

// Names and comments in generated text must not break out of their line.
std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char ch : text) out += (ch < 0x20 || ch == 0x7F) ? '?' : char(ch);
    return out;
}

void runShow(const ConfigOptions& o) {
    const Config c = loadConfigOrThrow(o.file);
    auto session = planningSession();
    Session& core = *session->core;
    if (auto error = core.loadConfiguration(o.file)) throw BadInput(*error);
    const std::optional<std::string>& refusal = session->observer.refusal;
    // The counters as the planning step left them; the display after the plan shows
    // every frequency from the planned dividers, as the plan command shows it.
    const FrequencyState planned = core.frequencies();
    const RegisterImage plannedRegs = core.chip().regs;
    const std::string frfText = core.edits().frf;
    core.recomputeFrequencies();
    const TuningInfo t = ShowTuningInfo(core.frequencies());

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
    }

    emit(o.json, j, [&] {
        std::printf("file        %s\n", printable(o.file).c_str());
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
    });
    if (!refusal) reportUnfitN(core);
}

void exportC(const std::string& file, const RegisterImage& regs) {
    std::printf("// ZVK40310 register image from %s\n", printable(file).c_str());
    std::printf("#ifndef ZVK40310_REGISTERS_H\n#define ZVK40310_REGISTERS_H\n\n");
    for (size_t i = 0; i < regs.size(); ++i)
        std::printf("#define ZVK40310_R%zu %s\n", i, registerText(regs[i]).c_str());
    std::printf("\n");
    for (const Field& f : kFieldMap)
        std::printf("#define ZVK40310_%s %u\n", f.name, fieldValue(regs, f));
    std::printf("\n#endif\n");
}

void exportCsv(const RegisterImage& regs) {
    std::printf("kind,name,register,low_bit,width,value\n");
    for (size_t i = 0; i < regs.size(); ++i)
        std::printf("register,R%zu,%zu,0,12,%s\n", i, i, registerText(regs[i]).c_str());
    for (const Field& f : kFieldMap)
        std::printf("field,%s,%d,%d,%d,%u\n", f.name, f.reg, f.lowBit, f.width,
                    fieldValue(regs, f));
}

void runExport(const ConfigOptions& o) {
    const Config c = loadConfigOrThrow(o.file);
    if (o.format == "json") {
        nlohmann::json j;
        j["registers"] = registersJson(c.regs);
        j["fields"] = fieldsJson(c.regs);
        emit(true, j, {});
    } else if (o.format == "c") {
        exportC(o.file, c.regs);
    } else {
        exportCsv(c.regs);
    }
}

struct SetOptions {
    std::string file;
    std::vector<std::string> assignments;
    bool json = false;
};

bool sameName(const std::string& a, const char* b) {
    return ::strcasecmp(a.c_str(), b) == 0;
}

long integerWithin(const std::string& name, const std::string& text, long min, long max) {
    const long v = parseInteger(text, name);
    if (v < min || v > max)
        throw BadInput(name + ": \"" + text + "\" is outside " + std::to_string(min) + ".." +
                       std::to_string(max));
    return v;
}

// One NAME=VALUE into the configuration; what it was and what it is now, as text.
std::pair<std::string, std::string> assign(Config& c, const std::string& assignment) {
    const auto eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0)
        throw BadInput("\"" + assignment + "\" is not NAME=VALUE");
    const std::string name = assignment.substr(0, eq), text = assignment.substr(eq + 1);
    auto frequency = [&](double& value, double min) {
        const std::string before = formatFrequency(value);
        const double v = parseNumber(text, name);
        if (!std::isfinite(v) || v < min)
            throw BadInput(name + ": \"" + text + "\" is not a frequency of at least " +
                           formatFrequency(min) + " MHz");
        value = v;
        return std::pair{before, formatFrequency(v)};
    };
    if (sameName(name, "fRF")) return frequency(c.frf, 0.0);
    if (sameName(name, "fXtal")) return frequency(c.fxtal, 1.0);
    auto small = [&](auto& value, long min, long max) {
        const std::string before = std::to_string(long(value));
        value = decltype(value + 0)(integerWithin(name, text, min, max));
        return std::pair{before, std::to_string(long(value))};
    };
    if (sameName(name, "SPISEL")) {
        const std::string before = c.spisel ? "1" : "0";
        c.spisel = integerWithin(name, text, 0, 1) == 1;
        return {before, c.spisel ? "1" : "0"};
    }
    if (sameName(name, "PLLMUX")) return small(c.pllmux, INT16_MIN, INT16_MAX);
    if (sameName(name, "INJLO1")) return small(c.injlo1, INT16_MIN, INT16_MAX);
    if (name.size() == 2 && (name[0] == 'R' || name[0] == 'r') && name[1] >= '0' && name[1] <= '7') {
        uint16_t& r = c.regs[size_t(name[1] - '0')];
        const std::string before = registerText(r);
        r = uint16_t(integerWithin(name, text, 0, 0xFFF));
        return {before, registerText(r)};
    }
    for (const Field& f : kFieldMap) {
        if (!sameName(name, f.name)) continue;
        if (f.encoding == Encoding::Status)
            throw BadInput(name + ": a bit of the status register, which the chip sets itself");
        const uint32_t before = fieldValue(c.regs, f);
        const long v = integerWithin(name, text, 0, (1L << f.width) - 1);
        setFieldValue(c.regs, f, uint32_t(v));
        return {std::to_string(before), std::to_string(v)};
    }
    throw BadInput(name + ": no field, register (R0..R7) or item (fRF, SPISEL, PLLMUX, fXtal, "
                          "INJLO1) of a configuration file has this name");
}

void runSet(const SetOptions& o) {
    Config c = loadConfigOrThrow(o.file);
    nlohmann::json changes = nlohmann::json::array();
    // Every assignment is checked before the file is touched.
    for (const std::string& a : o.assignments) {
        const auto [before, after] = assign(c, a);
        changes.push_back({{"name", a.substr(0, a.find('='))}, {"before", before}, {"after", after}});
    }
    if (auto error = saveConfig(o.file, c, titleText())) throw BadInput(*error);
    nlohmann::json j;
    j["file"] = o.file;
    j["changes"] = changes;
    j["registers"] = registersJson(c.regs);
    emit(o.json, j, [&] {
        for (const auto& ch : changes)
            std::printf("%s %s -> %s\n", ch["name"].get<std::string>().c_str(),
                        ch["before"].get<std::string>().c_str(), ch["after"].get<std::string>().c_str());
    });
}

}  // namespace

void addConfigCommands(CLI::App& app) {
    auto so = std::make_shared<ConfigOptions>();
    CLI::App* show = app.add_subcommand(
        "show", "load a configuration file: registers, fields, mode, frequencies and the plan");
    show->add_option("file", so->file, "a register configuration file (.cfg)")->required();
    show->add_flag("--json", so->json, "one JSON object on standard output");
    show->callback([so] { runShow(*so); });

    auto eo = std::make_shared<ConfigOptions>();
    CLI::App* ex = app.add_subcommand(
        "export", "the register image of a configuration file as JSON, a C header or CSV");
    ex->add_option("file", eo->file, "a register configuration file (.cfg)")->required();
    addChoice(ex, "--format", eo->format, {"json", "c", "csv"}, "what to write")->required();
    ex->callback([eo] { runExport(*eo); });

    auto st = std::make_shared<SetOptions>();
    CLI::App* set = app.add_subcommand(
        "set", "change fields, registers or items of a configuration file and save it");
    set->add_option("file", st->file, "a register configuration file (.cfg)")->required();
    set->add_option("assignments", st->assignments,
                    "NAME=VALUE: a field (OPMODE=1, N=120), a register (R3=0x100) or an item "
                    "(fRF=433.92, SPISEL=0, PLLMUX=2, fXtal=10, INJLO1=1)")
        ->required();
    set->add_flag("--json", st->json, "one JSON object on standard output");
    set->callback([st] { runSet(*st); });
}

}  // namespace zvk::cli
