// SPDX-License-Identifier: MIT
// plan: the planning step and the recompute step, as "Calculate" does them.
#include <cmath>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "base/Text.h"
#include "chip/FieldMap.h"
#include "cli/Cli.h"
#include "cli/Correction.h"
#include "cli/Json.h"
#include "plan/FrequencyPlan.h"
#include "plan/PlanPicture.h"
#include "plan/PlanSvg.h"

namespace zvk::cli {

namespace {

struct PlanOptions {
    std::string rf;
    std::string xtal = "10";
    std::string r = "75";
    std::string riff = "684";
    std::string lo1 = "high";
    std::string lo2 = "low";
    std::string lo2div = "4";
    bool json = false;
    bool spurs = false;
    std::string svg;
    CorrectionOptions correction;
};

// "3..2047": the range a divider's spinner allows.
std::string span(const EditRule& rule) {
    return std::to_string(rule.min) + ".." + std::to_string(rule.max);
}

long integerIn(const std::string& text, const std::string& option, const EditRule& rule) {
    const long v = parseInteger(text, option);
    if (v < rule.min || v > rule.max)
        throw BadInput(option + ": " + quotedText(text) + " is outside " + span(rule));
    return v;
}

void setField(RegisterImage& regs, const char* name, uint32_t value) {
    setFieldValue(regs, *findField(name), value);
}

void runPlan(CommandContext& ctx, const PlanOptions& o) {
    const double rf = parseNumber(o.rf, "--rf");
    const double xtal = parseNumber(o.xtal, "--xtal");
    if (xtal < 1.0) throw BadInput("--xtal: " + quotedText(o.xtal) + " is below 1.0 MHz");
    const long r = integerIn(o.r, "--r", kREdit);
    const long riff = integerIn(o.riff, "--riff", kRiffEdit);
    // The choices are checked while the command line is read.
    const bool lo1High = o.lo1 == "high";
    const bool lo2High = o.lo2 == "high";
    // The picture's file can be written before anything is planned.
    if (!o.svg.empty()) checkFiles(ctx, {{"--svg", o.svg}}, {}, o.json);

    const CorrectionInUse correction =
        correctionInUse(o.correction, storedCorrection(ctx, o.correction));
    auto session = planningSession();
    session->core->setCrystalCorrection(correction.correction);
    Session& core = *session->core;
    RegisterImage start = kDefaultImage;
    setField(start, "R", uint32_t(r));
    setField(start, "RIFF", uint32_t(riff));
    setField(start, "LO2DIV", o.lo2div == "8" ? 1 : 0);
    setField(start, "SSBSEL", lo2High ? 1 : 0);
    core.planFrequencies(start, xtal, rf, lo1High ? 1 : 0);
    const FrequencyState& s = core.frequencies();
    if (const auto& refusal = session->observer.refusal) {
        // A frequency beyond single precision is always refused; the option's own
        // wording says why.
        if (!std::isfinite(rfArgument(s.fRF)))
            throw BadInput("--rf: " + quotedText(o.rf) +
                           " is beyond the single-precision range of the plan");
        throw BadInput("--rf: " + *refusal);
    }
    const TuningInfo t = ShowTuningInfo(s);

    nlohmann::json j;
    addTuningJson(j, s, t);
    const RegisterImage& regs = core.regs();
    j["registers"] = registersJson(regs);
    const CorrectedFrequencies corrected = core.correctedFrequencies();
    j["corrected"] = correctedJson(correction, corrected);
    const PlanPicture picture = planPicture(s, correction.correction.ppm);
    if (o.spurs) j["picture"] = pictureJson(picture);
    if (!o.svg.empty()) writeOut(o.svg, drawPlan(picture).svg, "--svg");

    printResult(ctx, o.json, j, [&] {
        printCounters(t, s, 7);
        // The state was read back from the image, so N is the 11 bits that R2 and R3 hold.
        const Field& n = field("N");
        const FieldPart low = n.low();
        const unsigned lowBits = unsigned(s.N) & ((1u << low.width) - 1);
        const unsigned highBits = unsigned(s.N) >> low.width;
        std::printf("R%d      %s  N bits %d..0 = %u, A = %u\n", low.reg,
                    registerText(regs[size_t(low.reg)]).c_str(), low.width - 1, lowBits,
                    unsigned(s.A));
        std::printf("R%d      %s  N bits %d..%d = %u, LO2DIV = %u\n", n.high.reg,
                    registerText(regs[size_t(n.high.reg)]).c_str(), n.width - 1, low.width,
                    highBits, fieldValue(regs, field("LO2DIV")));
        printTuningRows(t, 7);
        printCorrection(correction, s, t, corrected);
        if (!o.spurs) return;
        std::printf("image1  %s\nimage2  %s (mirror %s)\n", formatFrequency(picture.image1).c_str(),
                    formatFrequency(picture.image2).c_str(),
                    formatFrequency(picture.image2Mirror).c_str());
        for (const Spur& sp : picture.spurs)
            std::printf("spur    %s  m %d, n %d, order %d\n", formatFrequency(sp.f).c_str(), sp.m,
                        sp.n, sp.order);
        for (const ReferenceProduct& product : picture.reference)
            std::printf("%-7s %s  k %d, near %s\n", product.kind.c_str(),
                        formatFrequency(product.f).c_str(), product.k, product.near.c_str());
    });
    reportUnfitN(ctx, core);
}

}  // namespace

void addPlanCommand(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<PlanOptions>();
    CLI::App* p = app.add_subcommand(
        "plan", "plan N and A for a wanted RF frequency and show the frequency plan");
    p->add_option("--rf", o->rf, "wanted RF frequency in MHz")->required();
    p->add_option("--xtal", o->xtal, "crystal frequency in MHz, at least 1.0")
        ->capture_default_str();
    p->add_option("--r", o->r, "reference divider R, " + span(kREdit))->capture_default_str();
    p->add_option("--riff", o->riff, "IF filter divider RIFF, " + span(kRiffEdit))
        ->capture_default_str();
    addChoice(p, "--lo1", o->lo1, {"high", "low"}, "LO1 injection side");
    addChoice(p, "--lo2", o->lo2, {"high", "low"}, "LO2 injection side");
    addChoice(p, "--lo2div", o->lo2div, {"4", "8"}, "LO2 divider");
    p->add_flag("--json", o->json, "one JSON object on standard output");
    p->add_flag("--spurs", o->spurs,
                "also the images, the first mixer's spurs and the reference products");
    p->add_option("--svg", o->svg,
                  "also draw the plan as an SVG picture into FILE (- for standard output)")
        ->option_text("FILE");
    addCorrectionOptions(p, o->correction, true);
    p->callback([o, &ctx] { runPlan(ctx, *o); });
}

}  // namespace zvk::cli
