// SPDX-License-Identifier: MIT
#pragma once
// Every JSON object zvk40310ctl builds from the core's records, and the one rule for its
// texts. The register map's JSON (registersJson, fieldsJson, registerMapJson) is the
// core's, in storage/RegisterMap.h.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "plan/FrequencyPlan.h"
#include "plan/PlanPicture.h"
#include "session/StatusPoll.h"
#include "session/Sweep.h"
#include "storage/RegisterMap.h"

namespace zvk::cli {

// The one rule for a text zvk40310ctl prints, as text or as JSON: a byte that is no part
// of valid UTF-8 (a file name in another encoding) stands for the character of its value,
// U+0080..U+00FF. The text output shows that character in UTF-8; the JSON output, plain
// ASCII, escapes it as \u00XX, which reads back as the same character.
std::string validUtf8(std::string_view text);

// The object as zvk40310ctl prints it: every text made valid by validUtf8, plain ASCII,
// indented by two blanks or, oneLine, on one line (JSON Lines).
std::string jsonText(const nlohmann::json& j, bool oneLine);
// One JSON object on one line, plain ASCII.
std::string jsonLine(const nlohmann::json& j);

// Ntot, N, A, the tuning-info texts and the list of keys shown red.
void addTuningJson(nlohmann::json& j, const FrequencyState& s, const TuningInfo& t);
// A status word's keys: word, IFFVAL, IFFSTATE, LD and RSSI.
void statusWordJson(nlohmann::json& j, uint16_t word, const StatusDecoding& d);
// The status reading's keys: those of statusWordJson and, when set, suspect.
void statusReadingJson(nlohmann::json& j, const StatusReading& r);
// lock_time_ms, lock_time_capped and lock_time_resolution_ms.
void lockTimeJson(nlohmann::json& j, const LockTime& t);
// plan --spurs: the images, the spurs and the reference products.
nlohmann::json pictureJson(const PlanPicture& p);
// One point of a sweep: the wanted frequency, then the refusal or the counters, the tuned
// fRF and the status reading.
nlohmann::json sweepPointJson(const SweepPoint& p);

}  // namespace zvk::cli
