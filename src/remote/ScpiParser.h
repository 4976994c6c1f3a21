// SPDX-License-Identifier: MIT
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zvk::remote {

// What SCPI's syntax makes of a client's line, before any command gives it a meaning.

// One parameter of a program unit.
struct Parameter {
    enum class Kind { Number, Character, String };
    Kind kind = Kind::Character;
    // Character data in upper case (MAX, HIGH, OPMODE); a string's content with its doubled
    // quotes undone; a number as it was written.
    std::string text;
    // A number's value, and whether it is a whole number a 64-bit integer holds (#H, #B and
    // #Q numbers always are).
    double value = 0;
    std::optional<long long> integer;
    // A number's suffix in upper case ("MHZ"); empty when it has none.
    std::string unit;
};

// One command or query of a line: the part between two ';'.
struct ProgramUnit {
    bool common = false;    // *IDN?, *RST: a header of its own, outside the tree
    bool absolute = false;  // began with ':', from the root of the tree
    // The header's mnemonics in upper case, suffixes included ("REG3"); a common
    // command's one mnemonic is "*IDN".
    std::vector<std::string> nodes;
    bool query = false;
    std::vector<Parameter> params;
};

// A syntax error: the standard code and what exactly was wrong.
struct ParseError {
    int code = 0;
    std::string detail;
};

struct ParsedUnit {
    ProgramUnit unit;
    std::optional<ParseError> error;
};

// The units of a line, split at each ';' outside a quoted string. Empty units (a ';' at the
// end of the line, two in a row) are dropped.
std::vector<std::string_view> splitUnits(std::string_view line);

// One unit's header and parameters. A header is separated from its parameters by white
// space; parameters are separated by ','.
ParsedUnit parseUnit(std::string_view text);

// The header mnemonic a command defines, in SCPI's mixed case ("FREQuency"), matches what a
// client sent when the client's text, in any case, is the whole long form (FREQUENCY) or
// the upper-case short form (FREQ); nothing in between.
bool mnemonicMatches(std::string_view received, std::string_view defined);

// A mnemonic split into its name and its numeric suffix ("REG3" -> "REG", 3). nullopt
// suffix when there are no trailing digits; -1 when the digits do not make a number below
// one million.
struct SuffixedMnemonic {
    std::string name;
    std::optional<int> suffix;
};
SuffixedMnemonic splitSuffix(std::string_view mnemonic);

}  // namespace zvk::remote
