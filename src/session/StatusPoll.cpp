// SPDX-License-Identifier: MIT
#include "session/StatusPoll.h"

#include "base/Numbers.h"
#include "chip/FieldMap.h"

namespace zvk {

std::optional<std::string> statusReadBlocked(const ChipController& chip) {
    if (!chip.spiMode()) return "the chip is in ABC mode: the status cannot be read";
    if (fieldValue(chip.regs(), field("MFO")) != kMfoSpiOut)
        return "MFO is not \"0001 - SPI out\": the chip does not shift the status out";
    return std::nullopt;
}

std::optional<std::string> suspectStatus(uint16_t word, bool spiOutWritten) {
    if (!spiOutWritten) return std::nullopt;
    if (word == 0x000)
        return "status 0x000: MFO stays low; the board may not answer (no supply, cable "
               "unplugged, MFO not SPI out)";
    if (word == 0xFFF)
        return "status 0xFFF: MFO stays high; the board may not answer (no supply, cable "
               "unplugged, MFO not SPI out)";
    return std::nullopt;
}

namespace {
StatusReading statusReading(const ChipController& chip, uint16_t word) {
    StatusReading r;
    r.word = word;
    r.decoded = decodeStatus(word, fieldValue(chip.regs(), field("SHOWLD")) != 0);
    // The program's image is what its last write cycle sent.
    const bool spiOutWritten =
        chip.writeCycles() > 0 && fieldValue(chip.regs(), field("MFO")) == kMfoSpiOut;
    r.suspect = suspectStatus(word, spiOutWritten);
    return r;
}
}  // namespace

std::optional<StatusReading> readStatus(ChipController& chip) {
    const auto word = chip.registerRead(7);
    if (!word) return std::nullopt;
    return statusReading(chip, *word);
}

void requestStatus(ChipController& chip, std::function<void(const StatusReading&)> answer) {
    chip.requestRead(7, [&chip, answer = std::move(answer)](std::optional<uint16_t> word) {
        if (word) {
            answer(statusReading(chip, *word));
            return;
        }
        StatusReading gap;
        gap.skipped = true;
        answer(gap);
    });
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string q = "\"";
    for (char c : text) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::string csvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        line += csvField(fields[i]);
    }
    return line;
}

std::string statusCsvHeader() {
    return "t_ms,word,IFFVAL,IFFSTATE,LD,RSSI,suspect";
}

std::string statusCsvLine(double tMs, const StatusReading& r) {
    if (r.skipped) return csvLine({fixedText(tMs, 1), "", "", "", "", "", kPortBusyText});
    const StatusDecoding& d = r.decoded;
    return csvLine({fixedText(tMs, 1), registerText(r.word), d.IFFVAL, d.IFFSTATE, d.LD, d.RSSI,
                    r.suspect.value_or("")});
}

}  // namespace zvk
