// SPDX-License-Identifier: MIT
#pragma once
#include <CLI/CLI.hpp>
#include <functional>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "session/Session.h"
#include "session/StatusPoll.h"

namespace zvk::cli {

// Exit codes of every command.
constexpr int kOk = 0;
constexpr int kBadInput = 1;
constexpr int kUnreachable = 2;
// diff: the two files differ (as diff(1) exits).
constexpr int kDifferent = 1;
// write --expect-lock: the synthesizer did not lock.
constexpr int kNotLocked = 3;
// diff: trouble, a usage error included (as diff(1) exits).
constexpr int kDiffTrouble = 2;
// Ctrl+C ended the command or the script (as a shell shows a process that SIGINT ended).
constexpr int kInterrupted = 130;
// Standard output's reader went away (as a shell shows a process that SIGPIPE ended).
constexpr int kBrokenPipe = 141;

// A bad input: its one-line message names the input; exit code 1, nothing written.
struct BadInput : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// The hardware could not be reached: exit code 2.
struct Unreachable : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Standard output could not be written (errno in number): the command ends at once.
struct OutputFailed : std::runtime_error {
    explicit OutputFailed(int err);
    int number;
};

// The options of every command that talks to a board.
struct BoardOptions {
    std::string board = "hardware";
    std::string port;        // overrides the settings' Adr
    std::string level;       // overrides Level and VPWM: millivolts or "ext"
    std::string settings;    // the settings file; the window's own when empty
    std::string trace;       // the text log of the command's transfers ("-": standard output)
    std::string vcd;         // the VCD file of the command's transfers ("-": standard output)
    bool traceJson = false;  // the events as the JSON key "trace"
    bool verbose = false;    // what the hardware access did without, on standard error
    std::string busyWait;    // ms to try again while the port is held elsewhere
    std::string device;      // one adapter among several: usb:BUS/DEV or usb:path=PORT
    std::string transport;   // usb or lpt: that one or exit 2, no fallback to the other
};
// How long a command tries again while another program holds the parallel port.
inline constexpr uint32_t kDefaultBusyWaitMs = 1000;
// The help text of --port.
std::string portOptionHelp();
// The --port text as a base: a number, or the name parportN of a port the kernel lists
// under procParport. Throws BadInput naming the text, Unreachable for a name the kernel
// does not list.
int parsePort(const std::string& text, const std::string& procParport);
void addBoardOptions(CLI::App* command, BoardOptions& o);
// An option that takes one of the given words; --help shows them and the default.
CLI::Option* addChoice(CLI::App* command, const std::string& name, std::string& value,
                       const std::vector<std::string>& choices, const std::string& description);

// What the program core tells the command-line tool.
class CtlObserver : public SessionObserver {
  public:
    bool driverNotOpen(const std::string& reasons) override {
        driverFailure = reasons.empty() ? "Driver not open" : "Driver not open: " + reasons;
        return true;
    }
    void planRefused(const std::string& reason) override { refusal = reason; }
    // Another program has the port: waiting could take for ever, so the command ends.
    void portBusy(const std::string& why) override { throw Unreachable(why); }
    void writePending(bool pending) override {
        if (pending) std::cerr << "zvk40310ctl: a write cycle waits for the port\n";
    }
    void adapterLost(const std::string& text) override {
        std::cerr << "zvk40310ctl: " << text << "\n";
    }
    void adapterNotAccessible(const std::string& text) override {
        std::cerr << "zvk40310ctl: " << text << "\n";
    }
    void realtimeRefused(const std::string& why) override {
        if (verbose) std::cerr << "zvk40310ctl: " << why << "\n";
    }

    bool verbose = false;
    std::optional<std::string> driverFailure;
    std::optional<std::string> refusal;
};

struct Script;

// The program core for one command, and what the command shows of its board.
struct CtlSession {
    CtlObserver observer;
    std::unique_ptr<Session> core;
    // Adapter commands before the counters were last reset (start-up, detection).
    std::vector<std::string> earlierCommands;
    // Whether start-up found the settings file: without it the program starts as the
    // window's first start does.
    bool settingsExisted = true;

