// SPDX-License-Identifier: MIT
#include "session/LockCheck.h"

#include "chip/FieldMap.h"
#include "session/Session.h"

namespace zvk {

std::optional<std::string> lockUnreadable(Session& session) {
    const ChipController& chip = session.chip();
    if (!chip.spiMode) return "ABC mode: the status register is not read";
    if (fieldValue(chip.regs, field("MFO")) != kMfoSpiOut)
        return "MFO is not \"0001 - SPI out\": the status register cannot be read";
    if (fieldValue(chip.regs, field("SHOWLD")) == 0)
        return "SHOWLD is 0: LDRSSIL carries the RSSI flag, not lock detect";
    return std::nullopt;
}

std::optional<SettledStatus> statusAfterSettle(Session& session, uint32_t settleMs) {
    // In steps of a millisecond so that a long settle never overflows the wait's count.
    for (uint32_t i = 0; i < settleMs; ++i) session.lpt().microsecondWait(1000);
    const auto word = session.chip().registerRead(7);
    if (!word) return std::nullopt;
    SettledStatus s;
    s.word = *word;
    const bool showLd = fieldValue(session.chip().regs, field("SHOWLD")) != 0;
    s.decoding = decodeStatus(*word, showLd);
    s.locked = showLd && statusField(*word, field("LDRSSIL")) != 0;
    return s;
}

}  // namespace zvk
