// SPDX-License-Identifier: MIT
#include "storage/RegisterMap.h"

#include <strings.h>

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "base/Numbers.h"
#include "base/Text.h"

namespace zvk {

namespace {

[[noreturn]] void refuse(const std::string& message) {
    throw BadConfigValue(message);
}

// Beyond single precision the plan computes nothing.
constexpr double kMaxFrequency = std::numeric_limits<float>::max();

// The items of a configuration file, in the order the export writes them.
constexpr std::array<const char*, 5> kItemNames = {"SPISEL", "fRF", "PLLMUX", "fXtal", "INJLO1"};

bool nameIs(const std::string& a, const char* b) {
    return ::strcasecmp(a.c_str(), b) == 0;
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

// Names and comments in generated text must not break out of their line.
std::string printable(std::string_view text) {
    std::string out;
    for (unsigned char ch : text) out += (ch < 0x20 || ch == 0x7F) ? '?' : char(ch);
    return out;
}

}  // namespace

long configInteger(const std::string& name, const std::string& text, long min, long max) {
    // A sign is read, so that a negative number is refused by its range rather than as no
    // number.
    const auto v = parseInteger(text, {.sign = true});
    if (!v) refuse(notAnInteger(name, text));
    if (*v < min || *v > max)
        refuse(name + ": " + quotedText(text) + " is outside " + std::to_string(min) + ".." +
               std::to_string(max));
    return long(*v);
}

uint16_t configRegisterWord(const std::string& name, const std::string& text) {
    return uint16_t(configInteger(name, text, 0, kMaxRegisterWord));
}

double configFrequency(const std::string& name, const std::string& text, double min) {
    const auto v = parseDouble(text);
    if (!v) refuse(name + ": " + quotedText(text) + " is not a number");
    if (!std::isfinite(*v) || *v < min || *v > kMaxFrequency)
        refuse(name + ": " + quotedText(text) + " is not a frequency from " + formatFrequency(min) +
               " MHz up to the plan's single-precision range");
    return *v;
}

uint32_t configFieldValue(const Field& f, const std::string& name, const std::string& text) {
    if (f.encoding == Encoding::Status)
        refuse(name + ": a bit of the status register, which the chip sets itself");
    return uint32_t(configInteger(name, text, 0, (1L << f.width) - 1));
}

ConfigChange assignConfigValue(Config& c, const std::string& assignment) {
    const auto eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0) refuse(quotedText(assignment) + " is not NAME=VALUE");
    const std::string name = assignment.substr(0, eq), text = assignment.substr(eq + 1);
    auto frequency = [&](double& value, double min) {
        const std::string before = formatFrequency(value);
        value = configFrequency(name, text, min);
        return ConfigChange{name, before, formatFrequency(value)};
    };
    if (nameIs(name, "fRF")) return frequency(c.frf, kMinConfigFrf);
    if (nameIs(name, "fXtal")) return frequency(c.fxtal, kMinConfigFxtal);
    auto small = [&](int16_t& value) {
        const std::string before = std::to_string(long(value));
        value = int16_t(configInteger(name, text, INT16_MIN, INT16_MAX));
        return ConfigChange{name, before, std::to_string(long(value))};
    };
    if (nameIs(name, "SPISEL")) {
        const std::string before = c.spisel ? "1" : "0";
        c.spisel = configInteger(name, text, 0, 1) == 1;
        return {name, before, c.spisel ? "1" : "0"};
    }
    if (nameIs(name, "PLLMUX")) return small(c.pllmux);
    if (nameIs(name, "INJLO1")) return small(c.injlo1);
    if (name.size() == 2 && (name[0] == 'R' || name[0] == 'r') && name[1] >= '0' &&
        name[1] <= '7') {
        uint16_t& r = c.regs[size_t(name[1] - '0')];
        const std::string before = registerText(r);
        r = configRegisterWord(name, text);
        return {name, before, registerText(r)};
    }
    for (const Field& f : kFieldMap) {
        if (!nameIs(name, f.name)) continue;
        const uint32_t before = fieldValue(c.regs, f);
        const uint32_t v = configFieldValue(f, name, text);
        setFieldValue(c.regs, f, v);
        return {name, std::to_string(before), std::to_string(v)};
    }
    refuse(name +
           ": no field, register (R0..R7) or item (fRF, SPISEL, PLLMUX, fXtal, INJLO1) of a "
           "configuration file has this name");
}

// ---- export

nlohmann::json registersJson(const RegisterImage& regs) {
    nlohmann::json a = nlohmann::json::array();
    for (uint16_t r : regs) a.push_back(registerText(r));
    return a;
}

nlohmann::json fieldsJson(const RegisterImage& regs) {
    nlohmann::json fields = nlohmann::json::object();
    for (const Field& f : kFieldMap) fields[f.name] = fieldValue(regs, f);
    return fields;
}

nlohmann::json registerMapJson(const Config& c) {
    nlohmann::json j;
    j["registers"] = registersJson(c.regs);
    j["fields"] = fieldsJson(c.regs);
    j["SPISEL"] = c.spisel ? 1 : 0;
    j["fRF"] = c.frf;
    j["PLLMUX"] = c.pllmux;
    j["fXtal"] = c.fxtal;
    j["INJLO1"] = c.injlo1;
    return j;
}

std::string registerMapCsv(const Config& c) {
    std::string out = "kind,name,register,low_bit,width,value\n";
    for (size_t i = 0; i < c.regs.size(); ++i)
        out += "register,R" + std::to_string(i) + "," + std::to_string(i) + ",0,12," +
               registerText(c.regs[i]) + "\n";
    for (const Field& f : kFieldMap)
        for (const FieldRun& run : fieldRuns(f))
            out += "field," + run.mapName + "," + std::to_string(run.part.reg) + "," +
                   std::to_string(run.part.lowBit) + "," + std::to_string(run.part.width) + "," +
                   std::to_string(runValue(c.regs, run.part)) + "\n";
    const std::string items[] = {c.spisel ? "1" : "0", exactNumber(c.frf), std::to_string(c.pllmux),
                                 exactNumber(c.fxtal), std::to_string(c.injlo1)};
    for (size_t i = 0; i < kItemNames.size(); ++i)
        out += std::string("item,") + kItemNames[i] + ",,,," + items[i] + "\n";
    return out;
}

std::string registerHeader(const RegisterImage& regs, std::string_view source,
                           std::string_view writer) {
    std::string out = "// ZVK40310 register image from " + printable(source) + "\n";
    out += "// Written by " + printable(writer) +
           ". Every field has its value, and the _SHIFT and _MASK\n"
           "// of its bits in its register; N lies in R2 (N_LO) and R3 (N_HI).\n";
    out += "#ifndef ZVK40310_REGISTERS_H\n#define ZVK40310_REGISTERS_H\n\n";
    for (size_t i = 0; i < regs.size(); ++i)
        out += "#define ZVK40310_R" + std::to_string(i) + " " + registerText(regs[i]) + "\n";
    for (const Field& f : kFieldMap) {
        out += "\n#define ZVK40310_" + std::string(f.name) + " " +
               std::to_string(fieldValue(regs, f)) + "\n";
        for (const FieldRun& run : fieldRuns(f)) {
            const uint32_t mask = ((1u << run.part.width) - 1) << run.part.lowBit;
            out += "#define ZVK40310_" + run.headerName + "_SHIFT " +
                   std::to_string(run.part.lowBit) + "\n#define ZVK40310_" + run.headerName +
                   "_MASK " + registerText(mask) + "\n";
        }
    }
    out += "\n#endif\n";
    return out;
}

// ---- import

namespace {

[[noreturn]] void badMap(const std::string& file, const std::string& why) {
    refuse(file + ": " + why);
}

// The checks that set makes of a value, naming the map and the entry.
uint16_t registerFrom(const std::string& file, const std::string& name, const std::string& text) {
    return configRegisterWord(file + ": " + name, text);
}

long itemFrom(const std::string& file, const std::string& name, const std::string& text, long min,
              long max) {
    return configInteger(file + ": " + name, text, min, max);
}

double frequencyFrom(const std::string& file, const std::string& name, const std::string& text,
                     double min) {
    return configFrequency(file + ": " + name, text, min);
}

// The items by name, from their texts; each must be there once.
void takeItems(const std::string& file, const std::map<std::string, std::string>& items,
               Config& c) {
    for (const char* name : kItemNames)
        if (!items.count(name)) badMap(file, std::string("no ") + name);
    c.spisel = itemFrom(file, "SPISEL", items.at("SPISEL"), 0, 1) == 1;
    c.frf = frequencyFrom(file, "fRF", items.at("fRF"), kMinConfigFrf);
    c.pllmux = int16_t(itemFrom(file, "PLLMUX", items.at("PLLMUX"), INT16_MIN, INT16_MAX));
    c.fxtal = frequencyFrom(file, "fXtal", items.at("fXtal"), kMinConfigFxtal);
    c.injlo1 = int16_t(itemFrom(file, "INJLO1", items.at("INJLO1"), INT16_MIN, INT16_MAX));
}

// The fields a map lists must say what its registers say; the status register's as well.
void checkField(const std::string& file, const std::string& name, uint64_t value,
                uint32_t fromRegisters) {
    if (value != fromRegisters)
        badMap(file, "field " + name + " is " + std::to_string(value) + " but the registers give " +
                         std::to_string(fromRegisters));
}

}  // namespace

Config registerMapFromJson(const std::string& file, const std::string& text) {
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
    for (const char* name : kItemNames) {
        const auto it = j.find(name);
        if (it == j.end()) continue;
        if (!it->is_number()) badMap(file, std::string(name) + " is not a number");
        items[name] = it->is_number_float() ? exactNumber(it->get<double>()) : it->dump();
    }
    takeItems(file, items, c);
    return c;
}

Config registerMapFromCsv(const std::string& file, const std::string& text) {
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

}  // namespace zvk
