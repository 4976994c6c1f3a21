// SPDX-License-Identifier: MIT
#include "session/ConfigDiff.h"

#include "base/Numbers.h"
#include "plan/FrequencyPlan.h"

namespace zvk {

namespace {

// The tuning texts the image gives with the file's crystal and injection, as the window
// shows them after loading the file, without planning anything new.
TuningInfo plannedTexts(const Config& c) {
    FrequencyState s;
    ReadFrequencyState(s, c.regs, c.fxtal, c.frf, c.injlo1);
    // The recompute step keeps the second IF of the last plan, which the window's load
    // makes from this crystal and RIFF; a fresh state would tune every frequency off by
    // fIF2. A RIFF of 0 counts as the planning step counts it.
    s.fIF2 = ifFilterCentre(s.fXTAL, s.RIFF == 0 ? 4.0 : double(s.RIFF));
    RecomputeFrequencies(s);
    return ShowTuningInfo(s);
}

std::string modeText(bool spi) {
    return spi ? "SPI" : "ABC";
}

// The bits of each register that a field of the map holds.
RegisterImage fieldBits() {
    RegisterImage bits{};
    for (const Field& f : kFieldMap)
        for (const FieldPart& p : {f.low(), f.high})
            if (p.width > 0) bits[size_t(p.reg)] |= uint16_t(((1u << p.width) - 1) << p.lowBit);
    return bits;
}

}  // namespace

std::vector<ConfigDifference> compareConfigs(const Config& a, const Config& b) {
    std::vector<ConfigDifference> out;
    auto add = [&](std::string name, std::string before, std::string after,
                   const Field* f = nullptr) {
        if (before != after)
            out.push_back({std::move(name), std::move(before), std::move(after), f});
    };
    for (const Field& f : kFieldMap)
        add(f.name, std::to_string(fieldValue(a.regs, f)), std::to_string(fieldValue(b.regs, f)),
            &f);
    // A file holds 16-bit words: bits that no field holds (R3's bit 12 from lab mode's MFO
    // items) differ as whole words.
    static const RegisterImage mapped = fieldBits();
    for (size_t i = 0; i < a.regs.size(); ++i)
        if (((a.regs[i] ^ b.regs[i]) & ~mapped[i]) != 0)
            add("R" + std::to_string(i), registerText(a.regs[i]), registerText(b.regs[i]));
    add("fRF", formatFrequency(a.frf), formatFrequency(b.frf));
    add("mode", modeText(a.spisel), modeText(b.spisel));
    add("preset", std::to_string(a.pllmux), std::to_string(b.pllmux));
    add("fXtal", formatFrequency(a.fxtal), formatFrequency(b.fxtal));
    add("INJLO1", std::to_string(a.injlo1), std::to_string(b.injlo1));

    const TuningInfo ta = plannedTexts(a);
    const TuningInfo tb = plannedTexts(b);
    const struct {
        const char* name;
        const TuningItem TuningInfo::*item;
    } planned[] = {
        {"planned fRF", &TuningInfo::fRF},   {"planned fCH", &TuningInfo::fCH},
        {"planned fIF1", &TuningInfo::fIF1}, {"planned fIF2", &TuningInfo::fIF2},
        {"planned fLO1", &TuningInfo::fLO1}, {"planned fLO2", &TuningInfo::fLO2},
        {"planned fPFD", &TuningInfo::fPFD}, {"planned fIFF", &TuningInfo::IF2CH},
    };
    for (const auto& p : planned) add(p.name, (ta.*p.item).text, (tb.*p.item).text);
    return out;
}

RegisterImage differingBits(const RegisterImage& a, const RegisterImage& b) {
    RegisterImage mask{};
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = uint16_t(a[i] ^ b[i]);
    return mask;
}

std::string differenceLine(const ConfigDifference& d) {
    return d.name + "  " + d.before + " -> " + d.after;
}

}  // namespace zvk
