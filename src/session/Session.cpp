// SPDX-License-Identifier: MIT
#include "session/Session.h"

#include <algorithm>
#include <stdexcept>

#include "base/Numbers.h"
#include "base/Version.h"
#include "chip/FieldMap.h"
#include "session/Doctor.h"
#include "storage/FileText.h"

namespace zvk {

std::string titleText() {
    // "v3.3" names the chip revision the program drives, not the program's own version.
    return "ZVK40310 Evaluation Program v3.3";
}

std::string saveCaption(const std::string& title, const std::string& savedPath) {
    return title + " " + fileNameOf(savedPath);
}

std::string loadCaption(const std::string& title, const std::string& loadedPath) {
    return title + " " + changeFileExt(fileNameOf(loadedPath), ".cfg");
}

Session::Session(const SessionOptions& options) : options_(options) {
    if (options_.clock != nullptr) {
        clock_ = options_.clock;
    } else {
        ownClock_ = std::make_unique<SteadyClock>();
        clock_ = ownClock_.get();
    }
    if (options_.reporter != nullptr) {
        reporter_ = options_.reporter;
    } else {
        ownReporter_ = std::make_unique<StderrReporter>();
        reporter_ = ownReporter_.get();
    }
    board_ = makeBoard(options_.boardName, *clock_, Lpt::kDefaultBase);
    lpt_ = std::make_unique<Lpt>(*board_->port, *clock_);
    if (options_.pump) lpt_->setMessagePump(options_.pump);
    adapter_ = std::make_unique<TZVK_SPIUSB>(board_->usbApi, reportUsbProblems(*reporter_),
                                             options_.adapter);
    detection_ = std::make_unique<InterfaceDetection>(*lpt_, *adapter_);
    chip_ = std::make_unique<ChipController>(detection_->link());
    detection_->setController(chip_.get());
    chip_->setRealtime(options_.realtime);
    chip_->setCounterPeriodMs(1000.0 / double(clock_->frequency()));
    // The USB-in-use flag takes the adapter's Ready; T_USB follows it.
    detection_->startUpConstruct();
    detection_->baseRefused = [this](const std::string& reasons) { reportDriverNotOpen(reasons); };
    detection_->adapterLost = [this](const std::string& text) { observer_->adapterLost(text); };
    board_->port->onBusy = [this](const std::string& why) { observer_->portBusy(why); };
    if (board_->hwport) board_->hwport->setBusyWait(options_.busyWaitMs);
}

void Session::reportDriverNotOpen(const std::string& reasons) {
    if (!observer_->driverNotOpen(reasons))
        reporter_->report("Driver not open", kApplicationTitle, Reporter::Icon::None);
}

Session::~Session() {
    if (lpt_ && adapter_) stopTrace();
    if (chip_) chip_->setObserver(nullptr);
    // The program ends: the adapter goes quietly, as the system would release it.
    if (adapter_) adapter_->usb().Release();
}

std::string Session::boardDescription() const {
    const BoardKind* kind = findBoardKind(options_.boardName);
    return kind != nullptr ? kind->description : options_.boardName;
}

void Session::setObserver(SessionObserver* observer) {
    observer_ = observer != nullptr ? observer : &none_;
    chip_->setObserver(observer);
}

Config settingsConfig(const Settings& s) {
    Config c;
    c.regs = s.cwr;
    c.spisel = s.spisel;
    c.frf = s.frf;
    c.pllmux = s.pllmux;
    c.fxtal = s.fxtal;
    c.injlo1 = s.injlo1;
    return c;
}

Session::StartUp Session::startUp(const std::function<void(Settings&)>& adjust) {
    StartUp st;
    // A save that died midway left its temporary file beside the settings.
    if (!options_.settingsPath.empty()) removeStaleTemporaries(options_.settingsPath);
    std::string unreadable;
    st.settings = readSettings(options_.settingsPath, &st.settingsExisted, &unreadable);
    if (!unreadable.empty()) {
        st.settingsError = unreadable;
        observer_->settingsUnreadable(unreadable);
    }
    if (adjust) adjust(st.settings);
    const Settings& s = st.settings;
    takeConfig(settingsConfig(s));
    detection_->level = s.level;
    detection_->vpwm = s.vpwm;
    chip_->setDel(s.del);
    // Before any port access.
    lpt_->setBase(effectiveBase(s.adr));

    st.driverOpen = board_->hwport ? board_->hwport->isOpen() : board_->portOpened;
    lpt_->setDriverOpen(st.driverOpen);
    // The reset goes where the transfers go: to the adapter when it was found.
    if (st.driverOpen) detection_->link().resetLines();
    // An adapter the user may not open is the likelier fix on a laptop without a port:
    // it comes first among the reasons.
    std::vector<std::string> hidden;
    if (board_->hwport && !adapter_->DeviceReady()) {
        const DoctorInputs system;
        for (const std::string& node : inaccessibleAdapters(system.usbSysfs, system.usbDevfs))
            hidden.push_back("ZVK_SPIUSB found but not accessible: " + node);
    }
    if (!st.driverOpen) {
        std::string reasons;
        for (const std::string& h : hidden) reasons += h + " | ";
        reasons += board_->hwport ? board_->hwport->failureReasons() : "";
        reportDriverNotOpen(reasons);
    }
    detection_->startUpAfterPortOpen();
    adapterReturn_.resend = s.resendOnReturn;
    // A figure no crystal can be off by is no correction, as other bad values give defaults.
    correction_.ppm =
        s.crystalPpm && !crystalPpmRefusal(*s.crystalPpm, "CrystalPpm") ? *s.crystalPpm : 0.0;
    adapterReturn_.afterTick(usbInUse(), *chip_);
    observer_->interfaceChanged(detection_->view());
    for (const std::string& h : hidden) observer_->adapterNotAccessible(h);
    return st;
}

void Session::tick() {
    // The waits of a transfer let the window's timer fire; adapter commands of the tick
    // between the transfer's own would garble both. The next tick comes a second later.
    if (chip_->busy()) return;
    // A write cycle the port's other user kept back goes out first, on whichever
    // transport the last tick chose.
    chip_->sendPending();
    detection_->searchAgain = adapterReturn_.resend;
    detection_->tick();
    adapterReturn_.afterTick(usbInUse(), *chip_);
    observer_->interfaceChanged(detection_->view());
}

std::string AdapterName::text() const {
    std::string t =
        "ZVK_SPIUSB at bus " + std::to_string(bus) + " device " + std::to_string(device);
    if (!portPath.empty()) t += " (USB port " + portPath + ")";
    return t;
}

std::optional<AdapterName> Session::adapterName() const {
    TlibUSB& usb = adapter_->usb();
    if (!usb.ready()) return std::nullopt;
    AdapterName n;
    n.bus = usb.busNumber();
    n.device = usb.deviceNumber();
    if (board_->hwport) n.portPath = usbPortOf(usb.choice().usbSysfs, n.bus, n.device);
    return n;
}

void Session::wait(uint32_t ms) {
    const uint64_t deadline = clock_->now() + uint64_t(ms) * clock_->frequency() / 1000u;
    if (options_.idleWait) options_.idleWait(ms);
    clock_->sleepUntil(deadline);
}

void Session::readFrequencyState() {
    ReadFrequencyState(fs_, chip_->regs(), planInputs());
    observer_->dividersRead(fs_);
}

void Session::beepTwice() {
    observer_->beep();
    lpt_->microsecondWait(200);
    observer_->beep();
    lpt_->microsecondWait(500);
}

bool Session::planDividers(float fRF, std::optional<double> wanted) {
    readFrequencyState();
    if (const auto refusal = planStep(fRF, wanted)) {
        observer_->planRefused(*refusal);
        return false;
    }
    plannedNtot_ = fs_.Ntot;
    chip_->afterChange();
    observer_->planShown(fs_);
    beepTwice();
    return true;
}

void Session::recomputeFrequencies() {
    readFrequencyState();
    RecomputeFrequencies(fs_);
    chip_->afterChange();
    observer_->planShown(fs_);
}

void Session::recomputeQuietly() {
    ReadFrequencyState(fs_, chip_->regs(), planInputs());
    RecomputeFrequencies(fs_);
}

bool Session::replanQuietly() {
    ReadFrequencyState(fs_, chip_->regs(), planInputs());
    if (planStep(rfArgument(fs_.fRF), fs_.fRF)) return false;
    plannedNtot_ = fs_.Ntot;
    recomputeQuietly();
    return true;
}

std::optional<std::string> Session::planQuietly(double mhz) {
    ReadFrequencyState(fs_, chip_->regs(), planInputs());
    if (auto refusal = planStep(rfArgument(mhz), mhz)) return refusal;
    plannedNtot_ = fs_.Ntot;
    recomputeQuietly();
    return std::nullopt;
}

std::optional<std::string> Session::planStep(float fRF, std::optional<double> wanted) {
    return planStepOn(fs_, chip_->editImage(), fRF, wanted);
}

std::optional<std::string> Session::planStepOn(FrequencyState& s, RegisterImage& regs, float fRF,
                                               std::optional<double> wanted) const {
    if (correction_.planOnCorrectedCrystal)
        return planDividersOnCorrectedCrystal(s, regs, fRF, correction_.ppm, wanted);
    return PlanDividers(s, regs, fRF, wanted);
}

namespace {
// Whether the N of a planned Ntot fits the bits of its field.
bool nFits(int32_t ntot) {
    return ntot >= 0 && ntot / 32 <= int32_t((1u << field("N").width) - 1);
}
}  // namespace

void Session::setCrystalCorrection(const CrystalCorrection& c) {
    if (c.ppm != correction_.ppm) correctionChanged_ = true;
    correction_ = c;
}

CorrectedFrequencies Session::correctedFrequencies() const {
    return zvk::correctedFrequencies(fs_, correction_.ppm);
}

void Session::calculate() {
    planWanted();
    recomputeFrequencies();
}

std::optional<std::string> Session::planRefusal(std::optional<double> xtal,
                                                std::optional<double> rf) const {
    PlanEdits e = edits_;
    if (xtal) e.fxtal = formatFrequency(*xtal);
    if (rf) e.frf = formatFrequency(*rf);
    FrequencyState s = fs_;
    RegisterImage regs = chip_->regs();
    ReadFrequencyState(s, regs, e);
    // The plan takes the stored wanted frequency: the value of the text its edit shows.
    s.fRF = rf ? rfEditState(e.frf) : fs_.fRF;
    if (auto refusal = planStepOn(s, regs, rfArgument(s.fRF), s.fRF)) return refusal;
    if (!nFits(s.Ntot))
        return "N = " + std::to_string(s.Ntot / 32) + " does not fit its " +
               std::to_string(field("N").width) + " bits";
    return std::nullopt;
}

void Session::controlChanged(const Field& f, int state) {
    chip_->setField(f, encodeControl(f, state));
    if (f.movesPlan)
        recomputeFrequencies();
    else
        chip_->afterChange();
}

int Session::controlState(const Field& f) const {
    const uint32_t value = fieldValue(chip_->regs(), f);
    if (f.encoding == Encoding::Number || f.encoding == Encoding::SplitN) return int(value);
    return decodeControl(f, value);
}

void Session::toggleBit(int reg, int bit) {
    uint16_t& r = chip_->editImage()[size_t(reg & 7)];
    r = uint16_t(bitToggle(r, bit));
}

void Session::setRegisterBits(int reg, uint16_t value) {
    reg &= 7;
    std::array<int, kFieldMap.size()> shown{};
    for (size_t i = 0; i < kFieldMap.size(); ++i) shown[i] = controlState(kFieldMap[i]);
    const uint16_t before = chip_->regs()[size_t(reg)];
    for (int bit = 0; bit < 16; ++bit)
        if (((before ^ value) >> bit) & 1) toggleBit(reg, bit);
    const uint64_t routines = chip_->afterChangeRuns();
    for (size_t i = 0; i < kFieldMap.size(); ++i) {
        const Field& f = kFieldMap[i];
        const int state = controlState(f);
        if (state == shown[i]) continue;
        switch (f.encoding) {
            case Encoding::Radio:
            case Encoding::Check:
            case Encoding::Inverted:
                observer_->fieldShown(f, state);
                controlChanged(f, state);
                break;
            case Encoding::Number:
                // The filter edits run their change handler for a program's write; the
                // divider edits act on key releases only.
                if (&f == &field("RIFF") || &f == &field("IFFPRES"))
                    numberEdited(f, std::to_string(state), true);
                else
                    observer_->fieldShown(f, state);
                break;
            case Encoding::Status:
                break;
            default:
                observer_->fieldShown(f, state);
                break;
        }
    }
    if (chip_->afterChangeRuns() == routines) chip_->afterChange();
}

void Session::selectControl(const Field& f, int state) {
    observer_->fieldShown(f, state);
    if (controlState(f) != state) controlChanged(f, state);
}

int Session::chooseMfo(int index, bool labMode) {
    const int item = mfoRestriction(index, labMode);
    observer_->fieldShown(field("MFO"), item);
    chip_->setField(field("MFO"), uint32_t(item));
    return item;
}

namespace {
void recomputeOrAfterChange(Session& s, bool byProgram) {
    if (byProgram)
        s.chip().afterChange();
    else
        s.recomputeFrequencies();
}
}  // namespace

void Session::numberEdited(const Field& f, std::string_view text, bool byProgram) {
    chip_->setField(f, uint32_t(numberEditValue(f, text)));
    // The edit shows the number before the recompute step's reverse sync looks at it, so
    // that a text set by someone other than the edit's user runs no handler a second time.
    observer_->fieldShown(f, controlState(f));
    recomputeOrAfterChange(*this, byProgram);
}

std::optional<std::string> Session::spinnerReleased(const Field& f, const EditRule& rule,
                                                    std::string_view text, bool byProgram) {
    const auto v = parseDecimal(text);
    if (!v) return notAValidInteger(text);
    // A typed value beyond the field's width is held at the spinner's range instead of
    // spilling into the neighbouring field.
    chip_->setField(f, unguardedFieldValue(*v, f.width, rule.min, rule.max));
    recomputeOrAfterChange(*this, byProgram);
    return std::nullopt;
}

std::string Session::takeCrystal(std::string_view text) {
    fs_.fXTAL = parseXtalEdit(text);
    return formatFrequency(fs_.fXTAL);
}

void Session::crystalChanged(bool byProgram) {
    if (byProgram)
        chip_->afterChange();
    else
        planWanted();
}

std::string Session::takeWantedFrequency(std::string_view text) {
    std::string shown = formatFrequency(parseRfEdit(text));
    // The stored value is the value of the text the edit shows.
    fs_.fRF = parseDouble(shown).value_or(parseRfEdit(text));
    return shown;
}

std::optional<std::string> Session::planTypedFrequency(std::string_view text) {
    const auto v = parseDouble(text);
    if (!v) return "'" + std::string(text) + "' is not a valid floating point value";
    planDividers(rfArgument(*v));
    return std::nullopt;
}

void Session::injectionChosen(int selection) {
    fs_.INJLO1 = int16_t(1 - selection);
    recomputeFrequencies();
}

const BandPreset* Session::startBandPreset(int item) {
    chip_->setField(field("DTAPOL"), 1);  // positive
    readFrequencyState();
    if (item < 0 || item >= 4) return nullptr;
    fs_.fRF = kBandPresets[item].fRF;
    return &kBandPresets[item];
}

void Session::defaultImage() {
    fs_.INJLO1 = 1;
    chip_->setRegs(kDefaultImage);
}

const AbcPreset* Session::choosePreset(int index) {
    // A text typed into the list that names no entry selects none: nothing to plan.
    if (index < 0 || index > 7) return nullptr;
    chip_->setPresetIndex(index);
    fs_.fRF = kAbcPresets[index].fRF;
    return &kAbcPresets[index];
}

void Session::selectFieldState(const Field& f, int state) {
    // The control shows the image since the last reverse sync: its handler runs only when
    // the selection really changes.
    if (controlState(f) == state) return;
    observer_->fieldShown(f, state);
    controlChanged(f, state);
}

void Session::writeWantedEdit(const std::string& text) {
    if (edits_.frf == text) return;
    edits_.frf = takeWantedFrequency(text);
    observer_->inputsShown();
}

void Session::writeCrystalEdit(const std::string& text, bool byProgram) {
    if (edits_.fxtal == text) return;
    edits_.fxtal = takeCrystal(text);
    observer_->inputsShown();
    crystalChanged(byProgram);
}

void Session::selectInjection(int selection) {
    selection = std::clamp(selection, -1, 1);
    if (edits_.rgIf1 == selection) return;
    edits_.rgIf1 = selection;
    observer_->inputsShown();
    // Clearing the selection is no choice: nothing follows it.
    if (selection >= 0) injectionChosen(selection);
}

void Session::switchMode(bool spi) {
    chip_->setSpiMode(spi);
    observer_->inputsShown();
    if (!spi) {
        applyDefaults(false);
        chooseAbcPreset(chip_->presetIndex());
        selectFieldState(field("SSBSEL"), 0);
        selectInjection(0);
        // The preset was planned before both injection sides went "high": the dividers
        // and the tuning info show its plan for them. No register is sent in ABC mode.
        if (replanQuietly()) observer_->planShown(fs_);
    }
    if (chip_->sendAlways()) chip_->writeCycle();
    observer_->modeSwitched(spi);
}

void Session::applyDefaults(bool spiMode) {
    if (chip_->spiMode() != spiMode) switchMode(spiMode);
    fs_.fRF = kDefaultFrf;
    writeWantedEdit(formatFrequency(kDefaultFrf));
    fs_.fXTAL = kDefaultFxtal;
    writeCrystalEdit(formatFrequency(kDefaultFxtal), false);
    selectInjection(0);
    observer_->defaultsApplied();
    defaultImage();
    calculate();
}

void Session::defaults() {
    bandPreset_ = -1;
    observer_->inputsShown();
    applyDefaults(true);
}

std::optional<std::string> Session::chooseBandPreset(int item) {
    bandPreset_ = item >= 0 && item < 4 ? item : -1;
    observer_->inputsShown();
    applyDefaults(true);
    if (const BandPreset* p = startBandPreset(item)) {
        writeWantedEdit(formatFrequency(p->fRF));
        selectFieldState(field("LO2DIV"), p->lo2Div);
        selectInjection(p->injection);
        selectFieldState(field("SSBSEL"), p->injection);
        dividers_.r = std::to_string(p->R);
        observer_->inputsShown();
    }
    if (const auto bad =
            ApplyDividerEdits(chip_->editImage(), dividers_.r, dividers_.n, dividers_.a))
        return notAValidInteger(*bad);
    calculate();
    return std::nullopt;
}

void Session::chooseAbcPreset(int index) {
    const AbcPreset* preset = choosePreset(index);
    if (preset == nullptr) {
        // No preset to plan; the pins show what the lines carry.
        observer_->abcPinsShown(presetPins());
        return;
    }
    observer_->inputsShown();
    writeWantedEdit(formatFrequency(preset->fRF));
    calculateClicked();
    observer_->abcPinsShown({preset->A, preset->B, preset->C});
    if (chip_->sendAlways()) chip_->writeCycle();
}

void Session::calculateClicked() {
    bandPreset_ = -1;
    observer_->inputsShown();
    calculate();
}

void Session::restoreConfig(const Config& c) {
    takeConfig(c);
    recomputeQuietly();
    chip_->writeCycle();
    chip_->redraw();
    observer_->planShown(fs_);
}

void Session::setImage(const RegisterImage& regs, bool spi, int presetIndex) {
    chip_->setRegs(regs);
    chip_->setSpiMode(spi);
    chip_->setPresetIndex(presetIndex);
}

std::optional<std::string> Session::statusReadBlocked() const {
    return zvk::statusReadBlocked(*chip_);
}

std::optional<StatusReading> Session::readStatus() {
    return zvk::readStatus(*chip_);
}

void Session::requestStatus(std::function<void(const StatusReading&)> answer) {
    zvk::requestStatus(*chip_, std::move(answer));
}

void Session::planFrequencies(const RegisterImage& start, double xtal, double rf, int injlo1) {
    chip_->setRegs(start);
    // The edits hold the numbers with three decimals, and the plan reads them from there:
    // 433.9204 plans as 433.920.
    edits_.fxtal = formatFrequency(xtal);
    edits_.frf = formatFrequency(rf);
    edits_.rgIf1 = rgIf1Selection(injlo1);
    readFrequencyState();
    calculate();
}

std::optional<StatusDecoding> Session::refreshStatus() {
    if (chip_->mfoSelection() != kMfoSpiOut) return std::nullopt;
    // nullopt: another transfer is running below us; there is no word to show.
    const auto word = chip_->registerRead(7);
    if (!word) return std::nullopt;
    const StatusDecoding d = decodeStatus(*word, fieldValue(chip_->regs(), field("SHOWLD")) != 0);
    chip_->setRegister(7, *word);
    chip_->afterChange();
    return d;
}

bool Session::plannedNFits() const {
    return nFits(plannedNtot_);
}

FrequencyState Session::tunedFrequencies() const {
    FrequencyState s = fs_;
    ReadFrequencyState(s, chip_->regs(), planInputs());
    RecomputeFrequencies(s);
    return s;
}

std::string Session::tunedFrequencyText() const {
    return ShowTuningInfo(tunedFrequencies()).fRF.text;
}

std::array<int, 3> Session::presetPins() const {
    const int i = chip_->presetIndex();
    if (i >= 0 && i < 8) return {kAbcPresets[i].A, kAbcPresets[i].B, kAbcPresets[i].C};
    // No preset: the low three bits of -1, all set, as the lines carry them.
    return {1, 1, 1};
}

Config Session::currentConfig() const {
    Config c;
    c.regs = chip_->regs();
    c.spisel = chip_->spiMode();
    c.frf = fs_.fRF;
    c.pllmux = int16_t(chip_->presetIndex());
    c.fxtal = fs_.fXTAL;
    c.injlo1 = fs_.INJLO1;
    return c;
}

void Session::takeConfig(const Config& c) {
    chip_->setRegs(c.regs);
    chip_->setSpiMode(c.spisel);
    fs_.fRF = c.frf;
    chip_->setPresetIndex(presetOrNone(c.pllmux));
    fs_.fXTAL = c.fxtal;
    fs_.INJLO1 = c.injlo1;
}

std::optional<std::string> Session::loadConfiguration(const std::string& path) {
    observer_->loadingConfiguration(path);
    Config c = currentConfig();
    if (auto error = loadConfig(path, c)) {
        // What the lines before a bad one gave is kept, as it would be by a reader that
        // stores each line as it goes; the rest of the program follows only a complete
        // file.
        takeConfig(c);
        return error;
    }
    applyLoadedConfiguration(c);
    return std::nullopt;
}

std::optional<std::string> Session::saveConfiguration(const std::string& path) {
    observer_->savingConfiguration(path);
    return saveConfig(path, currentConfig(), titleText());
}

void Session::applyLoadedConfiguration(const Config& c) {
    // The mode first, from the mode and preset shown before: its switch resets the image
    // in ABC mode and plans the preset. What the file set survives it: the steps below run
    // on the file's image, frequencies and injection.
    if (chip_->spiMode() != c.spisel) switchMode(c.spisel);
    takeConfig(c);
    // The edits hold three decimals, and their change handlers store what they parse:
    // the stored value is the edit's, also when the text stood already.
    edits_.frf = takeWantedFrequency(formatFrequency(c.frf));
    observer_->inputsShown();
    // In ABC mode the preset list's change handler plans the preset.
    if (!chip_->spiMode()) chooseAbcPreset(chip_->presetIndex());
    const std::string xtal = formatFrequency(c.fxtal);
    if (edits_.fxtal == xtal)
        takeCrystal(xtal);
    else
        writeCrystalEdit(xtal, false);
    selectInjection(rgIf1Selection(c.injlo1));
    planWanted();
    bandPreset_ = -1;
    observer_->inputsShown();
    planWanted();
}

Settings Session::currentSettings(int top, int left, int width, int height) const {
    Settings s;
    s.top = top;
    s.left = left;
    s.width = width;
    s.height = height;
    s.adr = lpt_->base();
    s.vpwm = detection_->vpwm;
    s.del = chip_->del();
    s.spisel = chip_->spiMode();
    s.frf = fs_.fRF;
    s.pllmux = int16_t(chip_->presetIndex());
    s.fxtal = fs_.fXTAL;
    s.injlo1 = fs_.INJLO1;
    s.level = detection_->level;
    s.cwr = chip_->regs();
    s.resendOnReturn = adapterReturn_.resend;
    if (correctionChanged_) s.crystalPpm = correction_.ppm;
    return s;
}

std::optional<std::string> Session::saveSettings(const Settings& s) const {
    return writeSettings(options_.settingsPath, s);
}

}  // namespace zvk

