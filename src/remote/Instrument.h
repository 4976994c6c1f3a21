// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remote/ErrorQueue.h"
#include "remote/ScpiParser.h"
#include "session/Session.h"

namespace zvk::remote {

struct InstrumentOptions {
    bool labMode = false;  // MODE, and CHIP:FIELD MFO beyond the restriction
    std::string filesDir;  // MMEM paths are relative to it; empty: the working folder
};

// The board as a lab instrument: SCPI commands on the program core. Every command runs
// through the Session's operations, as the window's controls and zvk40310ctl run them, so
// a client can do what a user can and nothing else, and every refusal leaves the image and
// the plan's inputs as they were.
class Instrument {
  public:
    Instrument(Session& session, InstrumentOptions options);
    // One line a client sent, without its terminator: its commands run in order; the
    // reply is the answers of its queries joined by ';', empty when it holds no query
    // (the server then sends nothing). The line stops at its first error: what follows an
    // error does not run.
    std::string execute(std::string_view line);
    // A line longer than the server takes: -223,"Too much data" is queued, nothing runs.
    void refuseOverlongLine();
    // While the guard returns a reason, every command that would change the board, the
    // image, the plan or a file is refused with -221 (the reason in the error text) and
    // changes nothing; queries still answer. The window uses it while a modal dialog is open.
    void setChangeGuard(std::function<std::optional<std::string>()> guard);
    // *IDN?'s answer.
    std::string identity() const;
    // A new client took control: error queue and event status start empty.
    void clientChanged();

    const ErrorQueue& errors() const { return errors_; }
    const InstrumentOptions& options() const { return options_; }

    // A command's header as the manual lists it ("FREQuency:LO1"), whether it has a set
    // form and a query form, and whether its set form changes anything.
    struct CommandInfo {
        const char* header;
        bool set, query, changes;
    };
    static std::vector<CommandInfo> commands();

  private:
    struct Call {
        const ProgramUnit& unit;
        int suffix;  // the header's numeric suffix; -2 when it has none, -1 when too large
        std::string reply;
    };
    using Handler = void (Instrument::*)(Call&);
    struct Command {
        const char* header;
        Handler set;
        Handler query;
        bool changes;  // the set form changes the board, the image, the plan or a file
    };
    static const std::vector<Command>& table();
    const Command* find(const std::vector<std::string>& nodes, int& suffix) const;
    void run(const ProgramUnit& unit, std::vector<std::string>& answers);

    // Common commands.
    void idnQuery(Call& c);
    void rst(Call& c);
    void cls(Call& c);
    void opc(Call& c);
    void opcQuery(Call& c);
    void wai(Call& c);
    void eseSet(Call& c);
    void eseQuery(Call& c);
    void esrQuery(Call& c);
    void sreSet(Call& c);
    void sreQuery(Call& c);
    void stbQuery(Call& c);
    // SYSTem.
    void errorQuery(Call& c);
    void errorCountQuery(Call& c);
    void versionQuery(Call& c);
    // The plan.
    void frequencySet(Call& c);
    void frequencyQuery(Call& c);
    void lo1Query(Call& c);
    void lo2Query(Call& c);
    void if1Query(Call& c);
    void if2Query(Call& c);
    void pfdQuery(Call& c);
    void channelQuery(Call& c);
    void crystalSet(Call& c);
    void crystalQuery(Call& c);
    void injectionLo1Set(Call& c);
    void injectionLo1Query(Call& c);
    void injectionLo2Set(Call& c);
    void injectionLo2Query(Call& c);
    void filterDividerSet(Call& c);
    void filterDividerQuery(Call& c);
    void filterPresetSet(Call& c);
    void filterPresetQuery(Call& c);
    void filterAutoSet(Call& c);
    void filterAutoQuery(Call& c);
    void filterHaltSet(Call& c);
    void filterHaltQuery(Call& c);
    void filterFrequencyQuery(Call& c);
    // The chip.
    void lockQuery(Call& c);
    void statusQuery(Call& c);
    void registerSet(Call& c);
    void registerQuery(Call& c);
    void fieldSet(Call& c);
    void fieldQuery(Call& c);
    void chipWrite(Call& c);
    void modeSet(Call& c);
    void modeQuery(Call& c);
    void presetSet(Call& c);
    void presetQuery(Call& c);
    // Files.
    void loadState(Call& c);
    void storeState(Call& c);

    // What the pages hidden in ABC mode set: refused there, as the user cannot reach them.
    void requireSpiMode(const char* what) const;
    // The filter edits' and the field controls' common steps.
    void numberFieldSet(Call& c, const Field& f);
    void checkFieldSet(Call& c, const Field& f);
    std::optional<StatusReading> statusRead();

    Session& session_;
    InstrumentOptions options_;
    ErrorQueue errors_;
    std::function<std::optional<std::string>()> guard_;
    // SCPI's path: the nodes a relative header continues from.
    std::vector<std::string> path_;
    uint8_t ese_ = 0;
    uint8_t sre_ = 0;
};

}  // namespace zvk::remote
