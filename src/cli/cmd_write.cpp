// SPDX-License-Identifier: MIT
// write, status and decode-status: the register routines on a board.
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>

#include "base/Text.h"
#include "chip/FieldMap.h"
#include "cli/Cli.h"
#include "cli/Json.h"
#include "session/LockCheck.h"
#include "session/LockTime.h"
#include "storage/ConfigFile.h"

namespace zvk::cli {

namespace {

struct WriteOptions {
    std::string regs;
    bool defaults = false;
    std::string file;
    std::optional<std::string> abc;  // given: a preset index 0..7
    BoardOptions board;
    bool plan = false;
    bool json = false;
    bool expectLock = false;
    std::optional<std::string> settle;  // milliseconds before the lock check
};

void statusJson(nlohmann::json& j, uint16_t word, bool showLd);

RegisterImage parseRegs(const std::string& text) {
    RegisterImage regs{};
    std::stringstream ss(text);
    std::string item;
    size_t n = 0;
    while (std::getline(ss, item, ',')) {
        if (n == 8) throw BadInput("--regs: more than eight registers in " + quotedText(text));
        const long v = parseInteger(item, "--regs");
        if (v < 0 || v > 0xFFFF)
            throw BadInput("--regs: " + quotedText(item) + " is outside 0..0xFFFF");
        regs[n++] = uint16_t(v);
    }
    // getline drops a trailing empty item, which would let "1,...,8," through.
    if (!text.empty() && text.back() == ',')
        throw BadInput("--regs: " + quotedText(text) + " ends with a comma");
    if (n != 8)
        throw BadInput("--regs: expected eight registers R0,...,R7, got " + std::to_string(n) +
                       " in " + quotedText(text));
    return regs;
}

void runWrite(CommandContext& ctx, const WriteOptions& o) {
    const int sources = int(!o.regs.empty()) + int(o.defaults) + int(!o.file.empty());
    if (sources != 1) throw BadInput("write: give exactly one of --regs, --defaults or a FILE.cfg");
    // Only a preset the chip has: no sign, no blank, no "not given" value of our own.
    std::optional<int> abc;
    if (o.abc) {
        const auto v = zvk::parseInteger(*o.abc, {.hexPrefix = false, .min = 0, .max = 7});
        if (!v) throw BadInput("--abc: " + quotedText(*o.abc) + " is not a preset index 0..7");
        abc = int(*v);
    }
    if (o.plan && o.file.empty())
        throw BadInput("--plan: plans N and A from a FILE.cfg's fRF; give a FILE.cfg");
    if (o.settle && !o.expectLock) throw BadInput("--settle: only with --expect-lock");
    uint32_t settleMs = 20;
    if (o.settle) {
        const auto v = zvk::parseInteger(*o.settle, {.hexPrefix = false, .min = 0, .max = 60000});
        if (!v)
            throw BadInput("--settle: " + quotedText(*o.settle) +
                           " is not a number of milliseconds 0..60000");
        settleMs = uint32_t(*v);
    }
    RegisterImage regs = kDefaultImage;
    if (!o.regs.empty()) regs = parseRegs(o.regs);
    // A bad file is refused before the board is touched.
    std::optional<Config> fileConfig;
    if (!o.file.empty()) fileConfig = loadConfigOrThrow(o.file);

    // The image to write, made in a core as the window makes it; a refused plan or a lock
    // check that could not say anything is bad input.
    auto prepare = [&](CtlSession& s) {
        Session& core = *s.core;
        core.setImage(regs, !abc, abc.value_or(0));
        if (!o.file.empty()) {
            if (o.plan) {
                // Loaded as the window loads it: the mode, the frequencies and the plan.
                core.takeConfig(Config{});
                if (auto error = core.loadConfiguration(o.file)) throw BadInput(*error);
                if (s.observer.refusal) throw BadInput("--plan: " + *s.observer.refusal);
            } else {
                core.takeConfig(*fileConfig);
            }
            // The file's mode and preset, unless --abc says otherwise.
            if (abc) core.setImage(core.regs(), false, *abc);
        }
        if (o.expectLock)
            if (auto why = lockUnreadable(*s.core)) throw BadInput("--expect-lock: " + *why);
    };
    // First in a core of its own: every refusal comes before the board is touched, even
    // by the logic level its start-up sends.
    prepare(*planningSession());

    std::vector<NamedFile> inputs;
    if (!o.file.empty()) inputs.push_back({"the configuration file", o.file});
    auto s = openSession(ctx, o.board, inputs, o.json);
    prepare(*s);
    s->resetCounts();
    s->core->writeCycle();
    const std::optional<LockTime> lock = s->core->lastLockTime();
    std::optional<SettledStatus> settled;
    if (o.expectLock) {
        settled = statusAfterSettle(*s->core, settleMs);
        if (!settled) throw Unreachable("--expect-lock: the status register could not be read");
    }

    nlohmann::json j;
    j["registers"] = registersJson(s->core->regs());
    j["transport"] = s->transport();
    if (settled) statusWordJson(j["status"], settled->word, settled->decoding);
    if (lock) lockTimeJson(j, *lock);
    s->addBoardJson(j);
    s->finishTrace(j);
    printResult(ctx, o.json, j, [&] {
        std::printf("transport   %s\nregisters  %s\n", s->transport().c_str(),
                    registersLine(s->core->regs()).c_str());
        if (settled)
            std::printf("status      %s  LD %s\n", registerText(settled->word).c_str(),
                        settled->decoding.LD.c_str());
        if (lock)
            std::printf("lock time   %s ms%s (%s)\n", fixedText(lock->ms, 3).c_str(),
                        lock->capped ? " or more (capped)" : "",
                        lockTimeResolutionText(lock->resolutionMs, s->transport()).c_str());
        s->printBoard();
    });
    if (o.plan) reportUnfitN(ctx, *s->core);
    if (settled && !settled->locked) {
        std::fprintf(stderr, "zvk40310ctl: not locked %u ms after the write (status %s)\n",
                     unsigned(settleMs), registerText(settled->word).c_str());
        ctx.exitCode = kNotLocked;
    }
}

void printStatus(const nlohmann::json& j) {
    std::printf("word      %s\nIFFVAL    %s\nIFFSTATE  %s\nLD        %s\nRSSI      %s\n",
                j["word"].get<std::string>().c_str(), j["IFFVAL"].get<std::string>().c_str(),
                j["IFFSTATE"].get<std::string>().c_str(), j["LD"].get<std::string>().c_str(),
                j["RSSI"].get<std::string>().c_str());
}

void statusJson(nlohmann::json& j, uint16_t word, bool showLd) {
    statusWordJson(j, word, decodeStatus(word, showLd));
}

}  // namespace

void addWriteCommands(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<WriteOptions>();
    CLI::App* w = app.add_subcommand("write", "one write cycle with a register image");
    w->add_option("--regs", o->regs, "R0,...,R7 (decimal or 0x hexadecimal)");
    w->add_flag("--defaults", o->defaults, "the default register image");
    w->add_option("file", o->file, "a register configuration file (.cfg)");
    w->add_option_function<std::string>(
        "--abc", [o](const std::string& text) { o->abc = text; },
        "ABC mode with this preset index 0..7");
    addBoardOptions(w, o->board);
    w->add_flag("--plan", o->plan, "plan N and A from the file's fRF first");
    w->add_flag("--json", o->json, "one JSON object on standard output");
    w->add_flag("--expect-lock", o->expectLock,
                "read the status after the write; exit code 3 when the synthesizer is not locked");
    w->add_option_function<std::string>(
        "--settle", [o](const std::string& text) { o->settle = text; },
        "milliseconds between the write and the lock check (default 20)");
    w->callback([o, &ctx] { runWrite(ctx, *o); });

    auto st = std::make_shared<WriteOptions>();
    auto showLd = std::make_shared<std::string>("1");
    CLI::App* s = app.add_subcommand("status", "read and decode the status register");
    addBoardOptions(s, st->board);
    addChoice(s, "--showld", *showLd, {"0", "1"}, "1: LDRSSIL is lock detect, 0: RSSI low flag");
    s->add_flag("--json", st->json, "one JSON object on standard output");
    auto watch = std::make_shared<std::string>();
    auto count = std::make_shared<std::string>();
    s->add_option("--watch", *watch,
                  "read every MS milliseconds, one CSV line (JSON Lines with --json) each, "
                  "until --count reads or Ctrl+C");
    s->add_option("--count", *count, "with --watch: stop after N reads");
    s->callback([st, showLd, watch, count, &ctx] {
        const bool ld = *showLd == "1";
        if (!count->empty() && watch->empty()) throw BadInput("--count: needs --watch");
        if (!watch->empty()) {
            const long ms = parseInteger(*watch, "--watch");
            if (ms < 1 || ms > 3600000)
                throw BadInput("--watch: " + quotedText(*watch) + " is outside 1..3600000 ms");
            const long n = count->empty() ? 0 : parseInteger(*count, "--count");
            if (n < 0 || (!count->empty() && n == 0))
                throw BadInput("--count: " + quotedText(*count) +
                               " is not a count of reads above 0");
            auto sess = openSession(ctx, st->board, {}, st->json);
            watchStatus(ctx, *sess, ms, n, st->json || ctx.jsonLines(), ld);
            return;
        }
        auto sess = openSession(ctx, st->board, {}, st->json);
        sess->resetCounts();
        const auto word = sess->core->registerRead(7);
        nlohmann::json j;
        statusJson(j, word.value_or(0), ld);
        j["transport"] = sess->transport();
        sess->addBoardJson(j);
        sess->finishTrace(j);
        printResult(ctx, st->json, j, [&] {
            printStatus(j);
            std::printf("transport %s\n", sess->transport().c_str());
            sess->printViolations();
        });
    });

    auto word = std::make_shared<std::string>();
    auto dsShowLd = std::make_shared<std::string>();
    auto dsJson = std::make_shared<bool>(false);
    CLI::App* d = app.add_subcommand("decode-status", "decode a given 12-bit status word");
    d->add_option("word", *word, "the status word (decimal or 0x hexadecimal)")->required();
    addChoice(d, "--showld", *dsShowLd, {"0", "1"}, "1: LDRSSIL is lock detect, 0: RSSI low flag")
        ->required();
    d->add_flag("--json", *dsJson, "one JSON object on standard output");
    d->callback([word, dsShowLd, dsJson, &ctx] {
        const long value = parseInteger(*word, "WORD");
        if (value < 0 || value > 0xFFF)
            throw BadInput("WORD: " + quotedText(*word) + " is outside 0..0xFFF");
        const bool ld = *dsShowLd == "1";
        nlohmann::json j;
        statusJson(j, uint16_t(value), ld);
        printResult(ctx, *dsJson, j, [&] { printStatus(j); });
    });
}

}  // namespace zvk::cli
