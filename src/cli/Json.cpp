// SPDX-License-Identifier: MIT
#include "cli/Json.h"

#include <cmath>

#include "board/VirtualAdapter.h"
#include "chip/Registers.h"
#include "cli/Cli.h"
#include "cli/TuningRows.h"

namespace zvk::cli {

namespace {

// The length of the valid UTF-8 sequence at the start of t, 0 when there is none.
size_t utf8Length(std::string_view t) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(t[i]); };
    const auto cont = [&](size_t i) { return i < t.size() && (b(i) & 0xC0) == 0x80; };
    const unsigned char c = b(0);
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2)) return 0;
        if (c == 0xE0 && b(1) < 0xA0) return 0;   // overlong
        if (c == 0xED && b(1) >= 0xA0) return 0;  // surrogates
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3)) return 0;
        if (c == 0xF0 && b(1) < 0x90) return 0;
        if (c == 0xF4 && b(1) >= 0x90) return 0;
        return 4;
    }
    return 0;
}

void makeValidText(nlohmann::json& j) {
    if (j.is_string()) {
        j = validUtf8(j.get<std::string>());
    } else if (j.is_structured()) {
        for (auto& item : j) makeValidText(item);
    }
}

}  // namespace

std::string validUtf8(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t n = utf8Length(text.substr(i));
        if (n > 0) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        const unsigned char byte = static_cast<unsigned char>(text[i++]);
        out += char(0xC0 | (byte >> 6));
        out += char(0x80 | (byte & 0x3F));
    }
    return out;
}

std::string jsonText(const nlohmann::json& j, bool oneLine) {
    nlohmann::json valid = j;
    makeValidText(valid);
    // Plain ASCII out: every other character escaped, so a byte that was no UTF-8 shows
    // as \u00XX of its value.
    return valid.dump(oneLine ? -1 : 2, ' ', true);
}

std::string jsonLine(const nlohmann::json& j) {
    return jsonText(j, true);
}

void addTuningJson(nlohmann::json& j, const FrequencyState& s, const TuningInfo& t) {
    j[kNtotKey] = s.Ntot;
    j[kNKey] = s.N;
    j[kAKey] = s.A;
    nlohmann::json red = nlohmann::json::array();
    for (const TuningRow& row : kTuningRows) {
        const TuningItem& item = t.*row.item;
        j[row.key] = item.text;
        if (item.red) red.push_back(row.key);
    }
    if (t.Ntot.red) red.push_back(kNtotKey);
    j["red"] = red;
}

void statusWordJson(nlohmann::json& j, uint16_t word, const StatusDecoding& d) {
    j["word"] = registerText(word);
    j["IFFVAL"] = d.IFFVAL;
    j["IFFSTATE"] = d.IFFSTATE;
    j["LD"] = d.LD;
    j["RSSI"] = d.RSSI;
}

void statusReadingJson(nlohmann::json& j, const StatusReading& r) {
    statusWordJson(j, r.word, r.decoded);
    if (r.suspect) j["suspect"] = *r.suspect;
}

nlohmann::json pictureJson(const PlanPicture& p) {
    nlohmann::json spurs = nlohmann::json::array();
    for (const Spur& s : p.spurs)
        spurs.push_back({{"m", s.m}, {"n", s.n}, {"f", s.f}, {"order", s.order}});
    nlohmann::json reference = nlohmann::json::array();
    for (const ReferenceProduct& r : p.reference)
        reference.push_back({{"kind", r.kind}, {"k", r.k}, {"f", r.f}, {"near", r.near}});
    return {{"image1", p.image1}, {"image2", p.image2},     {"image2_mirror", p.image2Mirror},
            {"spurs", spurs},     {"reference", reference}, {"s1", p.s1},
            {"s2", p.s2}};
}

void lockTimeJson(nlohmann::json& j, const LockTime& t) {
    // The measurement counts in single precision: three decimals say all it knows.
    j["lock_time_ms"] = std::round(t.ms * 1000.0) / 1000.0;
    j["lock_time_capped"] = t.capped;
    j["lock_time_resolution_ms"] = t.resolutionMs;
}

nlohmann::json sweepPointJson(const SweepPoint& p) {
    nlohmann::json j;
    j["f_wanted"] = p.wanted;
    if (p.refusal) {
        j["refused"] = *p.refusal;
        return j;
    }
    j[kNtotKey] = p.Ntot;
    j[kNKey] = p.N;
    j[kAKey] = p.A;
    j["fRF"] = p.tunedRf;
    if (p.status) statusReadingJson(j, *p.status);
    if (p.lockTime) lockTimeJson(j, *p.lockTime);
    return j;
}

void CtlSession::addBoardJson(nlohmann::json& j) const {
    if (const auto a = core->adapterName()) {
        j["adapter"] = {{"bus", a->bus}, {"device", a->device}};
        if (!a->portPath.empty()) j["adapter"]["port_path"] = a->portPath;
    }
    if (!isVirtual()) return;
    const Board& board = core->board();
    j["latched"] = registersJson(board.chip->latched());
    nlohmann::json words = nlohmann::json::array();
    for (uint16_t w : board.chip->frames()) words.push_back(hex4(w));
    j["words"] = words;
    j["lines"] = hex2(board.chip->lines());
    j["port_accesses"] = board.vport->accesses();
    j["usb_transfers"] = board.vusb ? board.vusb->transfers() : 0;
    if (board.vusb && board.vusb->adapterCount() > 0) {
        nlohmann::json commands = earlierCommands;
        for (const auto& r : board.vusb->requests()) commands.push_back(VirtualUsbBus::describe(r));
        j["adapter_commands"] = commands;
    }
    nlohmann::json violations = nlohmann::json::array();
    for (const Violation& v : commandViolations())
        violations.push_back(
            {{"kind", violationName(v.kind)}, {"frame", v.frame}, {"time_us", v.timeUs}});
    j["violations"] = violations;
}

}  // namespace zvk::cli
