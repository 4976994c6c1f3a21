// SPDX-License-Identifier: MIT
#include "session/LockCheck.h"

#include "chip/FieldMap.h"
#include "session/Session.h"
#include "session/StatusPoll.h"

namespace zvk {

std::optional<std::string> lockUnreadable(Session& session) {
    const ChipController& chip = session.chip();
    if (auto blocked = statusReadBlocked(chip)) return blocked;
    if (fieldValue(chip.regs(), field("SHOWLD")) == 0)
        return "SHOWLD is 0: LDRSSIL carries the RSSI flag, not lock detect";
    return std::nullopt;
}

std::optional<SettledStatus> statusAfterSettle(Session& session, uint32_t settleMs) {
    session.wait(settleMs);
    const auto reading = readStatus(session.chip());
    if (!reading) return std::nullopt;
    const bool showLd = fieldValue(session.chip().regs(), field("SHOWLD")) != 0;
    return SettledStatus{reading->word, reading->decoded,
                         showLd && statusField(reading->word, field("LDRSSIL")) != 0};
}

}  // namespace zvk
