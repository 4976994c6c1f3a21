// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "chip/ChipController.h"

namespace zvk {

class Session;

// One read of the status word as the bench tools (sweep, status monitor) report it.
struct StatusReading {
    uint16_t word = 0;
    StatusDecoding decoded;
    // Set when the word looks like a board that is not answering: the likely causes.
    std::optional<std::string> suspect;
    // The transport could not reach the board (another program holds the port): no word
    // was read, and word and decoded mean nothing. The monitor marks a gap.
    bool skipped = false;
};

// What a skipped read is called wherever it is shown.
inline constexpr const char* kPortBusyText = "port busy";

// Why the status word cannot be read on this state, as "Refresh" refuses it: the chip is
// in ABC mode, or MFO does not carry the serial output. nullopt when it can be read.
std::optional<std::string> statusReadBlocked(const ChipController& chip);

// All bits low or all high right after a write cycle that left MFO as serial output is
// what a board that does not answer gives (MFO stuck low or high): the likely causes.
std::optional<std::string> suspectStatus(uint16_t word, bool spiOutWritten);

// Reads and decodes the status word without changing the image; nullopt while another
// transfer runs (the window's message loop started this read inside one).
std::optional<StatusReading> readStatus(ChipController& chip);
// The same read for a caller that can wait for its answer (the status monitor): now, or
// as soon as the transfer that runs ends; answer gets every reading asked for (a skipped
// one marked so).
void requestStatus(ChipController& chip, std::function<void(const StatusReading&)> answer);

// A text as one CSV field: quoted when it holds a comma, a quote or a line break.
std::string csvField(const std::string& text);
// The fields joined by commas, each as csvField makes it.
std::string csvLine(const std::vector<std::string>& fields);

// The status monitor's log: one line per read, t_ms since the monitor started.
std::string statusCsvHeader();
// A skipped reading gives a line with only the time and "port busy": a gap in the log.
std::string statusCsvLine(double tMs, const StatusReading& r);

}  // namespace zvk
