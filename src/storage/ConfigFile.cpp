// SPDX-License-Identifier: MIT
#include "storage/ConfigFile.h"

#include <cstdint>
#include <ctime>

#include "base/Numbers.h"
#include "base/Text.h"
#include "storage/FileText.h"

namespace zvk {

namespace {

constexpr size_t kMaxValueLength = 99;

std::string lowered(std::string_view line) {
    std::string out(line);
    for (char& ch : out)
        if (ch >= 'A' && ch <= 'Z') ch = char(ch - 'A' + 'a');
    return out;
}

// A register value: hexadecimal digits only (the reader supplies the prefix itself, so a
// "0x" of the file's own or a blank makes the text invalid), at most 32 bits.
std::optional<uint32_t> registerValue(std::string_view text) {
    return parseHex32(text);
}

std::optional<int32_t> integerValue(std::string_view text) {
    return parseDecimal32(text);
}

// What the loader looks for, each in a line of its own.
constexpr const char* kLoaderKeys[] = {"cntrlreg", "spisel", "frf", "pllmux", "fxtal", "injl"};

std::string notAConfiguration(const std::string& path) {
    return "\"" + path +
           "\" is not a configuration file: no line holds CntrlReg, SPISEL, fRF, PLLMUX, fXtal "
           "or INJLO1";
}

std::string lineError(size_t number, std::string_view what) {
    return "line " + std::to_string(number) + ": " + std::string(what);
}

}  // namespace

std::string configSaveName(const std::string& chosen) {
    return changeFileExt(chosen, ".cfg");
}

std::string configText(const Config& c, const std::string& title, const std::string& dateText,
                       const std::string& timeText) {
    const char* eol = "\r\n";
    std::string out;
    auto line = [&](const std::string& text) {
        out += text;
        out += eol;
    };
    line(title);
    line(dateText);
    line(timeText);
    line("*START");
    for (size_t i = 0; i < c.regs.size(); ++i)
        line("CntrlReg" + std::to_string(i) + "\t" + hexText(c.regs[i], 3));
    line(std::string("SPISEL\t") + (c.spisel ? "1" : "0"));
    line("fRF\t" + formatFrequency(c.frf));
    line("PLLMUX\t" + std::to_string(c.pllmux));
    line("fXtal\t" + formatFrequency(c.fxtal));
    line("INJLO1\t" + std::to_string(c.injlo1));
    line("*END");
    return out;
}

std::optional<std::string> saveConfig(const std::string& path, const Config& c,
                                      const std::string& title) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[64], time[64];
    // The locale's own short date and long time; they are informative only.
    // (The short date is the locale's, whatever it does with the year.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-y2k"
    if (std::strftime(date, sizeof date, "%x", &local) == 0) date[0] = '\0';
#pragma GCC diagnostic pop
    if (std::strftime(time, sizeof time, "%X", &local) == 0) time[0] = '\0';
    if (auto reason = replaceFileText(path, configText(c, title, date, time)))
        return "Cannot write the configuration file \"" + path + "\": " + *reason;
    return std::nullopt;
}

std::optional<std::string> loadConfigText(const std::string& text, Config& c) {
    size_t number = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const std::string_view original = nextLine(text, pos);
        ++number;

        const std::string line = lowered(original);
        const auto tab = line.find('\t');
        const std::string_view value =
            tab == std::string::npos ? std::string_view(line).substr(0, kMaxValueLength)
                                     : std::string_view(line).substr(tab + 1, kMaxValueLength);

        if (const auto at = line.find("cntrlreg"); at != std::string::npos) {
            const size_t indexAt = at + 8;
            const char index = indexAt < line.size() ? line[indexAt] : '\0';
            // An index beyond R7 would write outside the register image.
            if (index == '\0')
                return lineError(number,
                                 "no register index after \"cntrlreg\" in " + quotedText(original));
            if (index < '0' || index > '7')
                return lineError(number, "register index " + quotedText(std::string(1, index)) +
                                             " is not 0..7 in " + quotedText(original));
            const auto v = registerValue(value);
            if (!v)
                return lineError(number,
                                 quotedText(value) + " is not a valid hexadecimal register value");
            c.regs[size_t(index - '0')] = uint16_t(*v);
        }
        if (line.find("spisel") != std::string::npos)
            c.spisel = line.find('1') != std::string::npos;
        if (line.find("frf") != std::string::npos) {
            const auto v = parseDouble(value);
            if (!v) return lineError(number, quotedText(value) + " is not a valid number for fRF");
            c.frf = *v;
        }
        if (line.find("pllmux") != std::string::npos) {
            const auto v = integerValue(value);
            if (!v)
                return lineError(number, quotedText(value) + " is not a valid integer for PLLMUX");
            c.pllmux = int16_t(uint16_t(uint32_t(*v)));
        }
        if (line.find("fxtal") != std::string::npos) {
            const auto v = parseDouble(value);
            if (!v)
                return lineError(number, quotedText(value) + " is not a valid number for fXtal");
            c.fxtal = *v;
        }
        if (line.find("injl") != std::string::npos) {
            const auto v = integerValue(value);
            if (!v)
                return lineError(number, quotedText(value) + " is not a valid integer for INJLO1");
            c.injlo1 = int16_t(uint16_t(uint32_t(*v)));
        }
    }
    return std::nullopt;
}

bool holdsConfigKeys(std::string_view text) {
    // No key holds a line break, so the keys of the whole text are the keys of its lines.
    const std::string lower = lowered(text);
    for (const char* key : kLoaderKeys)
        if (lower.find(key) != std::string::npos) return true;
    return false;
}

std::optional<std::string> loadConfig(const std::string& path, Config& c) {
    std::string reason;
    const auto text = readFileText(path, &reason);
    if (!text) return "Cannot open the configuration file \"" + path + "\": " + reason;
    if (!holdsConfigKeys(*text)) return notAConfiguration(path);
    if (auto error = loadConfigText(*text, c)) return "\"" + path + "\": " + *error;
    return std::nullopt;
}

std::optional<std::string> configFileRefusal(const std::string& path) {
    const auto text = readFileText(path);
    if (!text || holdsConfigKeys(*text)) return std::nullopt;
    return notAConfiguration(path);
}

}  // namespace zvk
