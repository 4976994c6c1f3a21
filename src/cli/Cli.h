#pragma once
#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>

#include "board/Rig.h"
#include "chip/ChipController.h"
#include "plan/FrequencyPlan.h"
#include "storage/ConfigFile.h"
#include "transport/Lpt.h"
#include "transport/Zvk_spiusb.h"

namespace zvk::cli {

// Exit codes of every command.
constexpr int kOk = 0;
constexpr int kBadInput = 1;
constexpr int kUnreachable = 2;

// A bad input: its one-line message names the input; exit code 1, nothing written.
struct BadInput : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// The hardware could not be reached: exit code 2.
struct Unreachable : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The program's transport stack on one board: the rig, the line layer, the adapter
// object and the register routines, set up as the window's start-up would.
struct Session {
    SteadyClock clock;
    StderrReporter reporter;
    std::unique_ptr<Rig> rig;
    std::unique_ptr<Lpt> lpt;
    std::unique_ptr<TZVK_SPIUSB> usb;
    std::unique_ptr<ChipController> chip;
    std::string boardName;

    bool isVirtual() const { return rig && rig->chip != nullptr; }
    std::string transport() const { return lpt->usbInUse() ? "usb" : "lpt"; }
    // Counters of the virtual board start from zero for the next transfer.
    void resetCounts();
    // The virtual board's view after a transfer: latched, words, lines, port_accesses,
    // usb_transfers.
    void addBoardJson(nlohmann::json& j) const;
};

// Throws Unreachable when the hardware has neither a usable adapter nor a port backend.
std::unique_ptr<Session> openSession(const std::string& board, int port);

// Integer in decimal or with a 0x prefix; throws BadInput naming the option.
long parseInteger(const std::string& text, const std::string& option);
// A number as the user typed it; throws BadInput naming the option.
double parseNumber(const std::string& text, const std::string& option);

std::string hex4(uint32_t v);
std::string hex2(uint32_t v);
nlohmann::json registersJson(const RegisterImage& regs);
// The tuning-info texts in the order the window shows them, with their JSON keys and the
// window's labels.
struct TuningRow {
    const char* key;
    const char* label;
    const TuningItem* item;
};
std::vector<TuningRow> tuningItems(const TuningInfo& t);
// For a person: Ntot (marked when red), N and A; then, separately, the tuning texts under
// their labels. The first column is width characters wide.
void printCounters(const TuningInfo& t, unsigned n, unsigned a, int width);
void printTuningRows(const TuningInfo& t, int width);
// The registers as the window's value labels show them, each after a blank.
std::string registersLine(const RegisterImage& regs);
// A configuration file loaded from the window's starting values; one that does not load
// is bad input.
Config loadConfigOrThrow(const std::string& path);
// Ntot, N, A, the tuning-info texts and the list of keys shown red.
void addTuningJson(nlohmann::json& j, const FrequencyState& s, const TuningInfo& t);
// Prints the JSON object, or runs the text printer for a person.
void emit(bool json, const nlohmann::json& j, const std::function<void()>& text);

// Each group of commands registers itself on the app.
void addWriteCommands(CLI::App& app);   // write, status, decode-status
void addPlanCommand(CLI::App& app);     // plan
void addConfigCommands(CLI::App& app);  // show, export

// The command that ran sets this; main returns it.
extern int g_exitCode;

}  // namespace zvk::cli
