// SPDX-License-Identifier: MIT
#include "chip/FieldMap.h"

#include <cstdio>

#include "base/Numbers.h"

namespace zvk {

using E = Encoding;

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

namespace {

uint32_t partValue(const RegisterImage& regs, const FieldPart& p) {
    return (uint32_t(regs[size_t(p.reg)]) >> p.lowBit) & maskOf(p.width);
}

void setPart(RegisterImage& regs, const FieldPart& p, uint32_t value) {
    const uint32_t mask = maskOf(p.width) << p.lowBit;
    uint16_t& r = regs[size_t(p.reg)];
    r = uint16_t((r & ~mask) | ((value & maskOf(p.width)) << p.lowBit));
}

}  // namespace

uint32_t fieldValue(const RegisterImage& regs, const Field& f) {
    const FieldPart low = f.low();
    return partValue(regs, low) | (partValue(regs, f.high) << low.width);
}

uint32_t statusField(uint16_t word, const Field& f) {
    return (uint32_t(word) >> f.lowBit) & maskOf(f.width);
}

void setFieldValue(RegisterImage& regs, const Field& f, uint32_t value) {
    switch (f.encoding) {
        case E::SplitN: {
            const FieldPart low = f.low();
            setPart(regs, low, value);
            setPart(regs, f.high, value >> low.width);
            return;
        }
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
    if ((index >= 0 && index <= 5) || index == kMfoLdOut) return index;
    return kMfoSpiOut;
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
            const FieldPart low = f.low();
            int reg = f.reg;
            int bit = f.lowBit + i;
            if (i >= low.width) {
                reg = f.high.reg;
                bit = f.high.lowBit + i - low.width;
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
