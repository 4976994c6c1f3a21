// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "base/Clock.h"
#include "board/Board.h"
#include "chip/ChipController.h"
#include "chip/TraceText.h"
#include "plan/CrystalCorrection.h"
#include "plan/FrequencyPlan.h"
#include "session/AdapterReturn.h"
#include "session/EditRules.h"
#include "session/InterfaceDetection.h"
#include "session/Reporter.h"
#include "session/StatusPoll.h"
#include "storage/ConfigFile.h"
#include "storage/Settings.h"
#include "transport/Lpt.h"
#include "transport/Zvk_spiusb.h"

namespace zvk {

// The program's name as the desktop shows it, and the caption of its error reports.
inline constexpr const char* kApplicationTitle =
    "Controlling Program for ZVK40310AA produced by Tervona";
// The title text the window's caption and every configuration file start with.
std::string titleText();

// The window captions after a save and after a load.
std::string saveCaption(const std::string& title, const std::string& savedPath);
std::string loadCaption(const std::string& title, const std::string& loadedPath);

class Session;

// What the program core tells its front end. Every method has a default that suits a
// front end without widgets (the command-line tool): the window overrides them to show
// the result and, where a step goes through a control, to take that control's path.
class SessionObserver : public ChipObserver {
  public:
    // The state was read: N, A and R go into their edits.
    virtual void dividersRead(const FrequencyState& /*s*/) {}
    // A planning step refused the wanted frequency; nothing changed.
    virtual void planRefused(const std::string& /*reason*/) {}
    // The plan changed the image and the frequencies: controls and tuning info follow.
    virtual void planShown(const FrequencyState& /*s*/) {}
    virtual void beep() {}
    // The port driver could not be opened at start; reasons names each backend's failure.
    // The default reports "Driver not open" through the reporter.
    virtual bool driverNotOpen(const std::string& /*reasons*/) { return false; }
    // A transfer was skipped: the parallel port is held by another program or driver
    // ("parport0 is in use by lp"). Told once until the port can be had again.
    virtual void portBusy(const std::string& /*why*/) {}
    // The kernel lists the adapter but this user cannot open it, so the search passed it
    // over ("ZVK_SPIUSB found but not accessible: …"). Told once, at start-up.
    virtual void adapterNotAccessible(const std::string& /*text*/) {}
    // The adapter in use stopped answering and nothing searches for it: text says what
    // brings it back. Told once.
    virtual void adapterLost(const std::string& /*text*/) {}
    // What the interface detection decided: menus, T_USB and the interface panel.
    virtual void interfaceChanged(const InterfaceView& /*view*/) {}
    // The settings file is there but cannot be read; message names it and the reason.
    // Start-up goes on with the defaults when this returns, and only then sends the logic
    // level: a window asks the user first.
    virtual void settingsUnreadable(const std::string& /*message*/) {}

