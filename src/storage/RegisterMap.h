// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

#include "chip/FieldMap.h"
#include "storage/ConfigFile.h"

namespace zvk {

// A configuration's register image and items in the forms other tools read: a register
// map as JSON or CSV (which reads back into a configuration) and a C header; and the one
// check of a value that goes into a configuration from outside (a map, NAME=VALUE).

// A value or a map that cannot go into a configuration. The message is one line that
// names the input (the map's file and the entry, or the name given) and what was expected.
struct BadConfigValue : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ---- the values of a configuration, checked once for every way in

// The lowest fRF and fXtal a configuration may hold.
inline constexpr double kMinConfigFrf = 0.0;
inline constexpr double kMinConfigFxtal = 1.0;
// The most a register word may hold: the 16 bits of a file's word (lab mode's MFO items
// reach R3's bit 12, beyond the 12 data bits).
inline constexpr long kMaxRegisterWord = 0xFFFF;

// An integer within min..max; name names it in the message.
long configInteger(const std::string& name, const std::string& text, long min, long max);
// A register word 0..kMaxRegisterWord.
uint16_t configRegisterWord(const std::string& name, const std::string& text);
// fRF or fXtal: a finite number from min on, and within single precision, where the plan
// computes (beyond it nothing can be planned).
double configFrequency(const std::string& name, const std::string& text, double min);
// A field's value within its width; never a bit of the status register.
uint32_t configFieldValue(const Field& f, const std::string& name, const std::string& text);

// One NAME=VALUE given to a configuration: a field (any letter case), a register R0..R7 or
// an item (fRF, SPISEL, PLLMUX, fXtal, INJLO1). name is as given; before and after are the
// value's texts (equal when the value was given as it stood).
struct ConfigChange {
    std::string name, before, after;
};
// Throws BadConfigValue and leaves c as it was when the assignment is refused.
ConfigChange assignConfigValue(Config& c, const std::string& assignment);

// ---- export

// The eight registers as "0x" texts.
nlohmann::json registersJson(const RegisterImage& regs);
// Every field of the field map by name, with its value.
nlohmann::json fieldsJson(const RegisterImage& regs);
// The register map as JSON: registers, fields and the items as numbers.
nlohmann::json registerMapJson(const Config& c);
// The register map as CSV: a header line, then a line per register, per run of a field's
// bits and per item.
std::string registerMapCsv(const Config& c);
// A C header with one define per register and per field, with each run's _SHIFT and
// _MASK. source (the configuration's name) and writer (the program and its version) go
// into its comment, control characters made '?'.
std::string registerHeader(const RegisterImage& regs, std::string_view source,
                           std::string_view writer);

// ---- import: what the export writes, back into a configuration

// file names the map in every message. Throws BadConfigValue for anything the export
// would not have written: a register beyond 16 bits, a field that disagrees with the
// registers, an item that is missing or out of range, a frequency that is no frequency.
Config registerMapFromJson(const std::string& file, const std::string& text);
Config registerMapFromCsv(const std::string& file, const std::string& text);

}  // namespace zvk
