// SPDX-License-Identifier: MIT
// show, export, import and set: register configuration files.
#include <strings.h>
#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/Text.h"
#include "base/Version.h"
#include "chip/FieldMap.h"
#include "cli/Cli.h"
#include "plan/FrequencyPlan.h"
#include "storage/ConfigFile.h"
#include "storage/FileText.h"
#include "storage/Settings.h"

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
    const RegisterImage plannedRegs = core.chip().regs();
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

    printResult(o.json, j, [&] {
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

// A field's runs of bits, each named as a header or a map names it: the field itself, or
// N's two runs N_LO/N_HI (header) and N[6:0]/N[10:7] (map).
struct FieldRun {
    std::string headerName, mapName;
    FieldPart part;
};
std::vector<FieldRun> fieldRuns(const Field& f) {
    if (f.high.width == 0) return {{f.name, f.name, f.low()}};
    const FieldPart lo = f.low();
    const std::string name = f.name;
    return {
        {name + "_LO", name + "[" + std::to_string(lo.width - 1) + ":0]", lo},
        {name + "_HI",
         name + "[" + std::to_string(f.width - 1) + ":" + std::to_string(lo.width) + "]", f.high}};
}
uint32_t runValue(const RegisterImage& regs, const FieldPart& p) {
    return (regs[size_t(p.reg)] >> p.lowBit) & ((1u << p.width) - 1);
}

// A frequency as the shortest text that reads back as the same number.
std::string exactNumber(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

void exportC(const std::string& file, const RegisterImage& regs) {
    std::printf("// ZVK40310 register image from %s\n", printable(file).c_str());
    std::printf(
        "// Written by zvk40310ctl %s. Every field has its value, and the _SHIFT and _MASK\n"
        "// of its bits in its register; N lies in R2 (N_LO) and R3 (N_HI).\n",
        kProgramVersion);
    std::printf("#ifndef ZVK40310_REGISTERS_H\n#define ZVK40310_REGISTERS_H\n\n");
    for (size_t i = 0; i < regs.size(); ++i)
        std::printf("#define ZVK40310_R%zu %s\n", i, registerText(regs[i]).c_str());
    for (const Field& f : kFieldMap) {
        std::printf("\n#define ZVK40310_%s %u\n", f.name, fieldValue(regs, f));
        for (const FieldRun& run : fieldRuns(f)) {
            const uint32_t mask = ((1u << run.part.width) - 1) << run.part.lowBit;
            std::printf("#define ZVK40310_%s_SHIFT %d\n#define ZVK40310_%s_MASK %s\n",
                        run.headerName.c_str(), run.part.lowBit, run.headerName.c_str(),
                        registerText(mask).c_str());
        }
    }
    std::printf("\n#endif\n");
}

void exportCsv(const Config& c) {
    std::printf("kind,name,register,low_bit,width,value\n");
    for (size_t i = 0; i < c.regs.size(); ++i)
        std::printf("register,R%zu,%zu,0,12,%s\n", i, i, registerText(c.regs[i]).c_str());
    for (const Field& f : kFieldMap)
        for (const FieldRun& run : fieldRuns(f))
            std::printf("field,%s,%d,%d,%d,%u\n", run.mapName.c_str(), run.part.reg,
                        run.part.lowBit, run.part.width, runValue(c.regs, run.part));
    std::printf(
        "item,SPISEL,,,,%d\nitem,fRF,,,,%s\nitem,PLLMUX,,,,%d\nitem,fXtal,,,,%s\n"
        "item,INJLO1,,,,%d\n",
        c.spisel ? 1 : 0, exactNumber(c.frf).c_str(), c.pllmux, exactNumber(c.fxtal).c_str(),
        c.injlo1);
}

void runExport(const ConfigOptions& o) {
    if (o.format != "json" && g_script != nullptr && g_script->jsonLines)
        throw BadInput("--format " + o.format +
                       ": prints no JSON, and with run --json standard output carries JSON only");
    const Config c = loadConfigOrThrow(o.file);
    if (o.format == "json") {
        nlohmann::json j;
        j["registers"] = registersJson(c.regs);
        j["fields"] = fieldsJson(c.regs);
        j["SPISEL"] = c.spisel ? 1 : 0;
        j["fRF"] = c.frf;
        j["PLLMUX"] = c.pllmux;
        j["fXtal"] = c.fxtal;
        j["INJLO1"] = c.injlo1;
        printResult(true, j, {});
    } else if (o.format == "c") {
        exportC(o.file, c.regs);
    } else {
        exportCsv(c);
    }
}

// ---- the values of a configuration file, checked once for set and import alike

// An integer of a configuration file's entry within its range. A sign is read, so that a
// negative number is refused by its range rather than as no number.
long integerWithin(const std::string& name, const std::string& text, long min, long max) {
    const auto v = zvk::parseInteger(text, {.sign = true});
    if (!v) throw BadInput(notAnInteger(name, text));
    if (*v < min || *v > max)
        throw BadInput(name + ": " + quotedText(text) + " is outside " + std::to_string(min) +
                       ".." + std::to_string(max));
    return long(*v);
}

// A register word: the 16 bits a file's word can hold (lab mode's MFO items reach R3's
// bit 12, beyond the 12 data bits).
constexpr long kMaxRegisterWord = 0xFFFF;
uint16_t registerWord(const std::string& name, const std::string& text) {
    return uint16_t(integerWithin(name, text, 0, kMaxRegisterWord));
}

// fRF and fXtal: a finite number from min on, and within single precision, where the plan
// computes (beyond it nothing can be planned).
constexpr double kMaxFrequency = std::numeric_limits<float>::max();
double frequencyItem(const std::string& name, const std::string& text, double min) {
    const double v = parseNumber(text, name);
    if (!std::isfinite(v) || v < min || v > kMaxFrequency)
        throw BadInput(name + ": " + quotedText(text) + " is not a frequency from " +
                       formatFrequency(min) + " MHz up to the plan's single-precision range");
    return v;
}
constexpr double kMinFrf = 0.0;
constexpr double kMinFxtal = 1.0;

// A field's value: within its width, and never a bit of the status register.
uint32_t fieldItem(const Field& f, const std::string& name, const std::string& text) {
    if (f.encoding == Encoding::Status)
        throw BadInput(name + ": a bit of the status register, which the chip sets itself");
    return uint32_t(integerWithin(name, text, 0, (1L << f.width) - 1));
}

// ---- import: what export writes, back into a configuration file

struct ImportOptions {
    std::string file, output;
    bool json = false;
};

[[noreturn]] void badMap(const std::string& file, const std::string& why) {
    throw BadInput(file + ": " + why);
}

// The checks that set makes of a value, naming the map and the entry.
uint16_t registerFrom(const std::string& file, const std::string& name, const std::string& text) {
    return registerWord(file + ": " + name, text);
}

long itemFrom(const std::string& file, const std::string& name, const std::string& text, long min,
              long max) {
    return integerWithin(file + ": " + name, text, min, max);
}

double frequencyFrom(const std::string& file, const std::string& name, const std::string& text,
                     double min) {
    return frequencyItem(file + ": " + name, text, min);
}

// The items by name, from their texts; each must be there once.
void takeItems(const std::string& file, const std::map<std::string, std::string>& items,
               Config& c) {
    for (const char* name : {"SPISEL", "fRF", "PLLMUX", "fXtal", "INJLO1"})
        if (!items.count(name)) badMap(file, std::string("no ") + name);
    c.spisel = itemFrom(file, "SPISEL", items.at("SPISEL"), 0, 1) == 1;
    c.frf = frequencyFrom(file, "fRF", items.at("fRF"), kMinFrf);
    c.pllmux = int16_t(itemFrom(file, "PLLMUX", items.at("PLLMUX"), INT16_MIN, INT16_MAX));
    c.fxtal = frequencyFrom(file, "fXtal", items.at("fXtal"), kMinFxtal);
    c.injlo1 = int16_t(itemFrom(file, "INJLO1", items.at("INJLO1"), INT16_MIN, INT16_MAX));
}

// The fields a map lists must say what its registers say; the status register's as well.
void checkField(const std::string& file, const std::string& name, uint64_t value,
                uint32_t fromRegisters) {
    if (value != fromRegisters)
        badMap(file, "field " + name + " is " + std::to_string(value) + " but the registers give " +
                         std::to_string(fromRegisters));
}

Config importJson(const std::string& file, const std::string& text) {
    const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) badMap(file, "not a JSON object");
    Config c;
    const auto regs = j.find("registers");
    if (regs == j.end() || !regs->is_array() || regs->size() != 8)
        badMap(file, "\"registers\" must list R0..R7");
    for (size_t i = 0; i < 8; ++i) {
        const auto& r = (*regs)[i];
        const std::string name = "R" + std::to_string(i);
        if (r.is_string()) {
            c.regs[i] = registerFrom(file, name, r.get<std::string>());
        } else if (r.is_number_unsigned() && r.get<uint64_t>() <= uint64_t(kMaxRegisterWord)) {
            c.regs[i] = uint16_t(r.get<uint64_t>());
        } else {
            badMap(file, name + " is not a register value 0..0xFFFF");
        }
    }
    if (const auto fields = j.find("fields"); fields != j.end()) {
        if (!fields->is_object())
            badMap(file, "\"fields\" must be an object of field names and values");
        for (const auto& [name, value] : fields->items()) {
            const Field* f = findField(name);
            if (f == nullptr) badMap(file, "no field is named " + quotedText(name));
            if (!value.is_number_unsigned()) badMap(file, "field " + name + " is not a number");
            checkField(file, name, value.get<uint64_t>(), fieldValue(c.regs, *f));
        }
    }
    std::map<std::string, std::string> items;
    for (const char* name : {"SPISEL", "fRF", "PLLMUX", "fXtal", "INJLO1"}) {
        const auto it = j.find(name);
        if (it == j.end()) continue;
        if (!it->is_number()) badMap(file, std::string(name) + " is not a number");
        items[name] = it->is_number_float() ? exactNumber(it->get<double>()) : it->dump();
    }
    takeItems(file, items, c);
    return c;
}

Config importCsv(const std::string& file, const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line != "kind,name,register,low_bit,width,value")
        badMap(file, "the first line is not kind,name,register,low_bit,width,value");
    Config c;
    std::array<bool, 8> seen{};
    std::map<std::string, std::string> items;
    std::vector<std::pair<std::string, std::string>> fields;
    for (int number = 2; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, ',');) cells.push_back(cell);
        if (cells.size() != 6) badMap(file, "line " + std::to_string(number) + " has not 6 cells");
        const std::string& kind = cells[0];
        if (kind == "register" && cells[1].size() == 2 && cells[1][0] == 'R' &&
            cells[1][1] >= '0' && cells[1][1] <= '7') {
            const size_t i = size_t(cells[1][1] - '0');
            c.regs[i] = registerFrom(file, cells[1], cells[5]);
            seen[i] = true;
        } else if (kind == "field") {
            fields.emplace_back(cells[1], cells[5]);
        } else if (kind == "item") {
            items[cells[1]] = cells[5];
        } else {
            badMap(file, "line " + std::to_string(number) + " is no register, field or item");
        }
    }
    for (size_t i = 0; i < 8; ++i)
        if (!seen[i]) badMap(file, "no R" + std::to_string(i));
    for (const auto& [name, value] : fields) {
        bool known = false;
        for (const Field& f : kFieldMap) {
            for (const FieldRun& run : fieldRuns(f)) {
                if (run.mapName != name) continue;
                known = true;
                checkField(file, name,
                           uint64_t(itemFrom(file, name, value, 0, (1L << run.part.width) - 1)),
                           runValue(c.regs, run.part));
            }
        }
        // A field's own name where the map splits it (N), checked whole.
        if (const Field* f = known ? nullptr : findField(name)) {
            known = true;
            checkField(file, name, uint64_t(itemFrom(file, name, value, 0, (1L << f->width) - 1)),
                       fieldValue(c.regs, *f));
        }
        if (!known) badMap(file, "no field is named " + quotedText(name));
    }
    takeItems(file, items, c);
    return c;
}