namespace zvk {

void Session::attachTrace(Trace* trace) {
    lpt_->setTrace(trace);
    adapter_->setTrace(trace);
    if (board_->chip) board_->chip->setTrace(trace);
}

Trace& Session::startTrace(size_t keep) {
    stopTrace();
    trace_ = std::make_unique<Trace>(*clock_, keep);
    traceHeld_ = board_->chip ? board_->chip->latched() : chip_->regs();
    traceLines_ = lpt_->lineByte();
    attachTrace(trace_.get());
    return *trace_;
}

void Session::stopTrace() {
    attachTrace(nullptr);
}

TraceText Session::traceText() const {
    return TraceText(*trace_, traceHeld_, traceLines_);
}

std::string Session::traceVcd() const {
    return zvk::traceVcd(*trace_, traceLines_, kVersionLine);
}

// ---- What a front end asks of the chip, the port and the adapter.

int Session::presetIndex() const {
    return chip_->presetIndex();
}

void Session::setSpiMode(bool spi) {
    chip_->setSpiMode(spi);
}

void Session::setSendAlways(bool on) {
    chip_->setSendAlways(on);
}

void Session::afterChange() {
    chip_->afterChange();
}

bool Session::transferRunning() const {
    return chip_->busy();
}

void Session::setLineStepDelay(double us) {
    lpt_->setStepDelay(us);
}

const InterfaceView& Session::interfaceView() const {
    return detection_->view();
}

int Session::portBase() const {
    return lpt_->base();
}

bool Session::adapterOpen() const {
    return adapter_->DeviceReady();
}

void Session::chooseBase378() {
    detection_->choose378();
}

void Session::chooseBase3BC() {
    detection_->choose3BC();
}

bool Session::chooseUserDefinedBase(const std::string& text, std::string* error) {
    return detection_->chooseUserDefined(text, error);
}

std::string Session::userDefinedBaseText() const {
    return detection_->userDefinedInitialText();
}

bool Session::toggleExtVref() {
    return detection_->extVrefClick();
}

bool Session::setVpwm(const std::optional<std::string>& text, std::string* error) {
    return detection_->setVpwm(text, error);
}

std::string Session::vpwmText() const {
    return detection_->setVpwmInitialText();
}

}  // namespace zvk
