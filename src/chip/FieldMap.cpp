#include "chip/FieldMap.h"

#include <cstdio>

#include "base/Numbers.h"

namespace zvk {

using E = Encoding;

const std::array<Field, 37> kFieldMap = {{
    {"OPMODE", 0, 0, 2, "CB_OPMODE", E::ItemIndex},
    {"LNAGAIN", 0, 2, 2, "CB_LNAGAIN", E::ItemIndex},
    {"MIX1GAIN", 0, 4, 1, "RG_MIX1GAIN", E::Radio},
    {"MIX2GAIN", 0, 5, 1, "RG_MIX2GAIN", E::Radio},
    {"IFFGAIN", 0, 6, 2, "CB_IFFGAIN", E::ItemIndex},
    {"DEMGAIN", 0, 8, 1, "RG_DEMGAIN", E::Radio},
    {"SSBSEL", 0, 9, 1, "RG_SSBSEL", E::Inverted},
    {"SLCSEL", 0, 10, 1, "RG_SLCSEL", E::Radio},
    {"DTAPOL", 0, 11, 1, "RG_DTAPOL", E::Radio},
    {"CPCUR", 1, 0, 2, "CB_CPCUR", E::ItemIndex},
    {"PFDPOL", 1, 2, 1, "RG_PFDPOL", E::Radio},
    {"LDERR", 1, 3, 1, "RG_LDERR", E::Radio},
    {"LDTIME", 1, 4, 2, "CB_LDTIME", E::ItemIndex},
    {"RSSIGAIN", 1, 6, 1, "RG_RSSIGAIN", E::Radio},
    {"VCORANGE", 1, 7, 1, "RG_VCORANGE", E::Radio},
    {"VCOCUR", 1, 8, 1, "RG_VCOCUR", E::Radio},
    {"VCOBUF", 1, 9, 1, "RG_VCOBUF", E::Radio},
    {"PRESCUR", 1, 10, 1, "RG_PRESCUR", E::Radio},
    {"SHOWLD", 1, 11, 1, "RG_SHOWLD", E::Radio},
    {"A", 2, 0, 5, "E_A", E::Number},
    {"N", 2, 5, 11, "E_N", E::SplitN},
    {"LO2DIV", 3, 4, 1, "RG_LO2Div", E::Radio},
    {"AGCEN", 3, 5, 1, "CB_AGCEN", E::Check},
    {"AGCDEL", 3, 6, 2, "CB_AGCDEL", E::ItemIndex},
    {"MFO", 3, 8, 4, "CB_MFO", E::Mfo},
    {"R", 4, 0, 11, "E_R", E::Number},
    {"AGCMODE", 4, 11, 1, "RG_AGCMODE", E::Radio},
    {"RIFF", 5, 0, 11, "E_RIFF", E::Number},
    {"MODSEL", 5, 11, 1, "RG_MODSEL", E::Radio},
    {"IFFPRES", 6, 0, 8, "E_IFFRES", E::Number},
    {"IFHLT", 6, 8, 1, "CB_IFFHLT", E::Check},
    {"IFTUNE", 6, 9, 1, "CB_IFFTUNE", E::Check},
    {"ROCUR", 6, 10, 2, "CB_ROCUR", E::ItemIndex},
    {"IFFVAL", 7, 0, 8, "", E::Status},
    {"IFFSTATE", 7, 8, 2, "", E::Status},
    {"LDRSSIL", 7, 10, 1, "", E::Status},
    {"RSSIH", 7, 11, 1, "", E::Status},
}};

std::string registerText(uint32_t value) {
    return "0x" + hexText(value, 3);
}

const Field* findField(std::string_view name) {
    for (const Field& f : kFieldMap)
        if (name == f.name) return &f;
    return nullptr;
}

namespace {
constexpr uint32_t maskOf(int width) {
    return (1u << width) - 1u;
}
}  // namespace

uint32_t fieldValue(const RegisterImage& regs, const Field& f) {
    if (f.encoding == E::SplitN) return ((regs[2] >> 5) & 0x7F) | ((regs[3] & 0x0Fu) << 7);
    return (uint32_t(regs[f.reg]) >> f.lowBit) & maskOf(f.width);
}

void setFieldValue(RegisterImage& regs, const Field& f, uint32_t value) {
    switch (f.encoding) {
        case E::SplitN:
            regs[2] = uint16_t((regs[2] & ~0x0FE0u) | ((value & 0x7F) << 5));
            regs[3] = uint16_t((regs[3] & ~0x00Fu) | ((value >> 7) & 0x0F));
            return;
        case E::ItemIndex:
        case E::Mfo: {
            // The combo-box handlers keep the register AND the field mask's 12-bit
            // complement: bits above 11 (a spilled seventeenth MFO item) go as well.
            const uint32_t mask = maskOf(f.width) << f.lowBit;
            regs[f.reg] = uint16_t((regs[f.reg] & 0xFFFu & ~mask) | (value << f.lowBit));
            return;
        }
        default: {
            const uint32_t mask = maskOf(f.width) << f.lowBit;
            regs[f.reg] = uint16_t((regs[f.reg] & ~mask) | ((value & maskOf(f.width)) << f.lowBit));
            return;
        }
    }
}

uint32_t encodeControl(const Field& f, int state) {
    switch (f.encoding) {
        case E::Radio:
            return state == 0 ? 0u : 1u;
        case E::Check:
            return state != 0 ? 1u : 0u;
        case E::Inverted:
            return state == 1 ? 0u : 1u;
        default:
            return uint32_t(state);
    }
}

int decodeControl(const Field& f, uint32_t value) {
    if (f.encoding == E::Inverted) return 1 - int(value & 1);
    return int(value);
}

int mfoRestriction(int index, bool labMode) {
    if (labMode) return index;
    if ((index >= 0 && index <= 5) || index == 8) return index;
    return 1;
}

bool parseBitLabel(std::string_view name, int& reg, int& bit) {
    if (name.size() != 4 || name[0] != 'L' || name[1] < 'A' || name[1] > 'H') return false;
    if (name[2] < '0' || name[2] > '9' || name[3] < '0' || name[3] > '9') return false;
    const int b = (name[2] - '0') * 10 + (name[3] - '0');
    if (b > 11) return false;
    reg = name[1] - 'A';
    bit = b;
    return true;
}

std::string bitLabelName(int reg, int bit) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "L%c%02d", char('A' + reg), bit);
    return buf;
}

namespace {

std::array<std::string, 96> buildBitNames() {
    std::array<std::string, 96> names;
    for (const Field& f : kFieldMap) {
        for (int i = 0; i < f.width; ++i) {
            int reg = f.reg;
            int bit = f.lowBit + i;
            if (f.encoding == E::SplitN && i >= 7) {
                reg = 3;
                bit = i - 7;
            }
            names[size_t(reg * 12 + bit)] = f.width == 1 ? f.name : f.name + std::to_string(i);
        }
    }
    return names;
}

}  // namespace

const std::array<std::string, 96>& bitNames() {
    static const std::array<std::string, 96> names = buildBitNames();
    return names;
}

const std::string& bitName(int reg, int bit) {
    return bitNames()[size_t((reg & 7) * 12 + bit)];
}

}  // namespace zvk