void runImport(const ImportOptions& o) {
    // Saved as the window saves: the extension becomes ".cfg".
    const std::string output = configSaveName(o.output);
    const bool json =
        o.file.size() >= 5 && ::strcasecmp(o.file.c_str() + o.file.size() - 5, ".json") == 0;
    const bool csv =
        o.file.size() >= 4 && ::strcasecmp(o.file.c_str() + o.file.size() - 4, ".csv") == 0;
    if (!json && !csv)
        throw BadInput(quotedPath(o.file) + ": a register map is a .json or .csv file");
    checkFiles({{"-o", output}}, {{"the register map", o.file}}, o.json);
    std::string error;
    const auto text = readFileText(o.file, &error);
    if (!text) throw BadInput("Cannot read " + quotedPath(o.file) + ": " + error);
    const Config c = json ? importJson(o.file, *text) : importCsv(o.file, *text);
    const SaveLock lock(output);
    if (lock.refusal())
        throw BadInput("Cannot write the configuration file " + quotedPath(output) + ": " +
                       *lock.refusal());
    if (auto saveError = saveConfig(output, c, titleText())) throw BadInput(*saveError);
    g_savedNote = "the file " + quotedPath(output) + " was saved";
    printResult(o.json, {{"file", output}, {"registers", registersJson(c.regs)}},
                [&] { std::printf("wrote %s\n", escapedText(output).c_str()); });
}

