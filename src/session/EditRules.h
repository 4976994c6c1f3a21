// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "chip/FieldMap.h"
#include "chip/Registers.h"
#include "plan/FrequencyPlan.h"

namespace zvk {

// The window's edits and what their texts stand for. The window and zvk40310ctl read
// texts through these rules only; the plan itself takes numbers.

// What the frequency edits and the injection radio group hold: the planning and
// recompute steps read the state from them.
struct PlanEdits {
    std::string fxtal = "10.000";  // E_fXTAL
    std::string frf = "433.000";   // E_fRFI
    int rgIf1 = 0;                 // the selection of RG_IF1
};
// The divider edits' texts (E_R, E_N, E_A): a band preset plans from what they show.
struct DividerEdits {
    std::string r, n, a;
};
// ReadFrequencyState from the edits: a text that is no number reads as the edit's design
// value (10.0, 433.0; no comma conversion, no limits), and INJLO1 is 1 - the selection
// (-1 when nothing is selected reads as 2).
void ReadFrequencyState(FrequencyState& s, const RegisterImage& regs, const PlanEdits& e);
double xtalEditState(std::string_view text);
double rfEditState(std::string_view text);
// The item RG_IF1 shows for INJLO1: 1 - INJLO1, where below -1 selects nothing (-1) and
// beyond the last item selects the last.
int rgIf1Selection(int injlo1);

// A divider or filter edit: what a text that is no integer gives, and the spinner's range.
struct EditRule {
    int fallback, min, max;
};
inline constexpr EditRule kREdit{75, 3, 2047};
inline constexpr EditRule kAEdit{12, 0, 31};
inline constexpr EditRule kNEdit{119, 3, 2047};
inline constexpr EditRule kRiffEdit{684, 4, 2047};
inline constexpr EditRule kIffresEdit{133, 0, 255};

// Edit parse rules with their fallbacks and limits. Values beyond a spinner's range are
// clamped to it, so they never reach a neighbouring field.
inline constexpr double kMinXtal = 1.0;       // MHz: the crystal edit holds no less
double parseXtalEdit(std::string_view text);  // first ',' -> '.', fallback 10.0, min 1.0
double parseRfEdit(std::string_view text);    // fallback 433.0
int parseREdit(std::string_view text);        // kREdit
int parseAEdit(std::string_view text);        // kAEdit
int parseNEdit(std::string_view text);        // kNEdit
int parseRiffEdit(std::string_view text);     // kRiffEdit
int parseIffresEdit(std::string_view text);   // kIffresEdit
// Without fallback (spinner release, ApplyDividerEdits, B_CalcNA) the edits are read with
// parseDecimal and parseDouble of base/Numbers.h: nullopt when the text does not convert.

// A divider or filter edit's text as its field's value under the edit's rule (R, A, N,
// RIFF or IFFPRES).
int numberEditValue(const Field& f, std::string_view text);
// The rule of the edit that sets a number field (R, A, N, RIFF, IFFPRES); null for others.
const EditRule* numberEditRule(const Field& f);
// The states a field's control can take: the numbers its edit keeps as typed, the items of
// a combo box (every value of the field; MFO's empty seventeenth item is no state), 0..1
// for a radio group or check box. Status fields have no control: an empty range.
struct StateRange {
    int min, max;
};
StateRange controlStateRange(const Field& f);
// The conversion error of a text that should have been an integer.
std::string notAValidInteger(std::string_view text);

// Parses E_R, E_N and E_A (in that order) and writes R, N and A into the register image.
// Unguarded as in the window: returns the text that did not convert, and then changes
// nothing (all three convert before any is written). No lower limits apply; only a value
// beyond a field's width or below zero is clamped to the spinner range (unguardedFieldValue).
std::optional<std::string> ApplyDividerEdits(RegisterImage& regs, std::string_view eR,
                                             std::string_view eN, std::string_view eA);

}  // namespace zvk