    // An operation of the core changed what the plan's input controls show (the texts of
    // the crystal, wanted-RF and divider edits, the injection side, the band preset, the
    // mode and the ABC preset): the controls follow without running their handlers.
    virtual void inputsShown() {}
    // The mode switch ran: the pages, the panels and "Refresh" follow the mode.
    virtual void modeSwitched(bool /*spi*/) {}
    // The pins A, B and C the ABC preset selects.
    virtual void abcPinsShown(const std::array<int, 3>& /*pins*/) {}
    // An operation sets a field's control: it shows the state before its handler's steps
    // run, so the reverse sync finds it in place.
    virtual void fieldShown(const Field& /*f*/, int /*state*/) {}
    // The default settings were taken: the caption says so.
    virtual void defaultsApplied() {}
    // A configuration file is about to be loaded or saved: the caption names it, and the
    // next file dialog proposes it.
    virtual void loadingConfiguration(const std::string& /*path*/) {}
    virtual void savingConfiguration(const std::string& /*path*/) {}
};

// A preset index as the program keeps it: 0..7, or -1 for none (a file's or the settings'
// value outside 0..7 selects no preset).
constexpr int presetOrNone(int index) {
    return index >= 0 && index < 8 ? index : -1;
}

// The part of the settings a configuration file holds too: what the window starts with.
Config settingsConfig(const Settings& s);

struct SessionOptions {
    std::string boardName = "hardware";  // a name of kBoardKinds
    std::string settingsPath;
    Clock* clock = nullptr;        // the steady microsecond clock when null
    Reporter* reporter = nullptr;  // one line on standard error when null
    MessagePump pump;              // runs inside every wait
    IdleWait idleWait;             // the long waits' message loop; none: they just sleep
    bool realtime = true;          // write cycles at real-time scheduling
    // How long a transfer tries again while another program holds the parallel port
    // before it is skipped: 0 for the window, whose next tick tries again anyway.
    uint32_t busyWaitMs = 0;
    // Which adapter the search may take (the device option), or none (the port only).
    AdapterChoice adapter;
};

// The adapter in use as the user finds it again: bus, device and the USB port path.
struct AdapterName {
    int bus = -1, device = -1;
    std::string portPath;      // empty where sysfs names none (a virtual board)
    std::string text() const;  // "ZVK_SPIUSB at bus 1 device 4 (USB port 1-1.4)"
};

// The program core: the board (hardware or virtual), the line layer, the adapter object,
// the interface detection, the chip controller, the frequency-plan state and the settings
// file, and the program's operations on them. The window and zvk40310ctl both drive it.
class Session {
  public:
    // Makes the board and the adapter object (which looks for the adapter, opens it and
    // configures it) and sets the USB-in-use flag from it. Throws std::invalid_argument
    // for a board name that kBoardKinds does not know.
    explicit Session(const SessionOptions& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void setObserver(SessionObserver* observer);

    Clock& clock() { return *clock_; }
    Reporter& reporter() { return *reporter_; }
    Board& board() { return *board_; }
    Lpt& lpt() { return *lpt_; }
    TZVK_SPIUSB& adapter() { return *adapter_; }
    InterfaceDetection& detection() { return *detection_; }
    ChipController& chip() { return *chip_; }
    FrequencyState& frequencies() { return fs_; }
    // The plan's inputs as the front end shows them (the texts of the crystal and wanted-RF
    // edits, the injection selection); the front end sets each as it changes.
    const PlanEdits& edits() const { return edits_; }
    void setPlanEdits(const PlanEdits& e) { edits_ = e; }
    void setCrystalEdit(std::string text) { edits_.fxtal = std::move(text); }
    void setWantedEdit(std::string text) { edits_.frf = std::move(text); }
    void setInjectionSelection(int selection) { edits_.rgIf1 = selection; }
    const DividerEdits& dividerEdits() const { return dividers_; }
    void setDividerEdits(const DividerEdits& d) { dividers_ = d; }
    // The band preset the window shows selected: 0..3, or -1 for none.
    int bandPreset() const { return bandPreset_; }
    // The MFO item the front end shows; see ChipController::setMfoSelection.
    void setMfoSelection(std::optional<int> item) { chip_->setMfoSelection(item); }
    const std::string& settingsPath() const { return options_.settingsPath; }
    bool usbInUse() const { return detection_->usbInUse(); }
    // The transport in use as every output names it: "usb" or "lpt".
    std::string transportName() const { return usbInUse() ? "usb" : "lpt"; }
    bool isVirtual() const { return board_->chip != nullptr; }
    // What the board in use is, as the board list describes it.
    std::string boardDescription() const;

    // The start-up steps from the settings file to the interface state: the settings are
    // read (adjust may change them first: the command line's overrides), the program
    // state takes them, the port driver starts at the stored base, and the detection
    // sends the logic level and fills the interface view.
    struct StartUp {
        Settings settings;
        bool settingsExisted = false;
        // The message when the file is there but could not be read.
        std::optional<std::string> settingsError;
        bool driverOpen = false;
    };
    StartUp startUp(const std::function<void(Settings&)>& adjust = {});
    // The detection tick; skipped while a transfer runs.
    void tick();
    // The adapter the program has open; nullopt when none.
    std::optional<AdapterName> adapterName() const;
    // What a detection tick does when the adapter comes back after it was lost.
    AdapterReturn& adapterReturn() { return adapterReturn_; }

    // A long wait (a settle or dwell time): the front end's messages keep running, the
    // processor is left alone, and it ends at one deadline on the program's clock.
    void wait(uint32_t ms);

    // The frequency plan.
    void readFrequencyState();
    // The planning step; false when it refused (the observer was told why, naming wanted
    // when given).
    bool planDividers(float fRF, std::optional<double> wanted = std::nullopt);
    void recomputeFrequencies();
    // The recompute step's arithmetic alone, so the display can follow the image without
    // an after-change routine, a write cycle or anything shown.
    void recomputeQuietly();
    // The planning step for the stored fRF and the recompute step's arithmetic, with
    // nothing sent and nothing shown; false when the plan was refused.
    bool replanQuietly();
    // The planning step for mhz instead of the wanted frequency's edit, and the recompute
    // step's arithmetic, nothing shown: a sweep's points. The refusal when there is one.
    std::optional<std::string> planQuietly(double mhz);
    // The planning step for the stored fRF.
    bool planWanted() { return planDividers(rfArgument(fs_.fRF), fs_.fRF); }
    // The last planning step's Ntot, before N lost the bits its field cannot hold, and
    // whether N fits them.
    int32_t plannedNtot() const { return plannedNtot_; }
    bool plannedNFits() const;
    // The frequencies the image tunes the chip to (the recompute step's arithmetic on a
    // copy), and its f RF text, without changing anything.
    FrequencyState tunedFrequencies() const;
    std::string tunedFrequencyText() const;
    // "Calculate": the planning step for the stored fRF, then the recompute step.
    void calculate();
    // Why the planning step would refuse the crystal xtal and the wanted frequency rf (in
    // MHz, as their edits would hold them; the ones stored when not given) on the image as
    // it stands, or leave an N its 11 bits cannot hold; nothing changes. nullopt when it
    // would plan them.
    std::optional<std::string> planRefusal(std::optional<double> xtal,
                                           std::optional<double> rf) const;

    // The crystal correction: the settings file's figure from start-up on, then what a
    // front end sets (a dialog, --ppm). Every later planning step follows it.
    const CrystalCorrection& crystalCorrection() const { return correction_; }
    void setCrystalCorrection(const CrystalCorrection& c);
    // What the chip really does with the current dividers on the corrected crystal, beside
    // the nominal frequencies that frequencies() holds.
    CorrectedFrequencies correctedFrequencies() const;

    // The controls' operations. Each changes the program state and ends in the recompute
    // step or the after-change routine, as the control's handler does; byProgram: the
    // program itself wrote the control (only the after-change routine follows).
    // A field-map control took the item index or check state.
    void controlChanged(const Field& f, int state);
    // What a field's control shows for the image now: the item or check state, or the
    // number of an edit.
    int controlState(const Field& f) const;
    // A bit of the bit view was clicked.
    void toggleBit(int reg, int bit);
    // The bit view's clicks that make register reg hold value, then what the reverse sync
    // runs for them: each radio group and check box whose state changed runs its handler,
    // each filter edit whose number changed runs its change handler as a program write;
    // the combo boxes and divider edits only follow. The after-change routine runs once at
    // least. The observer is told each control it shows.
    void setRegisterBits(int reg, uint16_t value);
    // The program sets a field's control as a user would: it shows the state, and the
    // control's handler runs when the state differs from what the image holds.
    void selectControl(const Field& f, int state);
    // CB_MFO picked an item: the item the restriction leaves is written and returned.
    int chooseMfo(int index, bool labMode);
    // A divider or filter edit's text under its rule (fallback and spinner range).
    void numberEdited(const Field& f, std::string_view text, bool byProgram);
    // A spinner was released: the edit's text without fallback, held at the spinner's
    // range beyond the field's width. Returns the message when the text is no integer.
    std::optional<std::string> spinnerReleased(const Field& f, const EditRule& rule,
                                               std::string_view text, bool byProgram);
    // The crystal edit's text: fXTAL takes it; returns the text the edit shows then.
    std::string takeCrystal(std::string_view text);
    // After the crystal edit was rewritten: the after-change routine when the program
    // wrote it, the planning step when the user did.
    void crystalChanged(bool byProgram);
    // The wanted frequency edit's text: fRF takes it; returns the text the edit shows then.
    std::string takeWantedFrequency(std::string_view text);
    // "CalcNA": the planning step for the edit's text; the message when it is no number.
    std::optional<std::string> planTypedFrequency(std::string_view text);
    // RG_IF1 picked an item.
    void injectionChosen(int selection);
    // The default settings' values.
    static constexpr double kDefaultFrf = 384.0;
    static constexpr double kDefaultFxtal = 10.0;
    // The pins A, B and C the preset index selects (all 1 for no preset).
    std::array<int, 3> presetPins() const;

    // The operations that set several inputs at once. Each runs the steps the controls it
    // writes would run, in their order: beeps, write cycles and the reverse sync included.
    // The mode switch: the chip's mode, and in ABC mode the default settings and the
    // preset's plan; with "Send always" one write cycle.
    void switchMode(bool spi);
    // The default settings in the given mode: frequencies, crystal, injection, image, plan.
    void applyDefaults(bool spiMode);
    // The "Defaults" menu item: no band preset, the default settings in SPI mode.
    void defaults();
    // A band preset chosen (-1: none): the defaults, then the band's frequency, dividers
    // and sides, and the plan. The message when a divider edit's text is no integer.
    std::optional<std::string> chooseBandPreset(int item);
    // An ABC preset chosen from the list (-1: a text that names none).
    void chooseAbcPreset(int index);
    // "Calculate": no band preset any more, then the plan and the recompute step.
    void calculateClicked();
    // The program writes the wanted-RF edit: fRF takes the text when it differs from
    // what the edit shows.
    void writeWantedEdit(const std::string& text);
    // The program writes the crystal edit: fXTAL takes a text that differs from the
    // shown one, then the after-change routine (byProgram) or the plan follows.
    void writeCrystalEdit(const std::string& text, bool byProgram);
    // The program selects an injection side: a new selection recomputes the plan.
    void selectInjection(int selection);
    // The plan c held, again: after a sweep, whose points plan without showing anything,
    // the image, the frequencies and what the front end shows agree again, and the chip
    // gets the image (one write cycle).
    void restoreConfig(const Config& c);
    // The register image the program holds, and the chip's mode.
    const RegisterImage& regs() const { return chip_->regs(); }
    bool spiMode() const { return chip_->spiMode(); }
    // An image to send as it stands, with its mode and ABC preset; nothing is planned.
    void setImage(const RegisterImage& regs, bool spi, int presetIndex);
    // A write cycle of the image, whatever "Send always" says.
    void writeCycle() { chip_->writeCycle(); }
    // The last write cycle's lock time, when it measured one; and whether write cycles
    // over the adapter measure it too (one command per sample), as scripts ask.
    const std::optional<LockTime>& lastLockTime() const { return chip_->lastLockTime(); }
    void setTimeLockOnEveryLink(bool on) { chip_->setTimeLockOnEveryLink(on); }
    // The status word read and decoded, the image left alone (see readStatus); why it
    // cannot be read on this state; and the read for a caller that waits its turn.
    std::optional<std::string> statusReadBlocked() const;
    std::optional<StatusReading> readStatus();
    void requestStatus(std::function<void(const StatusReading&)> answer);
    // One register read as the chip answers it; nullopt while another transfer runs.
    std::optional<uint16_t> registerRead(int reg) { return chip_->registerRead(reg); }
    // The planning step as the window's edits would hold these values (three decimals),
    // from the image start with the injection side injlo1, then the recompute step.
    void planFrequencies(const RegisterImage& start, double xtal, double rf, int injlo1);

    // "Refresh": the status register read, decoded, and kept as R7; nullopt while another
    // transfer runs or when MFO does not carry the serial output.
    std::optional<StatusDecoding> refreshStatus();

    // The program state a configuration file holds, and the way back.
    Config currentConfig() const;
    void takeConfig(const Config& c);
    // Loads a configuration file in the order the window has always loaded it. A file
    // that does not load keeps what its good lines gave and returns the message.
    std::optional<std::string> loadConfiguration(const std::string& path);
    // Saves the program state as a configuration file; the message when it cannot.
    std::optional<std::string> saveConfiguration(const std::string& path);
    // The steps of loading a complete file: the mode, the frequencies through their edits,
    // the preset, the injection, and the plan.
    void applyLoadedConfiguration(const Config& c);

    // The settings as they would be written now, with the window's place.
    Settings currentSettings(int top, int left, int width, int height) const;
    std::optional<std::string> saveSettings(const Settings& s) const;

    // A record of what goes over the wire: the port, the adapter, the write cycle and the
    // register read, and the virtual chip, report to it until it stops. keep: how many of
    // the newest events stay in memory (0: all). A new start replaces a running trace.
    Trace& startTrace(size_t keep = 0);
    void stopTrace();
    Trace* trace() { return trace_.get(); }
    // A running trace's log (the text form), begun with the image the chip held when the
    // trace started as far as the program knows it: the virtual chip's own, else the
    // program's image.
    TraceText traceText() const;
    // The trace as a VCD file.
    std::string traceVcd() const;

    // ---- What a front end asks of the chip, the port and the adapter. A front end holds
    // none of them: it calls these, and reads the state through the const views here.
    // The ABC preset index: 0..7, or -1 for none.
    int presetIndex() const;
    // A first start has no stored mode: the front end names the one it starts in.
    void setSpiMode(bool spi);
    // "Send always": every after-change routine ends in a write cycle.
    void setSendAlways(bool on);
    // The after-change routine of the image as it stands (redraw, lock-time row, and the
    // write cycle when "Send always" asks for one).
    void afterChange();
    // A transfer is running (the front end's message loop runs inside its waits).
    bool transferRunning() const;
    // The delay of each step of the port's line sequence, in microseconds.
    void setLineStepDelay(double us);
    // What the interface detection decided last: menus, T_USB and the interface panel.
    const InterfaceView& interfaceView() const;
    // The parallel port's base address in use.
    int portBase() const;
    // The adapter was found, opened and configured by this program.
    bool adapterOpen() const;
    // The "LPT" menu: a fixed base, or the user-defined one from the dialog's text (the
    // initial text when cancelled). False, with the message in error, when the text is
    // no port address; nothing changes then.
    void chooseBase378();
    void chooseBase3BC();
    bool chooseUserDefinedBase(const std::string& text, std::string* error);
    std::string userDefinedBaseText() const;
    // "ext. Vref" toggled; true when the user must disconnect the external reference.
    bool toggleExtVref();
    // "Set Vpwm": the dialog's text, nullopt when cancelled. False, with the message in
    // error, when the text is no integer; nothing is sent then.
    bool setVpwm(const std::optional<std::string>& text, std::string* error);
    std::string vpwmText() const;

  private:
    // "Driver not open" with the reasons, at start-up or when a chosen base failed.
    void reportDriverNotOpen(const std::string& reasons);
    void attachTrace(Trace* trace);
    void beepTwice();
    // A field control written by the program: its handler runs when the state changes.
    void selectFieldState(const Field& f, int state);
    // The ABC preset step that follows the preset index.
    const AbcPreset* choosePreset(int index);
    const BandPreset* startBandPreset(int item);
    void defaultImage();
    const PlanEdits& planInputs() const { return edits_; }
    // PlanDividers on the crystal the correction says to plan on.
    std::optional<std::string> planStep(float fRF, std::optional<double> wanted);
    // The same on a state and image of the caller's (a trial plan that changes nothing).
    std::optional<std::string> planStepOn(FrequencyState& s, RegisterImage& regs, float fRF,
                                          std::optional<double> wanted) const;

    SessionOptions options_;
    std::unique_ptr<Clock> ownClock_;
    Clock* clock_;
    std::unique_ptr<Reporter> ownReporter_;
    Reporter* reporter_;
    std::unique_ptr<Board> board_;
    std::unique_ptr<Lpt> lpt_;
    std::unique_ptr<TZVK_SPIUSB> adapter_;
    std::unique_ptr<InterfaceDetection> detection_;
    std::unique_ptr<ChipController> chip_;
    FrequencyState fs_;
    PlanEdits edits_;
    DividerEdits dividers_;
    int32_t plannedNtot_ = -1;
    int bandPreset_ = -1;
    std::unique_ptr<Trace> trace_;
    RegisterImage traceHeld_{};
    uint8_t traceLines_ = 0;
    AdapterReturn adapterReturn_;
    CrystalCorrection correction_;
    // Set once a front end changed the correction: only then does the settings' save
    // write it, so that a calibration stored meanwhile by another program survives.
    bool correctionChanged_ = false;
    SessionObserver none_;
    SessionObserver* observer_ = &none_;
};

}  // namespace zvk
