#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "chip/Registers.h"
#include "plan/FrequencyPlan.h"

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
// The window captions after a save and after a load.
std::string saveCaption(const std::string& title, const std::string& savedPath);
std::string loadCaption(const std::string& title, const std::string& loadedPath);

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

// Where loading a configuration leaves the frequency plan: the wanted frequency goes
// through the fRF edit (three decimals) or, in ABC mode with a preset index 0..7, becomes
// the preset's frequency; the crystal goes through its edit (at least 1.0); INJLO1 selects
// its RG_IF1 item; then the planning step computes N and A into the file's image.
struct LoadPlan {
    std::string frfText;                 // E_fRFI
    std::string fxtalText;               // E_fXTAL
    int rgIf1 = 0;                       // the selection of RG_IF1
    RegisterImage regs{};                // the file's image with N and A planned
    FrequencyState state;                // after the planning step
    std::optional<std::string> refusal;  // the planning step refused: regs as in the file
};
LoadPlan planAsLoading(const Config& c);

}  // namespace zvk
