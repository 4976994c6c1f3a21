// SPDX-License-Identifier: MIT
// locktime: hop between two wanted frequencies and time how long the synthesizer takes to
// lock after each hop.
#include <cmath>
#include <cstdio>

#include "base/Numbers.h"
#include "base/Text.h"
#include "cli/Cli.h"
#include "cli/Json.h"
#include "session/LockTime.h"

namespace zvk::cli {

namespace {

struct LockTimeOptions {
    std::string file;
    bool defaults = false;
    std::string from, to;
    std::string repeat = "10";
    BoardOptions board;
    bool json = false;
};

constexpr long kMaxHops = 10000;

void runLockTime(CommandContext& ctx, const LockTimeOptions& o) {
    if (o.defaults == !o.file.empty())
        throw BadInput("locktime: give either a FILE.cfg or --defaults");
    const double from = parseNumber(o.from, "--from");
    const double to = parseNumber(o.to, "--to");
    if (from == to) throw BadInput("--to: " + quotedText(o.to) + " is no hop from --from");
    const long repeat = parseInteger(o.repeat, "--repeat");
    if (repeat < 1 || repeat > kMaxHops)
        throw BadInput("--repeat: " + quotedText(o.repeat) + " is outside 1.." +
                       std::to_string(kMaxHops));
    if (!o.file.empty()) loadConfigOrThrow(o.file);
    // The file is loaded as the window loads it; MFO goes to LD out in the program only,
    // the file stays as it is.
    auto load = [&](Session& core) {
        loadStartImage(core, o.file, o.defaults);
        if (!core.spiMode())
            throw BadInput("locktime: the chip is in ABC mode: no write cycle reaches it");
        selectLockDetectOutput(core);
    };
    // Every refusal, the plans of both frequencies included, before the board is touched.
    {
        auto planning = planningSession();
        load(*planning->core);
        for (double mhz : {from, to})
            if (auto refusal = planning->core->planQuietly(mhz))
                throw BadInput("locktime: " + formatFrequency(mhz) + " MHz: " + *refusal);
    }
    std::vector<NamedFile> inputs;
    if (!o.file.empty()) inputs.push_back({"the configuration file", o.file});
    auto s = openSession(ctx, o.board, inputs, o.json);
    load(*s->core);
    s->resetCounts();
    std::vector<LockTimeHop> hops;
    if (auto refusal = lockTimeHops(*s->core, from, to, int(repeat), hops))
        throw BadInput("locktime: " + *refusal);
    const LockTimeSummary sum = summarizeLockTimes(hops);

    nlohmann::json j;
    j["transport"] = s->transport();
    nlohmann::json list = nlohmann::json::array();
    for (const LockTimeHop& h : hops) {
        nlohmann::json hop;
        hop["from"] = h.from;
        hop["to"] = h.to;
        if (h.time) lockTimeJson(hop, *h.time);
        list.push_back(hop);
    }
    j["hops"] = list;
    j["measured"] = sum.measured;
    j["capped"] = sum.capped;
    if (sum.measured > 0) {
        auto ms = [](double v) { return std::round(v * 1000.0) / 1000.0; };
        j["min_ms"] = ms(sum.minMs);
        j["median_ms"] = ms(sum.medianMs);
        j["max_ms"] = ms(sum.maxMs);
    }
    j["resolution_ms"] = sum.resolutionMs;
    s->addBoardJson(j);
    s->finishTrace(j);
    printResult(ctx, o.json, j, [&] {
        for (const LockTimeHop& h : hops) {
            std::printf("%s -> %s MHz  ", formatFrequency(h.from).c_str(),
                        formatFrequency(h.to).c_str());
            if (h.time)
                std::printf("%s ms%s\n", fixedText(h.time->ms, 3).c_str(),
                            h.time->capped ? " or more (capped)" : "");
            else
                std::printf("no measurement: the lock-detect pin was low already\n");
        }
        if (sum.measured > 0) std::printf("%s\n", lockTimeRangeText(sum).c_str());
        std::printf("%s\n", lockTimeResolutionText(sum.resolutionMs, s->transport()).c_str());
        s->printBoard();
    });
    // Not one lock: the synthesizer is off (OPMODE), beyond its range, or MFO is not wired.
    if (sum.measured == sum.capped) {
        std::fprintf(stderr,
                     "zvk40310ctl: locktime: the synthesizer locked after no hop: is it running "
                     "(OPMODE) and MFO wired?\n");
        ctx.exitCode = kNotLocked;
    }
}

}  // namespace

void addLockTimeCommand(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<LockTimeOptions>();
    CLI::App* c = app.add_subcommand(
        "locktime", "hop between two frequencies and time the synthesizer's lock after each hop");
    c->add_option("file", o->file, "a register configuration file (.cfg)");
    c->add_flag("--defaults", o->defaults, "the values a configuration file starts from");
    c->add_option("--from", o->from, "the first wanted frequency in MHz")->required();
    c->add_option("--to", o->to, "the other wanted frequency in MHz")->required();
    c->add_option("--repeat", o->repeat, "how many hops (to, from, to, ...)")
        ->capture_default_str();
    addBoardOptions(c, o->board);
    c->add_flag("--json", o->json, "JSON instead of text");
    c->callback([o, &ctx] { runLockTime(ctx, *o); });
}

}  // namespace zvk::cli
