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
    SplitN,     // N: bits 6..0 in R2[11:5], bits 10..7 in R3[3:0]
    Mfo,        // item index after the MFO restriction
    Status,     // read from the chip, no control
};

struct Field {
    const char* name;     // OPMODE, LNAGAIN, ...
    int reg;              // 0..7 (for N: the register of the low part)
    int lowBit;           // lowest bit in the register
    int width;            // bits
    const char* control;  // the control that sets it ("" for status fields)
    Encoding encoding;
};

// Every field of R0..R7; every bit belongs to exactly one field.
extern const std::array<Field, 37> kFieldMap;

const Field* findField(std::string_view name);

// The field's value in the register image (N joined from its two parts).
uint32_t fieldValue(const RegisterImage& regs, const Field& f);
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
