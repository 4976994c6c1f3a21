// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "chip/ChipController.h"

namespace zvk {

class Session;

// The status as a script's lock check sees it after the synthesizer had time to settle.
struct SettledStatus {
    uint16_t word = 0;
    StatusDecoding decoding;
    bool locked = false;
};

// Why the image the session holds cannot tell whether the synthesizer locked: the status
// cannot be read at all (statusReadBlocked), or LDRSSIL carries the RSSI flag instead of
// lock detect (SHOWLD 0). nullopt when it can.
std::optional<std::string> lockUnreadable(Session& session);

// Waits settleMs, then reads the status register and decodes it (readStatus).
// nullopt when another transfer is running and no word could be read.
std::optional<SettledStatus> statusAfterSettle(Session& session, uint32_t settleMs);

}  // namespace zvk
