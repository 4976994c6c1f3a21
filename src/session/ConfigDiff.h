// SPDX-License-Identifier: MIT
#pragma once
#include <string>
#include <vector>

#include "chip/FieldMap.h"
#include "storage/ConfigFile.h"

namespace zvk {

// One difference between two configurations: a field of the field map, an item of the
// file, or a frequency the register image tunes to. field is set for field differences.
struct ConfigDifference {
    std::string name;
    std::string before;
    std::string after;
    const Field* field = nullptr;
};

// Every difference from a to b: the fields in the field map's order (by name, values in
// decimal), then the register words (R0..R7, "0x" texts) that differ in bits no field
// holds, then fRF, mode, preset, fXtal and INJLO1, then the planned frequencies that
// the two images give (the tuning texts). Empty when the two are the same.
std::vector<ConfigDifference> compareConfigs(const Config& a, const Config& b);

// The register bits that differ between the two images, one mask per register.
RegisterImage differingBits(const RegisterImage& a, const RegisterImage& b);

// "NAME  before -> after", as the command-line tool and the window list a difference.
std::string differenceLine(const ConfigDifference& d);

}  // namespace zvk