struct SetOptions {
    std::string file;
    std::vector<std::string> assignments;
    bool json = false;
};

bool sameName(const std::string& a, const char* b) {
    return ::strcasecmp(a.c_str(), b) == 0;
}

// One NAME=VALUE into the configuration; what it was and what it is now, as text.
std::pair<std::string, std::string> assign(Config& c, const std::string& assignment) {
    const auto eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0)
        throw BadInput(quotedText(assignment) + " is not NAME=VALUE");
    const std::string name = assignment.substr(0, eq), text = assignment.substr(eq + 1);
    auto frequency = [&](double& value, double min) {
        const std::string before = formatFrequency(value);
        value = frequencyItem(name, text, min);
        return std::pair{before, formatFrequency(value)};
    };
    if (sameName(name, "fRF")) return frequency(c.frf, kMinFrf);
    if (sameName(name, "fXtal")) return frequency(c.fxtal, kMinFxtal);
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
    if (name.size() == 2 && (name[0] == 'R' || name[0] == 'r') && name[1] >= '0' &&
        name[1] <= '7') {
        uint16_t& r = c.regs[size_t(name[1] - '0')];
        const std::string before = registerText(r);
        r = registerWord(name, text);
        return {before, registerText(r)};
    }
    for (const Field& f : kFieldMap) {
        if (!sameName(name, f.name)) continue;
        const uint32_t before = fieldValue(c.regs, f);
        const uint32_t v = fieldItem(f, name, text);
        setFieldValue(c.regs, f, v);
        return {std::to_string(before), std::to_string(v)};
    }
    throw BadInput(name +
                   ": no field, register (R0..R7) or item (fRF, SPISEL, PLLMUX, fXtal, "
                   "INJLO1) of a configuration file has this name");
}

