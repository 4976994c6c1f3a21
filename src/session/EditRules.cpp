// SPDX-License-Identifier: MIT
#include "session/EditRules.h"

#include <algorithm>

#include "base/Numbers.h"
#include "chip/FieldMap.h"

namespace zvk {

namespace {

// Field value as a spinner would have it: fallback when the text is no integer, then
// clamped to the range (the lower end being the edit's own limit).
int guardedInteger(std::string_view text, const EditRule& rule) {
    const auto v = parseDecimal(text);
    if (!v) return rule.fallback;
    return int(std::clamp<long long>(*v, rule.min, rule.max));
}

}  // namespace

double xtalEditState(std::string_view text) {
    return parseDouble(text).value_or(10.0);
}

double rfEditState(std::string_view text) {
    return parseDouble(text).value_or(433.0);
}

int rgIf1Selection(int injlo1) {
    return std::clamp(1 - injlo1, -1, 1);
}

void ReadFrequencyState(FrequencyState& s, const RegisterImage& regs, const PlanEdits& e) {
    ReadFrequencyState(s, regs, xtalEditState(e.fxtal), rfEditState(e.frf), int16_t(1 - e.rgIf1));
}

double parseXtalEdit(std::string_view text) {
    std::string t(text);
    if (const auto comma = t.find(','); comma != std::string::npos) t[comma] = '.';
    const double v = parseDouble(t).value_or(10.0);
    return v < kMinXtal ? kMinXtal : v;
}

double parseRfEdit(std::string_view text) {
    return parseDouble(text).value_or(433.0);
}

int parseREdit(std::string_view text) {
    return guardedInteger(text, kREdit);
}
int parseAEdit(std::string_view text) {
    return guardedInteger(text, kAEdit);
}
int parseNEdit(std::string_view text) {
    return guardedInteger(text, kNEdit);
}
int parseRiffEdit(std::string_view text) {
    return guardedInteger(text, kRiffEdit);
}
int parseIffresEdit(std::string_view text) {
    return guardedInteger(text, kIffresEdit);
}

std::optional<std::string> ApplyDividerEdits(RegisterImage& regs, std::string_view eR,
                                             std::string_view eN, std::string_view eA) {
    // All three convert before anything is written: a bad N must not leave a new R
    // behind.
    const auto r = parseDecimal(eR);
    if (!r) return std::string(eR);
    const auto n = parseDecimal(eN);
    if (!n) return std::string(eN);
    const auto a = parseDecimal(eA);
    if (!a) return std::string(eA);

    auto write = [&regs](const char* name, const EditRule& rule, long long value) {
        const Field& f = *findField(name);
        setFieldValue(regs, f, unguardedFieldValue(value, f.width, rule.min, rule.max));
    };
    write("R", kREdit, *r);
    write("N", kNEdit, *n);
    write("A", kAEdit, *a);
    return std::nullopt;
}

const EditRule* numberEditRule(const Field& f) {
    struct Rule {
        const Field& field;
        const EditRule& rule;
    };
    static const Rule rules[] = {{field("R"), kREdit},
                                 {field("A"), kAEdit},
                                 {field("N"), kNEdit},
                                 {field("RIFF"), kRiffEdit},
                                 {field("IFFPRES"), kIffresEdit}};
    for (const Rule& r : rules)
        if (&r.field == &f) return &r.rule;
    return nullptr;
}

StateRange controlStateRange(const Field& f) {
    switch (f.encoding) {
        case Encoding::Number:
        case Encoding::SplitN:
            if (const EditRule* rule = numberEditRule(f)) return {rule->min, rule->max};
            return {0, int((1u << f.width) - 1)};
        case Encoding::Radio:
        case Encoding::Check:
        case Encoding::Inverted:
            return {0, 1};
        case Encoding::ItemIndex:
        case Encoding::Mfo:
            return {0, int((1u << f.width) - 1)};
        case Encoding::Status:
            break;
    }
    return {0, -1};
}

int numberEditValue(const Field& f, std::string_view text) {
    struct Rule {
        const Field& field;
        int (*parse)(std::string_view);
    };
    static const Rule rules[] = {{field("R"), parseREdit},
                                 {field("A"), parseAEdit},
                                 {field("N"), parseNEdit},
                                 {field("RIFF"), parseRiffEdit},
                                 {field("IFFPRES"), parseIffresEdit}};
    for (const Rule& r : rules)
        if (&r.field == &f) return r.parse(text);
    return 0;
}

std::string notAValidInteger(std::string_view text) {
    return "'" + std::string(text) + "' is not a valid integer value";
}

}  // namespace zvk
