// SPDX-License-Identifier: MIT
#pragma once
// What a trace shows: a text log an engineer reads and a VCD file of the lines that
// PulseView, GTKWave or sigrok's SPI decoder open as they are.
#include <cstdint>
#include <string>

#include "chip/Registers.h"
#include "transport/Trace.h"

namespace zvk {

// Turns events into log lines, one at a time as they come, remembering what each register
// held so that a write names the fields it changed.
class TraceText {
  public:
    // held: the image the chip held before the trace (the first write of each register
    // names the fields that differ from it); lines: the port's lines at the start.
    TraceText(const Trace& trace, const RegisterImage& held, uint8_t lines);

    // The event's line without a line break, or empty for an event that only the VCD
    // shows (a line write inside a frame, an MFO sample inside a read).
    std::string line(const TraceEvent& e);
    // The same without the time in front.
    std::string text(const TraceEvent& e);
    // The time in front: microseconds since the start of the trace, three decimals.
    std::string stamp(const TraceEvent& e) const;

  private:
    // Appends the event's text to out (nothing for an event only the VCD shows).
    void appendText(const TraceEvent& e, std::string& out);
    void appendStamp(const TraceEvent& e, std::string& out) const;

    const Trace* trace_;
    RegisterImage held_;
    uint8_t lines_;
    std::string scratch_;
};

// The name of an adapter command's opcode ("SpiWrite"), or its number in hexadecimal.
std::string commandName(uint8_t opcode);

// The whole trace as a VCD file: a nanosecond time scale, every port write its own
// instant at least 1 ns after the previous one, adapter commands drawn as the lines they
// imply at a nominal 1 MHz clock. lines: the port's lines when the trace started.
std::string traceVcd(const Trace& trace, uint8_t lines, const std::string& version);

}  // namespace zvk
