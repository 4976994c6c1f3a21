// SPDX-License-Identifier: MIT
#pragma once
// What the virtual board counts as a breach of the serial protocol or of the adapter's
// command protocol. A real chip or adapter may do anything with such traffic, so a test
// that passes on the virtual board only proves the program right when none occurred.
#include <cstdint>
#include <string_view>

namespace zvk {

enum class ViolationKind : uint8_t {
    // The chip's three serial lines, judged while SPISEL is high before and after a line
    // write (with SPISEL low they are the A, B and C pins, set as a whole byte by design).
    DataWithClockEdge,      // SDTA changed in the same write that raised SCLK: no set-up time
    EnableWithClock,        // SDEN and SCLK changed in one write: the outcome needs an order
    ClockHighAtEnableEdge,  // SDEN rose or fell while SCLK was high
    ClockWhileEnabled,      // SCLK moved while SDEN was high
    ShortFrame,             // SDEN rose after too few bits for a read request or a register
    LatchWithoutSpisel,     // a register frame latched while SPISEL was low
    // The adapter's requests.
    RequestLength,    // a request that is not 64 bytes
    UnknownCommand,   // an opcode the adapter does not know
    UnknownSelector,  // a known opcode with a selector byte it does not take
    BeforeConfigure,  // a command other than GetVersion before the first Configure
};
constexpr int kViolationKinds = 10;

// The kind's name as the JSON output, the trace and the window show it.
std::string_view violationName(ViolationKind kind);

struct Violation {
    ViolationKind kind;
    // The chip's frame (SDEN rising edges before it, counted from power-on), or for the
    // adapter the request's number (requests received before it).
    uint64_t frame = 0;
    uint64_t timeUs = 0;  // on the board's clock
};

}  // namespace zvk
