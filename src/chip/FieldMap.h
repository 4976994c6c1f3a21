// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "chip/Registers.h"

namespace zvk {

// How a control's state becomes a field's bits.
enum class Encoding {
    ItemIndex,  // combo box: the item index, unmasked (an index too large spills upward)
    Radio,      // radio group: item 0 gives 0, any other item 1
    Check,      // check box: checked 1
    Inverted,   // SSBSEL: item 1 ("low") gives 0, any other item 1
    Number,     // an edit with spinner: the number, cut to the field width
    SplitN,     // N: its low part and its high part (Field::high) in two registers
    Mfo,        // item index after the MFO restriction
    Status,     // read from the chip, no control
};

// Where a run of a field's bits lies.
struct FieldPart {
    int reg = 0;
    int lowBit = 0;
    int width = 0;
};

struct Field {
    const char* name;     // OPMODE, LNAGAIN, ...
    int reg;              // 0..7 (for N: the register of the low part)
    int lowBit;           // lowest bit in the register
    int width;            // bits (for N: both parts)
    const char* control;  // the control that sets it ("" for status fields)
    Encoding encoding;
    // A change moves the frequency plan (the recompute step follows), rather than only
    // the chip's behaviour (the after-change routine follows).
    bool movesPlan = false;
    // The field's upper bits where they lie in another register (N's bits 10..7).
    FieldPart high{};

    // The run of the field's lowest bits, then the upper run (width 0 when there is none).
    constexpr FieldPart low() const { return {reg, lowBit, width - high.width}; }
};

// Every field of R0..R7; every bit belongs to exactly one field.
inline constexpr std::array<Field, 37> kFieldMap = {{
    {"OPMODE", 0, 0, 2, "CB_OPMODE", Encoding::ItemIndex},
    {"LNAGAIN", 0, 2, 2, "CB_LNAGAIN", Encoding::ItemIndex},
    {"MIX1GAIN", 0, 4, 1, "RG_MIX1GAIN", Encoding::Radio},
    {"MIX2GAIN", 0, 5, 1, "RG_MIX2GAIN", Encoding::Radio},
    {"IFFGAIN", 0, 6, 2, "CB_IFFGAIN", Encoding::ItemIndex},
    {"DEMGAIN", 0, 8, 1, "RG_DEMGAIN", Encoding::Radio},
    {"SSBSEL", 0, 9, 1, "RG_SSBSEL", Encoding::Inverted, true},
    {"SLCSEL", 0, 10, 1, "RG_SLCSEL", Encoding::Radio, true},
    {"DTAPOL", 0, 11, 1, "RG_DTAPOL", Encoding::Radio},
    {"CPCUR", 1, 0, 2, "CB_CPCUR", Encoding::ItemIndex},
    {"PFDPOL", 1, 2, 1, "RG_PFDPOL", Encoding::Radio},
    {"LDERR", 1, 3, 1, "RG_LDERR", Encoding::Radio},
    {"LDTIME", 1, 4, 2, "CB_LDTIME", Encoding::ItemIndex},
    {"RSSIGAIN", 1, 6, 1, "RG_RSSIGAIN", Encoding::Radio},
    {"VCORANGE", 1, 7, 1, "RG_VCORANGE", Encoding::Radio},
    {"VCOCUR", 1, 8, 1, "RG_VCOCUR", Encoding::Radio},
    {"VCOBUF", 1, 9, 1, "RG_VCOBUF", Encoding::Radio},
    {"PRESCUR", 1, 10, 1, "RG_PRESCUR", Encoding::Radio},
    {"SHOWLD", 1, 11, 1, "RG_SHOWLD", Encoding::Radio},
    {"A", 2, 0, 5, "E_A", Encoding::Number},
    {"N", 2, 5, 11, "E_N", Encoding::SplitN, false, {3, 0, 4}},
    {"LO2DIV", 3, 4, 1, "RG_LO2Div", Encoding::Radio, true},
    {"AGCEN", 3, 5, 1, "CB_AGCEN", Encoding::Check},
    {"AGCDEL", 3, 6, 2, "CB_AGCDEL", Encoding::ItemIndex},
    {"MFO", 3, 8, 4, "CB_MFO", Encoding::Mfo},
    {"R", 4, 0, 11, "E_R", Encoding::Number},
    {"AGCMODE", 4, 11, 1, "RG_AGCMODE", Encoding::Radio},
    {"RIFF", 5, 0, 11, "E_RIFF", Encoding::Number},
    {"MODSEL", 5, 11, 1, "RG_MODSEL", Encoding::Radio},
    {"IFFPRES", 6, 0, 8, "E_IFFRES", Encoding::Number},
    {"IFHLT", 6, 8, 1, "CB_IFFHLT", Encoding::Check},
    {"IFTUNE", 6, 9, 1, "CB_IFFTUNE", Encoding::Check},
    {"ROCUR", 6, 10, 2, "CB_ROCUR", Encoding::ItemIndex},
    {"IFFVAL", 7, 0, 8, "", Encoding::Status},
    {"IFFSTATE", 7, 8, 2, "", Encoding::Status},
    {"LDRSSIL", 7, 10, 1, "", Encoding::Status},
    {"RSSIH", 7, 11, 1, "", Encoding::Status},
}};

// A field by its name, looked up when the program is compiled: a name the map does not
// hold does not compile.
consteval const Field& field(std::string_view name) {
    for (const Field& f : kFieldMap)
        if (name == f.name) return f;
    throw "no such field";
}

// The items of CB_MFO that the program acts on itself: the status read needs the chip's
// serial output on MFO, the lock-time measurement its lock-detect output.
enum MfoItem : int {
    kMfoSpiOut = 1,
    kMfoLdOut = 8,
};

const Field* findField(std::string_view name);

// The field's value in the register image (N joined from its two parts).
uint32_t fieldValue(const RegisterImage& regs, const Field& f);
// A status field's value in a status word read from the chip.
uint32_t statusField(uint16_t word, const Field& f);
// Writes the value into the field's bits and no others. Numbers and N are cut to the
// field width; item indexes are not, as the handlers never check them.
void setFieldValue(RegisterImage& regs, const Field& f, uint32_t value);

// A control state (item index or check state 0/1) as the field value.
uint32_t encodeControl(const Field& f, int state);
// The item index or check state that shows the field value (reverse sync).
int decodeControl(const Field& f, uint32_t value);

// MFO items allowed without lab mode: 0..5 and 8; anything else becomes 1 (SPI out).
int mfoRestriction(int index, bool labMode);

// The register and bit of a bit label name such as "LD10"; false when it is no label.
bool parseBitLabel(std::string_view name, int& reg, int& bit);
std::string bitLabelName(int reg, int bit);

// The 96 bit names indexed by register * 12 + bit, made from the field map.
const std::array<std::string, 96>& bitNames();
const std::string& bitName(int reg, int bit);

}  // namespace zvk