    bool isVirtual() const { return core->isVirtual(); }
    std::string transport() const { return core->transportName(); }
    const BoardOptions* options = nullptr;
    // The script whose one session this is; none for a command of its own.
    const Script* script = nullptr;
    // Counters of the virtual board start from zero for the next transfer; the trace the
    // options ask for starts with it.
    void resetCounts();
    // Writes the trace's log and VCD where the options say, and adds the "trace" key.
    // Within a script only when it ends (scriptEnds).
    void finishTrace(nlohmann::json& j, bool scriptEnds = false) const;
    // The virtual board's view after a transfer: latched, words, lines, port_accesses,
    // usb_transfers, violations and, with the adapter, adapter_commands.
    void addBoardJson(nlohmann::json& j) const;
    void printBoard() const;
    // The protocol violations of this command, one line each ("violation KIND in frame F
    // at T us"); nothing off a virtual board.
    void printViolations() const;

  private:
    // The virtual board's violations since the previous command's report; the first
    // command's include the start-up's.
    std::vector<Violation> commandViolations() const;
    size_t violationMark_ = 0;
    mutable size_t violationsShown_ = 0;
};

// A file a command reads or writes, by what names it: an option ("--trace") or what the
// file is ("the configuration file").
struct NamedFile {
    std::string what;
    std::string path;
};
// A script being run: its board options, its one session, and whether every command
// prints one JSON object per line.
struct Script {
    BoardOptions board;
    bool jsonLines = false;
    std::shared_ptr<CtlSession> session;
    std::string path;  // the script's file ("-": standard input)
    // Ctrl+C ended a line that stops at it (status --watch): the script ends there.
    bool interrupted = false;
    // run --live: each line answered as it arrives; with JSON, a line's one object waits
    // here until the line's exit code is known, so that a failure goes into it.
    bool live = false;
    std::optional<nlohmann::json> held;
};

// What a command runs in, handed to it by whoever runs it (main, or run for each line of
// its script).
struct CommandContext {
    // The script the command is a line of; none for a command of its own.
    Script* script = nullptr;
    // The exit code of a command that ran to its end (diff's "different", doctor's
    // "unusable", a plan that does not fit, a lock that was expected); runCommand starts
    // it at kOk.
    int exitCode = kOk;
    // What the command saved, for the message when its output then fails ("the file
    // "x.cfg" was saved").
    std::string savedNote;
    // The one-line reason of the last failure runCommand reported (without where).
    std::string failure;
    // Whether every command prints one JSON object per line (run --json).
    bool jsonLines() const { return script != nullptr && script->jsonLines; }
};

// The settings file the options name, the window's own when they name none.
std::string settingsPathOf(const BoardOptions& o);
// The checks of a command's files before it touches anything: with json, no output goes
// to standard output ("-"), which carries the JSON; no output is standard output or
// standard error by another name, an input, or another output (the same file by any
// name); every output can be written. Within a script the script's own files count too.
// Throws BadInput naming the option and the file.
void checkFiles(const CommandContext& ctx, const std::vector<NamedFile>& outputs,
                const std::vector<NamedFile>& inputs, bool json);
// The board options' outputs (--trace, --vcd).
std::vector<NamedFile> boardOutputs(const BoardOptions& o);

// The window's start-up on the board the options name, with its settings file, then the
// check of the first detection tick. Throws Unreachable when the hardware has neither a
// usable adapter nor a port backend, BadInput when the settings file is there but cannot
// be read or the files fail checkFiles (inputs: the command's own, json: its --json).
// Within a script (run) every command gets the script's one session, opened at its first
// use with the script's board options.
std::shared_ptr<CtlSession> openSession(const CommandContext& ctx, const BoardOptions& o,
                                        const std::vector<NamedFile>& inputs = {},
                                        bool json = false);

// A core for the planning commands: the virtual board, no settings file, the values a
// configuration file starts from.
std::unique_ptr<CtlSession> planningSession();

// One integer in decimal or with a 0x prefix; throws BadInput naming the option.
long parseInteger(const std::string& text, const std::string& option);
// A number as the user typed it; throws BadInput naming the option.
double parseNumber(const std::string& text, const std::string& option);

std::string hex4(uint32_t v);
std::string hex2(uint32_t v);
// For a person: Ntot (marked when red), N and A of the state, as the JSON form gives them;
// then, separately, the tuning texts under their labels. The first column is width
// characters wide.
void printCounters(const TuningInfo& t, const FrequencyState& s, int width);
void printTuningRows(const TuningInfo& t, int width);
// The registers as the window's value labels show them, each after a blank.
std::string registersLine(const RegisterImage& regs);
// A configuration file loaded from the values a file starts from; one that does not load
// is bad input.
Config loadConfigOrThrow(const std::string& path);
// What a command that runs on a configuration starts from: the default image (defaults),
// or the file loaded over the values every command reads a file over (show, write, set),
// as the window loads it, so that one file gives one image everywhere.
void loadStartImage(Session& core, const std::string& file, bool defaults);
// Prints the JSON object (one line in a script with --json), or runs the text printer for
// a person. A text the printer echoes from outside (a file name) goes through validUtf8,
// as every text in the JSON does.
void printResult(const CommandContext& ctx, bool json, const nlohmann::json& j,
                 const std::function<void()>& text);
// A file an option names, replaced whole; "-" is standard output. A failure is bad input
// naming the option and the file.
void writeOut(const std::string& path, const std::string& text, const char* option);
// Flushes standard output; a write that failed throws OutputFailed, so that a command
// that prints as it goes stops when its reader is gone.
void flushOutput();
// Flushes standard output: a failed or short write makes the exit code 1 (141 for a
// reader that went away), with a line on standard error naming the reason and what the
// command saved before (ctx.savedNote).
int finishOutput(const CommandContext& ctx, int code);
// The one line of a failed output (after where), the first time only, with what was saved
// before (savedNote, when not empty); the exit code.
int reportOutputFailure(const std::string& where, const OutputFailed& e,
                        const std::string& savedNote);
// Every option of the command that takes a value refuses an empty one.
void refuseEmptyValues(CLI::App* command);
// The one-line refusal of a word in the command's place that names no command, with the
// nearest command when one is near; nullopt when it names one.
std::optional<std::string> unknownCommand(const CLI::App& app, const std::string& word);

// A plan whose N does not fit its 11 bits is no success: after the output, one line on
// standard error names N and the frequency the chip is really tuned to, and the exit code
// becomes 1. The window shows such a plan as it is (red where out of range).
void reportUnfitN(CommandContext& ctx, const Session& core);

// Each group of commands registers itself on the app; its commands run in ctx, which
// outlives the app.
void addWriteCommands(CLI::App& app, CommandContext& ctx);     // write, status, decode-status
void addPlanCommand(CLI::App& app, CommandContext& ctx);       // plan
void addConfigCommands(CLI::App& app, CommandContext& ctx);    // show, export, import, set, new
void addRunCommand(CLI::App& app, CommandContext& ctx);        // run
void addDoctorCommand(CLI::App& app, CommandContext& ctx);     // doctor
void addDiffCommand(CLI::App& app, CommandContext& ctx);       // diff
void addSweepCommand(CLI::App& app, CommandContext& ctx);      // sweep
void addLockTimeCommand(CLI::App& app, CommandContext& ctx);   // locktime
void addCalibrateCommand(CLI::App& app, CommandContext& ctx);  // calibrate
void addListCommand(CLI::App& app, CommandContext& ctx);       // list
void addServeCommand(CLI::App& app, CommandContext& ctx);      // serve (not in scripts)
// status --watch: a read every intervalMs until count reads (0: no end) or Ctrl+C, which
// in a script ends the script.
void watchStatus(CommandContext& ctx, CtlSession& s, long intervalMs, long count, bool json,
                 bool showLd);
// The end of a command that prints a line per read (sweep, status --watch): the trace's
// log and VCD written where the options say and, with JSON Lines, the trace's events as
// one last line {"trace": [...]}.
void finishLinesTrace(CtlSession& s, bool json);
// Every command but run: the program's and each script line's.
void addCommands(CLI::App& app, CommandContext& ctx);
// Parses the command line with parse and runs its command in ctx. Help goes out as CLI11
// prints it; any failure is one line on standard error after where ("zvk40310ctl: "),
// control characters spelled out. The exit code: 0, kBadInput, kUnreachable (kDiffTrouble
// for diff), kBrokenPipe or what the command set in ctx.exitCode. *reported tells whether
// a failure put its line on standard error.
int runCommand(CLI::App& app, CommandContext& ctx, const std::string& where,
               const std::function<void()>& parse, bool* reported = nullptr);
// A script line split into words as a POSIX shell splits them, without expansions: quotes
// and backslashes, "#" starting a comment; none (and the reason) for an open quote.
std::optional<std::vector<std::string>> shellWords(const std::string& line, std::string& error);

}  // namespace zvk::cli
