// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "chip/Registers.h"

namespace zvk {

// One register configuration: what a ".cfg" file holds.
struct Config {
    RegisterImage regs{};
    bool spisel = true;
    double frf = 384.0;
    int16_t pllmux = 0;
    double fxtal = 10.0;
    int16_t injlo1 = 1;
};

// The name a save writes: the extension replaced by ".cfg" (added when there is none).
std::string configSaveName(const std::string& chosen);

// The 18 lines, CR LF. dateText and timeText are the informative lines 2 and 3.
std::string configText(const Config& c, const std::string& title, const std::string& dateText,
                       const std::string& timeText);
// Writes the file through a temporary file beside it; a message naming the file on failure.
std::optional<std::string> saveConfig(const std::string& path, const Config& c,
                                      const std::string& title);

// Loads into c, line by line; values taken before a bad line are kept in c. Returns a
// message naming the line number and its text when a value does not convert (or a
// register index is not 0..7), or the file cannot be read.
std::optional<std::string> loadConfigText(const std::string& text, Config& c);
std::optional<std::string> loadConfig(const std::string& path, Config& c);

// The loader reads any file, but one in which no line holds any of its keys is no
// configuration at all (a text, /etc/passwd): its "load" would keep every value and plan
// anew, and a save would turn it into a configuration. The message naming the file for
// such a file, which loadConfig refuses before it takes anything; nullopt for a file
// that holds a key or cannot be read (the load says why).
std::optional<std::string> configFileRefusal(const std::string& path);
// Whether a line of the text holds one of the loader's keys, in any letter case.
bool holdsConfigKeys(std::string_view text);

}  // namespace zvk
