// SPDX-License-Identifier: MIT
#include "cli/Cli.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "base/Numbers.h"
#include "base/Text.h"
#include "board/VirtualAdapter.h"
#include "cli/Json.h"
#include "cli/TuningRows.h"
#include "storage/FileText.h"
#include "transport/Parports.h"

namespace zvk::cli {

OutputFailed::OutputFailed(int err)
    : std::runtime_error(std::string("cannot write the output: ") +
                         (err == EPIPE ? "broken pipe (its reader is gone)" : std::strerror(err))),
      number(err) {}

CLI::Option* addChoice(CLI::App* command, const std::string& name, std::string& value,
                       const std::vector<std::string>& choices, const std::string& description) {
    return command->add_option(name, value, description)
        ->check(CLI::IsMember(choices))
        ->capture_default_str();
}

std::string portOptionHelp() {
    return "parallel-port base address 0x" + hexText(kMinPortBase, 1) + "..0x" +
           hexText(kMaxPortBase, 1) +
           ", or the kernel's name parportN (default: the settings' "
           "Adr, else 0x" +
           hexText(kDefaultPortBase, 3) + ")";
}

void addBoardOptions(CLI::App* command, BoardOptions& o) {
    std::string kinds;
    for (const BoardKind& k : kBoardKinds)
        kinds += std::string("\n  ") + k.name + ": " + k.description;
    command
        ->add_option("--board", o.board,
                     "the board to talk to, KIND[:KNOB,...]:" + kinds +
                         "\nknobs of the virtual boards: " + boardKnobsHelp())
        ->check([](const std::string& text) {
            std::string error;
            return parseBoardOption(text, error) ? std::string() : error;
        })
        ->option_text("KIND[:KNOB,...]=" + o.board);
    command->add_option("--port", o.port, portOptionHelp());
    command->add_option("--device", o.device,
                        "the adapter to use when there are several (or another program has "
                        "one): usb:BUS/DEV or usb:path=PORT (the USB port path, such as "
                        "1-1.4); zvk40310ctl list shows them");
    addChoice(command, "--transport", o.transport, {"usb", "lpt"},
              "use only this transport and exit with 2 when it cannot be had, instead of "
              "falling back to the other");
    command->add_option("--busy-wait", o.busyWait,
                        "how long to try again while another program holds the parallel port, "
                        "in ms, before giving up with exit code 2 (default: " +
                            std::to_string(kDefaultBusyWaitMs) + ")");
    command->add_flag("--verbose", o.verbose,
                      "say on standard error what the hardware access had to do without "
                      "(real-time priority)");
    command->add_option("--level", o.level,
                        "the adapter's logic level: millivolts 0.." +
                            std::to_string(InterfaceDetection::kVpwmMax) +
                            ", or ext for an external reference (default: the settings' Level "
                            "and VPWM)");
    command->add_option("--trace", o.trace,
                        "write a text log of the transfers to this file (- for standard output)");
    command->add_option("--vcd", o.vcd,
                        "write a VCD file of the lines to this file (- for standard output)");
    command->add_flag("--trace-json", o.traceJson,
                      "with --json: the transfers as the key \"trace\"");
    command->add_option("--settings", o.settings,
                        "the settings file to read the logic level, delay and port from "
                        "(default: " +
                            programSettingsPath() + ", the window's)");
}

namespace {}  // namespace

int parsePort(const std::string& text, const std::string& procParport) {
    // A port on a PCI card sits at an address nobody remembers: its kernel name will do.
    if (const auto n = parportNumber(text)) {
        std::string known;
        for (const Parport& p : listParports(procParport)) {
            if (p.number == *n && validPortBase(p.base)) return p.base;
            // A port without I/O registers (a USB-to-parallel bridge) is driven by its own
            // chip a byte at a time: no line can be set alone.
            if (p.number == *n)
                throw Unreachable("--port: the kernel's " + quotedText(text) +
                                  " has no I/O base (base-addr " +
                                  (p.base >= 0 ? std::to_string(p.base) : std::string("unknown")) +
                                  "): a USB-to-parallel bridge or a printer port of another "
                                  "kind, which cannot set single lines; the board needs a PC "
                                  "parallel port or the ZVK_SPIUSB adapter");
            known += (known.empty() ? "" : ", ") + ("parport" + std::to_string(p.number));
        }
        // The same missing port given by its address gets as far as the driver and ends
        // as unreachable hardware: so does its name.
        throw Unreachable("--port: the kernel drives no " + quotedText(text) + " (" +
                          (known.empty() ? "no parallel port at all" : "only " + known) + ")");
    }
    const long v = parseInteger(text, "--port");
    if (!validPortBase(v))
        throw BadInput("--port: " + quotedText(text) + " is outside 0x" + hexText(kMinPortBase, 1) +
                       "..0x" + hexText(kMaxPortBase, 1));
    return int(v);
}

namespace {

// The level option into the settings record: "ext" or millivolts.
void applyLevel(const std::string& text, Settings& s) {
    if (text == "ext") {
        s.level = false;
        return;
    }
    const long mv = parseInteger(text, "--level");
    if (mv < 0 || mv > InterfaceDetection::kVpwmMax)
        throw BadInput("--level: " + quotedText(text) + " is outside 0.." +
                       std::to_string(InterfaceDetection::kVpwmMax) + " mV (or ext)");
    s.level = true;
    s.vpwm = int(mv);
}

std::unique_ptr<CtlSession> makeSession(const std::string& board, const std::string& settings,
                                        uint32_t busyWaitMs = kDefaultBusyWaitMs,
                                        const AdapterChoice& adapter = {}) {
    std::string error;
    if (!parseBoardOption(board, error)) throw BadInput("--board: " + error);
    auto s = std::make_unique<CtlSession>();
    SessionOptions options;
    options.boardName = board;
    options.settingsPath = settings;
    options.busyWaitMs = busyWaitMs;
    options.adapter = adapter;
    s->core = std::make_unique<Session>(options);
    s->core->setObserver(&s->observer);
    // Scripts get the lock time over the adapter too, one command per sample.
    s->core->setTimeLockOnEveryLink(true);
    return s;
}

}  // namespace

std::string settingsPathOf(const BoardOptions& o) {
    return o.settings.empty() ? programSettingsPath() : o.settings;
}

std::vector<NamedFile> boardOutputs(const BoardOptions& o) {
    std::vector<NamedFile> out;
    if (!o.trace.empty()) out.push_back({"--trace", o.trace});
    if (!o.vcd.empty()) out.push_back({"--vcd", o.vcd});
    return out;
}

namespace {

// Standard output or standard error under another name: the names the system gives them,
// or the very file either is redirected to.
std::optional<std::string> standardStream(const std::string& path) {
    const std::string normal = std::filesystem::path(path).lexically_normal().string();
    for (const char* name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"})
        if (normal == name) return "standard output";
    for (const char* name : {"/dev/stderr", "/dev/fd/2", "/proc/self/fd/2"})
        if (normal == name) return "standard error";
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0) return std::nullopt;
    for (int fd : {1, 2}) {
        struct stat stream {};
        if (::fstat(fd, &stream) == 0 && S_ISREG(stream.st_mode) && stream.st_dev == file.st_dev &&
            stream.st_ino == file.st_ino)
            return fd == 1 ? "standard output" : "standard error";
    }
    return std::nullopt;
}

}  // namespace

void checkFiles(const CommandContext& ctx, const std::vector<NamedFile>& outputs,
                const std::vector<NamedFile>& inputs, bool json) {
    std::vector<NamedFile> others = inputs;
    std::vector<NamedFile> written;
    if (const Script* script = ctx.script) {
        // A line's files against the script's: its trace goes out when the script ends.
        json = json || script->jsonLines;
        written = boardOutputs(script->board);
        if (script->path != "-") others.push_back({"the script", script->path});
        others.push_back({"the settings file", settingsPathOf(script->board)});
        for (const NamedFile& in : inputs)
            for (const NamedFile& out : written)
                if (out.path != "-" && fileIdentity(out.path) == fileIdentity(in.path))
                    throw BadInput(out.what + ": " + quotedPath(out.path) +
                                   " is the same file as " + in.what + " " + quotedPath(in.path) +
                                   ", which it would overwrite");
    }
    for (const NamedFile& o : outputs) {
        if (o.path == "-") {
            if (json)
                throw BadInput(o.what +
                               ": - would put text into the JSON output: with --json standard "
                               "output carries JSON only; give a file");
            continue;
        }
        if (auto stream = standardStream(o.path))
            throw BadInput(o.what + ": " + quotedPath(o.path) + " is " + *stream +
                           (*stream == "standard output" ? ": write it as - (or give a file)"
                                                         : ", where the messages go: give a file"));
        const std::string id = fileIdentity(o.path);
        for (const NamedFile& in : others)
            if (id == fileIdentity(in.path))
                throw BadInput(o.what + ": " + quotedPath(o.path) + " is the same file as " +
                               in.what + " " + quotedPath(in.path) + ", which it would overwrite");
        for (const NamedFile& before : written)
            if (before.path != "-" && id == fileIdentity(before.path))
                throw BadInput(o.what + ": " + quotedPath(o.path) + " is the same file as " +
                               before.what + " " + quotedPath(before.path) +
                               ": each output needs a file of its own");
        if (auto why = checkReplaceable(o.path))
            throw BadInput(o.what + ": " + quotedPath(o.path) + ": " + *why);
        written.push_back(o);
    }
}

std::shared_ptr<CtlSession> openSession(const CommandContext& ctx, const BoardOptions& given,
                                        const std::vector<NamedFile>& inputs, bool json) {
    Script* script = ctx.script;
    if (script != nullptr && script->session) {
        checkFiles(ctx, {}, inputs, json);
        return script->session;
    }
    const BoardOptions& o = script != nullptr ? script->board : given;
    // Every option is checked before anything touches the board.
    const std::optional<int> port =
        o.port.empty() ? std::nullopt
                       : std::optional<int>(parsePort(o.port, PortIoPaths{}.procParport));
    Settings level;
    if (!o.level.empty()) applyLevel(o.level, level);
    if (o.trace == "-" && o.vcd == "-")
        throw BadInput("--trace and --vcd cannot both go to standard output");
    // Only a settings file that does not exist means the defaults.
    const std::string settings = settingsPathOf(o);
    std::string unreadable;
    readSettings(settings, nullptr, &unreadable);
    if (!unreadable.empty()) throw BadInput(unreadable);
    if (script == nullptr) {
        std::vector<NamedFile> read = inputs;
        read.push_back({"the settings file", settings});
        checkFiles(ctx, boardOutputs(o), read, json);
    } else {
        // The script checked its own outputs before its first line.
        checkFiles(ctx, {}, inputs, json);
    }
    uint32_t busyWait = kDefaultBusyWaitMs;
    if (!o.busyWait.empty()) {
        const long ms = parseInteger(o.busyWait, "--busy-wait");
        if (ms < 0 || ms > 60000)
            throw BadInput("--busy-wait: " + quotedText(o.busyWait) + " is outside 0..60000 ms");
        busyWait = uint32_t(ms);
    }
    AdapterChoice adapter;
    if (!o.device.empty()) {
        std::string error;
        const auto chosen = parseDeviceOption(o.device, error);
        if (!chosen) throw BadInput("--device: " + error);
        if (o.board.rfind("hardware", 0) != 0)
            throw BadInput("--device: " + quotedText(o.device) +
                           " names a real adapter, but --board " + quotedText(o.board) +
                           " is a virtual board");
        if (o.transport == "lpt")
            throw BadInput("--device: an adapter, but --transport lpt asks for the parallel port");
        adapter = *chosen;
    }
    if (o.transport == "lpt") adapter.none = true;
    auto s = makeSession(o.board, settings, busyWait, adapter);
    s->options = &o;
    s->script = script;
    s->observer.verbose = o.verbose;
    s->settingsExisted = s->core
                             ->startUp([&](Settings& st) {
                                 if (port) st.adr = *port;
                                 if (!o.level.empty()) {
                                     st.level = level.level;
                                     st.vpwm = level.vpwm;
                                 }
                             })
                             .settingsExisted;
    // The check the window makes at its first detection tick, with the logic level it
    // sends.
    s->core->tick();
    if (o.transport == "usb" && !s->core->usbInUse())
        throw Unreachable(
            "--transport usb: no ZVK_SPIUSB adapter " +
            (adapter.any() ? std::string("answers") : "at " + adapter.text() + " answers") +
            " (zvk40310ctl list shows the adapters; doctor says what is missing)");
    if (!s->core->usbInUse() && s->observer.driverFailure)
        throw Unreachable(*s->observer.driverFailure);
    if (o.verbose) {
        if (const auto a = s->core->adapterName())
            std::cerr << "zvk40310ctl: using the " << a->text() << "\n";
    }
    if (script == nullptr) return s;
    // The script's trace runs from its first transfer to its end.
    if (!o.trace.empty() || !o.vcd.empty() || o.traceJson) s->core->startTrace();
    script->session = std::move(s);
    return script->session;
}

std::unique_ptr<CtlSession> planningSession() {
    auto s = makeSession("virtual", "");
    s->core->takeConfig(Config{});
    return s;
}

void CtlSession::resetCounts() {
    Board& board = core->board();
    if (board.vusb) {
        for (const auto& r : board.vusb->requests())
            earlierCommands.push_back(VirtualUsbBus::describe(r));
        board.vusb->resetCounts();
    }
    if (board.vport) board.vport->resetCounts();
    if (board.chip) board.chip->clearTrace();
    violationMark_ = violationsShown_;
    if (script == nullptr && options != nullptr &&
        (!options->trace.empty() || !options->vcd.empty() || options->traceJson))
        core->startTrace();
}

void writeOut(const std::string& path, const std::string& text, const char* option) {
    if (path == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return;
    }
    if (auto error = replaceFileText(path, text))
        throw BadInput(std::string(option) + ": " + quotedPath(path) + ": " + *error);
}

void CtlSession::finishTrace(nlohmann::json& j, bool scriptEnds) const {
    Trace* trace = core->trace();
    // A script's trace is written when the script ends.
    if (trace == nullptr || (script != nullptr && !scriptEnds)) return;
    core->stopTrace();
    TraceText text = core->traceText();
    std::string log;
    nlohmann::json events = nlohmann::json::array();
    for (const TraceEvent& e : trace->events()) {
        const std::string t = text.text(e);
        if (t.empty()) continue;
        log += text.stamp(e) + t + "\n";
        events.push_back(
            {{"t_us", std::round(trace->microseconds(e) * 1000.0) / 1000.0}, {"event", t}});
    }
    if (!options->trace.empty()) writeOut(options->trace, log, "--trace");
    if (!options->vcd.empty()) writeOut(options->vcd, core->traceVcd(), "--vcd");
    if (options->traceJson) j["trace"] = events;
}

std::vector<Violation> CtlSession::commandViolations() const {
    if (!isVirtual()) return {};
    const std::vector<Violation>& all = core->board().chip->violations();
    violationsShown_ = all.size();
    return {all.begin() + ptrdiff_t(std::min(violationMark_, all.size())), all.end()};
}

void CtlSession::printViolations() const {
    for (const Violation& v : commandViolations())
        std::printf(
            "violation %s in frame %llu at %llu us\n", std::string(violationName(v.kind)).c_str(),
            static_cast<unsigned long long>(v.frame), static_cast<unsigned long long>(v.timeUs));
}

void CtlSession::printBoard() const {
    if (!isVirtual()) return;
    const Board& board = core->board();
    std::printf("latched    %s", registersLine(board.chip->latched()).c_str());
    std::printf("\nwords      ");
    for (uint16_t w : board.chip->frames()) std::printf(" %s", hex4(w).c_str());
    std::printf("\nlines       %s\n", hex2(board.chip->lines()).c_str());
    std::printf("port accesses %llu, usb transfers %llu\n",
                static_cast<unsigned long long>(board.vport->accesses()),
                static_cast<unsigned long long>(board.vusb ? board.vusb->transfers() : 0));
    printViolations();
}

long parseInteger(const std::string& text, const std::string& option) {
    // A sign is read, so that a negative number is refused by its range, not as no number.
    const auto v = zvk::parseInteger(text, {.sign = true, .min = LONG_MIN, .max = LONG_MAX});
    if (!v) throw BadInput(notAnInteger(option, text));
    return long(*v);
}

double parseNumber(const std::string& text, const std::string& option) {
    const auto v = parseDouble(text);
    if (!v) throw BadInput(option + ": " + quotedText(text) + " is not a number");
    return *v;
}

std::string hex4(uint32_t v) {
    return "0x" + hexText(v, 4);
}

std::string hex2(uint32_t v) {
    return "0x" + hexText(v, 2);
}

namespace {
const char* redMark(bool red) {
    return red ? "  red" : "";
}
}  // namespace

void printCounters(const TuningInfo& t, const FrequencyState& s, int width) {
    std::printf("%-*s %d%s\n%-*s %u\n%-*s %u\n", width, kNtotKey, int(s.Ntot), redMark(t.Ntot.red),
                width, kNKey, unsigned(s.N), width, kAKey, unsigned(s.A));
}

void reportUnfitN(CommandContext& ctx, const Session& core) {
    if (core.plannedNFits()) return;
    ctx.failure = "N = " + std::to_string(core.plannedNtot() / 32) +
                  " does not fit its 11 bits: the chip is tuned to " + core.tunedFrequencyText() +
                  " MHz";
    std::cerr << "zvk40310ctl: " << ctx.failure << "\n";
    ctx.exitCode = kBadInput;
}

void printTuningRows(const TuningInfo& t, int width) {
    for (const TuningRow& row : kTuningRows)
        std::printf("%-*s %s%s\n", width, row.label, (t.*row.item).text.c_str(),
                    redMark((t.*row.item).red));
}

std::string registersLine(const RegisterImage& regs) {
    std::string line;
    for (uint16_t r : regs) line += " " + registerText(r);
    return line;
}

Config loadConfigOrThrow(const std::string& path) {
    Config c;
    if (auto error = loadConfig(path, c)) throw BadInput(*error);
    return c;
}

void loadStartImage(Session& core, const std::string& file, bool defaults) {
    Config start;
    if (defaults) start.regs = kDefaultImage;
    core.takeConfig(start);
    if (!file.empty())
        if (auto error = core.loadConfiguration(file)) throw BadInput(*error);
}

void printResult(const CommandContext& ctx, bool json, const nlohmann::json& j,
                 const std::function<void()>& text) {
    if (!json && !ctx.jsonLines()) {
        text();
        return;
    }
    if (ctx.script != nullptr && ctx.script->live && ctx.jsonLines()) {
        if (ctx.script->held) std::cout << jsonText(*ctx.script->held, true) << "\n";
        ctx.script->held = j;
        return;
    }
    // A script's commands print one object per line.
    std::cout << jsonText(j, ctx.jsonLines()) << "\n";
}

void addCommands(CLI::App& app, CommandContext& ctx) {
    addWriteCommands(app, ctx);
    addPlanCommand(app, ctx);
    addConfigCommands(app, ctx);
    addDoctorCommand(app, ctx);
    addDiffCommand(app, ctx);
    addSweepCommand(app, ctx);
    addLockTimeCommand(app, ctx);
    addCalibrateCommand(app, ctx);
    addListCommand(app, ctx);
    refuseEmptyValues(&app);
}

namespace {

// How long a message may grow: whatever a command echoes, the line stays readable.
constexpr size_t kMessageLength = 1000;

void report(const std::string& where, const std::string& what) {
    std::string line = escapedText(what);
    if (line.size() > kMessageLength) line = line.substr(0, kMessageLength) + "...";
    std::cerr << where << line << "\n";
}

// diff exits as diff(1) does: trouble of any kind, a usage error included, is 2.
int troubleCode(const CLI::App& app, int code) {
    for (const CLI::App* command : app.get_subcommands({}))
        if (command->get_name() == "diff" && command->parsed()) return kDiffTrouble;
    return code;
}

// The errno of the first write to standard output that failed: the stream keeps only
// that something failed.
int g_outputError = 0;
// Whether its line went out already: a failed output is said once.
bool g_outputReported = false;

}  // namespace

int runCommand(CLI::App& app, CommandContext& ctx, const std::string& where,
               const std::function<void()>& parse, bool* reported) {
    ctx.exitCode = kOk;
    ctx.failure.clear();
    if (reported != nullptr) *reported = true;
    try {
        parse();
    } catch (const CLI::ParseError& e) {
        // A usage error is bad input like any other: one line naming what was wrong.
        if (e.get_exit_code() == 0) return app.exit(e);
        ctx.failure = e.what();
        report(where, e.what());
        return troubleCode(app, kBadInput);
    } catch (const BadInput& e) {
        ctx.failure = e.what();
        report(where, e.what());
        return troubleCode(app, kBadInput);
    } catch (const Unreachable& e) {
        ctx.failure = e.what();
        report(where, e.what());
        return kUnreachable;
    } catch (const OutputFailed& e) {
        ctx.failure = e.what();
        return reportOutputFailure(where, e, ctx.savedNote);
    }
    if (reported != nullptr) *reported = false;
    return ctx.exitCode;
}

void flushOutput() {
    errno = 0;
    std::cout.flush();
    int err = errno;
    const bool flushed = std::fflush(stdout) == 0;
    if (err == 0) err = errno;
    if (flushed && !std::ferror(stdout) && std::cout) return;
    if (g_outputError == 0) g_outputError = err != 0 ? err : EIO;
    throw OutputFailed(g_outputError);
}

int reportOutputFailure(const std::string& where, const OutputFailed& e,
                        const std::string& savedNote) {
    const int code = e.number == EPIPE ? kBrokenPipe : kBadInput;
    if (g_outputReported) return code;
    g_outputReported = true;
    std::string line = e.what();
    // What the command did is done: say so apart from the output's failure.
    if (!savedNote.empty()) line += " (" + savedNote + ")";
    report(where, line);
    return code;
}

int finishOutput(const CommandContext& ctx, int code) {
    try {
        flushOutput();
    } catch (const OutputFailed& e) {
        const int failed = reportOutputFailure("zvk40310ctl: ", e, ctx.savedNote);
        return code != kOk ? code : failed;
    }
    return code;
}

void refuseEmptyValues(CLI::App* command) {
    const CLI::Validator notEmpty(
        [](std::string& value) {
            return value.empty() ? std::string("the value is empty") : std::string();
        },
        "", "");
    for (CLI::Option* option : command->get_options())
        if (option->get_type_size_max() > 0) option->check(notEmpty);
    for (CLI::App* sub : command->get_subcommands({})) refuseEmptyValues(sub);
}

namespace {

// How many single-letter edits turn one word into the other.
size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::optional<std::string> unknownCommand(const CLI::App& app, const std::string& word) {
    const auto commands = app.get_subcommands({});
    if (std::any_of(commands.begin(), commands.end(),
                    [&](const CLI::App* c) { return c->check_name(word); }))
        return std::nullopt;
    std::string best;
    size_t bestDistance = 3;  // further than two edits is no typing slip
    for (const CLI::App* command : commands) {
        const size_t d = editDistance(word, command->get_name());
        if (d < bestDistance) {
            bestDistance = d;
            best = command->get_name();
        }
    }
    std::string text = "unknown command " + quotedText(word);
    if (!best.empty()) text += "; did you mean \"" + best + "\"?";
    return text;
}

}  // namespace zvk::cli
