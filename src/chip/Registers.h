// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace zvk {

// The program's copy of the chip's eight 12-bit control registers; R7 is the status
// register. Bits above 11 stay zero under every field setter and are never sent.
using RegisterImage = std::array<uint16_t, 8>;

constexpr RegisterImage kDefaultImage = {0x08C, 0x8F4, 0xF14, 0x100, 0x04B, 0x2AC, 0xE4B, 0x000};

// One register write: value bits 11..0 in word bits 15..4, address in 3..1, bit 0 = 0.
constexpr uint16_t spiWord(int address, uint32_t value) {
    return uint16_t(((value << 4) | (uint32_t(address & 7) * 2)) & 0xFFFE);
}

// One register read: the three address bits followed by a direction bit of 1.
constexpr uint8_t readRequest(int address) {
    return uint8_t((address & 7) * 2 + 1);
}

constexpr bool bitTest(uint32_t value, int bit) {
    return (value & (1u << bit)) > 0;
}
constexpr uint32_t bitSet(uint32_t value, int bit) {
    return value | (1u << bit);
}
constexpr uint32_t bitClear(uint32_t value, int bit) {
    return value & ~(1u << bit);
}
constexpr uint32_t bitToggle(uint32_t value, int bit) {
    return value ^ (1u << bit);
}

// "0x" and at least three upper-case hexadecimal digits, as the register labels show.
std::string registerText(uint32_t value);

}  // namespace zvk