void runSet(const SetOptions& o) {
    // From the read to the save, no other program's change can fall between.
    const SaveLock lock(o.file);
    if (lock.refusal())
        throw BadInput("Cannot write the configuration file " + quotedPath(o.file) + ": " +
                       *lock.refusal());
    Config c = loadConfigOrThrow(o.file);
    nlohmann::json changes = nlohmann::json::array();
    // Every assignment is checked before the file is touched.
    for (const std::string& a : o.assignments) {
        const auto [before, after] = assign(c, a);
        // A value given as it stood is no change.
        if (before != after)
            changes.push_back(
                {{"name", a.substr(0, a.find('='))}, {"before", before}, {"after", after}});
    }
    if (auto error = saveConfig(o.file, c, titleText())) throw BadInput(*error);
    g_savedNote = "the file " + quotedPath(o.file) + " was saved";
    nlohmann::json j;
    j["file"] = o.file;
    j["changes"] = changes;
    j["registers"] = registersJson(c.regs);
    printResult(o.json, j, [&] {
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

void runNew(const NewOptions& o) {
    // Saved as the window saves: the name with ".cfg".
    const std::string path = configSaveName(o.file);
    Config c = o.defaults ? defaultSettingsConfig()
                          : windowConfig(o.settings.empty() ? programSettingsPath() : o.settings);
    bool dividersGiven = false;
    for (const std::string& a : o.assignments) {
        assign(c, a);
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
    printResult(o.json, j, [&] {
        std::printf("file       %s\n", printable(path).c_str());
        std::printf("mode       %s\n", c.spisel ? "SPI" : "ABC");
        std::printf("fRF        %s MHz", formatFrequency(c.frf).c_str());
        if (planned)
            std::printf(" (N %u, A %u planned)", unsigned(planned->N), unsigned(planned->A));
        std::printf("\nregisters %s\n", registersLine(c.regs).c_str());
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

    auto io = std::make_shared<ImportOptions>();
    CLI::App* im = app.add_subcommand(
        "import", "a register map that export wrote (.json or .csv) into a configuration file");
    im->add_option("map", io->file, "the register map (.json or .csv)")->required();
    im->add_option("-o,--output", io->output,
                   "the configuration file to write; its extension becomes .cfg, as the "
                   "window saves")
        ->required();
    im->add_flag("--json", io->json, "one JSON object on standard output");
    im->callback([io] { runImport(*io); });

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
    created->callback([no] { runNew(*no); });
}

}  // namespace zvk::cli
