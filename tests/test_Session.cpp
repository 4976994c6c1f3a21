// SPDX-License-Identifier: MIT
// The program core on the virtual board: start-up from the settings file, Calculate and
// loading a configuration file, as both front ends drive them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "TempDir.h"
#include "board/VirtualAdapter.h"
#include "chip/FieldMap.h"
#include "session/Session.h"
#include "session/StatusPoll.h"

namespace zvk {
namespace {

struct Recorder : SessionObserver {
    std::vector<std::string> refusals;
    std::vector<std::string> busy;
    std::vector<bool> pending;
    int shown = 0;
    // What the front end was told to show, in order.
    std::vector<std::string> told;
    void portBusy(const std::string& why) override { busy.push_back(why); }
    void writePending(bool on) override { pending.push_back(on); }
    void planRefused(const std::string& reason) override { refusals.push_back(reason); }
    void planShown(const FrequencyState&) override {
        ++shown;
        told.push_back("plan");
    }
    void fieldShown(const Field& f, int state) override {
        told.push_back(std::string(f.name) + "=" + std::to_string(state));
    }
    void loadingConfiguration(const std::string& path) override {
        told.push_back("loading " + path);
    }
    void savingConfiguration(const std::string& path) override { told.push_back("saving " + path); }
};

class SessionTest : public test::TempDir {
  protected:
    SessionTest() : TempDir("zvk-session") {}
    std::unique_ptr<Session> open(const std::string& board, const std::string& settingsText = "") {
        SessionOptions o;
        o.boardName = board;
        o.settingsPath = file("zvk40310.INI");
        if (!settingsText.empty()) std::ofstream(o.settingsPath) << settingsText;
        o.clock = &clock;
        o.realtime = false;
        auto s = std::make_unique<Session>(o);
        s->setObserver(&recorder);
        return s;
    }
    SteppingClock clock;
    Recorder recorder;
};

TEST_F(SessionTest, StartUpTakesTheSettingsAndSendsTheirLevel) {
    auto s = open("virtual-usb",
                  "[Port]\nAdr=0x3BC\n[USBSPI]\nVPWM=2500\nDEL=7\n[CFG]\nLevel=1\nSPISEL=1\n"
                  "FRF=868.3\nPLLMUX=5\n[CWR]\n2=1234\n");
    const Session::StartUp st = s->startUp();
    EXPECT_TRUE(st.settingsExisted);
    EXPECT_TRUE(st.driverOpen);
    EXPECT_EQ(s->lpt().base(), 0x3BC);
    EXPECT_EQ(s->chip().del(), 7);
    EXPECT_TRUE(s->chip().spiMode());
    EXPECT_EQ(s->chip().presetIndex(), 5);
    EXPECT_EQ(s->chip().regs()[2], 1234);
    EXPECT_EQ(s->frequencies().fRF, 868.3);
    EXPECT_TRUE(s->usbInUse());
    const auto& adapter = s->board().vusb->adapter(0);
    EXPECT_TRUE(adapter.levelEnabled);
    EXPECT_EQ(adapter.levelMv, 2500);
    EXPECT_EQ(s->detection().view().panel, "USB found");
}

// The trace shows what went over the wire: on the parallel port's board the detection
// tick's GetVersion goes nowhere (no adapter is open) and is not logged; with the adapter
// it is.
TEST_F(SessionTest, TheTraceLogsOnlyAdapterCommandsThatWentOverTheWire) {
    for (const auto& [board, expected] : {std::pair{"virtual", 0}, std::pair{"virtual-usb", 3}}) {
        auto s = open(board);
        s->startUp();
        Trace& trace = s->startTrace();
        for (int i = 0; i < 3; ++i) s->tick();
        int versions = 0;
        TraceText text = s->traceText();
        for (const TraceEvent& e : trace.events())
            if (e.kind == TraceEvent::Kind::Command) {
                const std::string line = text.text(e);
                EXPECT_EQ(line.find("no reply"), std::string::npos) << line;
                versions += line.rfind("usb GetVersion", 0) == 0 ? 1 : 0;
            }
        EXPECT_EQ(versions, expected) << board;
        s->stopTrace();
    }
}

TEST_F(SessionTest, StartUpWithoutSettingsUsesTheDefaultsAndTheAdjustment) {
    auto s = open("virtual");
    const Session::StartUp st = s->startUp([](Settings& set) { set.adr = 0x278; });
    EXPECT_FALSE(st.settingsExisted);
    EXPECT_EQ(s->lpt().base(), 0x278);
    EXPECT_EQ(s->detection().view().panel, "LPT Port Address: 0x0278");
    auto t = open("virtual");
    t->startUp();
    EXPECT_EQ(t->lpt().base(), kDefaultPortBase);
}

TEST_F(SessionTest, AnUnreadableSettingsFileIsToldBeforeTheLevelGoesOut) {
    struct Told : Recorder {
        std::string message;
        bool levelSentBefore = true;
        const VirtualUsbBus* bus = nullptr;
        void settingsUnreadable(const std::string& m) override {
            message = m;
            levelSentBefore = bus->adapter(0).levelEnabled;
        }
    } told;
    std::filesystem::create_directory(file("zvk40310.INI"));
    auto s = open("virtual-usb");
    told.bus = s->board().vusb.get();
    s->setObserver(&told);
    const Session::StartUp st = s->startUp();
    EXPECT_NE(told.message.find("Cannot read the settings file"), std::string::npos);
    EXPECT_EQ(st.settingsError, told.message);
    EXPECT_FALSE(told.levelSentBefore);
    // Then the defaults, as for a file without keys; the folder stays as it was.
    EXPECT_TRUE(s->board().vusb->adapter(0).levelEnabled);
    EXPECT_EQ(s->board().vusb->adapter(0).levelMv, 5000);
    EXPECT_TRUE(s->saveSettings(s->currentSettings(0, 0, 490, 580)).has_value());
    EXPECT_TRUE(std::filesystem::is_directory(file("zvk40310.INI")));
}

TEST_F(SessionTest, ARefusedPlanLeavesTheImageAndSaysWhy) {
    struct Case {
        const char* rf;
        const char* mentions;
    };
    const Case cases[] = {
        {"1.000", "f RF = 1.000 MHz"},
        // beyond single precision: planned as an infinity
        {"1.000000E+40", "f RF = INF MHz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rf);
        auto s = open("virtual");
        recorder.refusals.clear();
        s->chip().setRegs(kDefaultImage);
        s->chip().setRegister(2, 0xABC);
        s->chip().setField(*findField("SSBSEL"), 1);  // LO2 above: LO1 below zero
        s->setWantedEdit(c.rf);
        s->readFrequencyState();
        EXPECT_FALSE(s->planDividers(rfArgument(s->frequencies().fRF)));
        ASSERT_EQ(recorder.refusals.size(), 1u);
        EXPECT_NE(recorder.refusals[0].find(c.mentions), std::string::npos);
        EXPECT_EQ(s->chip().regs()[2], 0xABC);
    }
}

// Calculate plans the stored frequency into N and A and recomputes from the image.
TEST_F(SessionTest, CalculatePlansAndRecomputes) {
    auto s = open("virtual");
    s->chip().setRegs(kDefaultImage);
    s->setPlanEdits({"10.000", "433.920", 0});
    s->readFrequencyState();
    s->calculate();
    EXPECT_TRUE(recorder.refusals.empty());
    EXPECT_EQ(recorder.shown, 2);  // after the planning step and after the recompute step
    const FrequencyState& f = s->frequencies();
    EXPECT_EQ(f.Ntot, 32 * int(f.N) + int(f.A));
    EXPECT_EQ(fieldValue(s->chip().regs(), *findField("N")), f.N);
    // tuned to the nearest channel
    EXPECT_NEAR(f.fRFt, 433.92, f.fCH / 2);
}

// Loading goes through the same steps as in the window: in ABC mode the preset's
// frequency is planned, in SPI mode the file's, read through the edit's three decimals.
TEST_F(SessionTest, LoadingAConfigurationPlansItsFrequency) {
    struct Case {
        bool spisel;
        double frf;
        int pllmux;
        const char* planned;
    };
    const Case cases[] = {{true, 433.9204, 3, "433.920"}, {false, 433.92, 3, "376.900"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.planned);
        Config cfg;
        cfg.regs = kDefaultImage;
        cfg.spisel = c.spisel;
        cfg.frf = c.frf;
        cfg.pllmux = int16_t(c.pllmux);
        const std::string path = file("load.cfg");
        ASSERT_FALSE(saveConfig(path, cfg, titleText()).has_value());
        auto s = open("virtual");
        s->takeConfig(Config{});
        ASSERT_FALSE(s->loadConfiguration(path).has_value());
        EXPECT_EQ(s->edits().frf, c.planned);
        EXPECT_EQ(s->chip().spiMode(), c.spisel);
        EXPECT_EQ(s->chip().presetIndex(), c.pllmux);

        // The same as planning that frequency by hand.
        auto by = open("virtual");
        by->chip().setRegs(kDefaultImage);
        by->setPlanEdits({"10.000", c.planned, 0});
        by->readFrequencyState();
        ASSERT_TRUE(by->planDividers(rfArgument(by->frequencies().fRF)));
        EXPECT_EQ(s->chip().regs(), by->chip().regs());
    }
    // A file that does not load says so and keeps what its good lines gave.
    const std::string bad = file("bad.cfg");
    std::ofstream(bad) << "fRF\t500\r\nPLLMUX\tx\r\n";
    auto s = open("virtual");
    const auto error = s->loadConfiguration(bad);
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("line 2"), std::string::npos) << *error;
    EXPECT_EQ(s->frequencies().fRF, 500.0);
}

// A front end that did not make the change itself (a remote client's) learns of it before
// the steps that follow, so that its reverse sync finds the control in place and runs no
// handler a second time; the caption learns of a file before it is read or written.
TEST_F(SessionTest, OperationsTellTheFrontEndWhatTheySetFirst) {
    struct Case {
        const char* what;
        std::function<void(Session&)> operation;
        std::string first;  // what the front end hears first
        bool planFollows;   // and then the plan
    };
    const std::string cfg = file("told.cfg");
    const int restricted = mfoRestriction(kMfoLdOut + 1, false);
    ASSERT_NE(restricted, kMfoLdOut + 1);
    const Case cases[] = {
        {"a filter edit", [](Session& s) { s.numberEdited(field("RIFF"), "150", false); },
         "RIFF=150", true},
        {"a divider edit", [](Session& s) { s.numberEdited(field("A"), "7", false); }, "A=7", true},
        {"an MFO item", [](Session& s) { s.chooseMfo(kMfoLdOut, false); },
         "MFO=" + std::to_string(kMfoLdOut), false},
        {"an MFO item outside the restriction",
         [](Session& s) { s.chooseMfo(kMfoLdOut + 1, false); }, "MFO=" + std::to_string(restricted),
         false},
        {"a save", [&](Session& s) { EXPECT_FALSE(s.saveConfiguration(cfg)); }, "saving " + cfg,
         false},
        {"a load", [&](Session& s) { EXPECT_FALSE(s.loadConfiguration(cfg)); }, "loading " + cfg,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto s = open("virtual");
        s->chip().setRegs(kDefaultImage);
        recorder.told.clear();
        c.operation(*s);
        ASSERT_FALSE(recorder.told.empty());
        EXPECT_EQ(recorder.told.front(), c.first);
        const bool planned =
            std::find(recorder.told.begin(), recorder.told.end(), "plan") != recorder.told.end();
        EXPECT_EQ(planned, c.planFollows);
    }
    EXPECT_TRUE(std::filesystem::exists(cfg));
}

}  // namespace
}  // namespace zvk

namespace zvk {
namespace {

struct Messages : Reporter {
    std::vector<std::string> texts;
    void report(const std::string& text, const std::string&, Icon) override {
        texts.push_back(text);
    }
};

// The program's end releases the adapter without a word, even when it was pulled out.
TEST(SessionEnd, ReleasesTheAdapterSilently) {
    Messages messages;
    SteppingClock clock;
    {
        SessionOptions o;
        o.boardName = "virtual-usb";
        o.clock = &clock;
        o.reporter = &messages;
        o.realtime = false;
        Session s(o);
        s.startUp();
        ASSERT_TRUE(s.usbInUse());
        s.board().vusb->faults().unplugged = true;
    }
    EXPECT_TRUE(messages.texts.empty()) << messages.texts.front();
}

TEST_F(SessionTest, TheWantedFrequencyIsTheValueOfItsText) {
    auto s = open("virtual");
    EXPECT_EQ(s->takeWantedFrequency("433.9496"), "433.950");
    EXPECT_EQ(s->frequencies().fRF, 433.95);
    EXPECT_EQ(s->takeWantedFrequency("x"), "433.000");  // the edit's design value
    EXPECT_EQ(s->frequencies().fRF, 433.0);
}

// Loading an ABC-mode file while in SPI mode: the mode switch's defaults do not replace
// what the file set.
TEST_F(SessionTest, AnAbcFileKeepsItsImageThroughTheModeSwitch) {
    Config cfg;
    cfg.regs = kDefaultImage;
    cfg.regs[6] = 0xA5C;
    cfg.spisel = false;
    cfg.frf = 384.0;
    cfg.fxtal = 12.0;
    cfg.pllmux = 2;
    const std::string path = file("abc.cfg");
    ASSERT_FALSE(saveConfig(path, cfg, titleText()).has_value());
    auto s = open("virtual");
    s->chip().setSpiMode(true);
    ASSERT_FALSE(s->loadConfiguration(path).has_value());
    EXPECT_EQ(s->chip().regs()[6], 0xA5C);
    EXPECT_EQ(s->frequencies().fXTAL, 12.0);
}

}  // namespace
}  // namespace zvk

namespace zvk {
namespace {

// The adapter pulled out and plugged back: with the option on, the next tick that sees it
// sends the program's image once; off, or while it stays plugged in, nothing is sent.
TEST_F(SessionTest, TheImageIsResentOnceWhenTheAdapterReturnsIfAsked) {
    for (const bool resend : {false, true}) {
        auto s = open("virtual-usb");
        s->startUp();
        ASSERT_TRUE(s->usbInUse());
        s->chip().setSpiMode(true);  // the words reach the chip only in SPI mode
        s->chip().writeCycle();
        const auto before = s->board().chip->latched();
        s->adapterReturn().resend = resend;
        // A change the chip has not been sent yet, which a resend must carry.
        s->chip().setRegister(1, uint16_t(s->chip().regs()[1] ^ 0x003));
        s->tick();
        EXPECT_EQ(s->board().chip->latched(), before) << "still plugged in: nothing sent";

        s->board().vusb->faults().unplugged = true;
        s->tick();
        ASSERT_FALSE(s->usbInUse());
        s->board().vusb->faults().unplugged = false;
        s->tick();
        ASSERT_TRUE(s->usbInUse());
        const auto after = s->board().chip->latched();
        EXPECT_EQ(after[1] == s->chip().regs()[1], resend) << "resend " << resend;
        EXPECT_EQ(after[1] == before[1], !resend) << "resend " << resend;
        // Once: a change after the return stays unsent until the user sends it.
        s->chip().setRegister(1, uint16_t(s->chip().regs()[1] ^ 0x030));
        s->tick();
        EXPECT_NE(s->board().chip->latched()[1], s->chip().regs()[1]) << "resend " << resend;
    }
}

// Linux never lets the old handle answer again: a replugged adapter is a new device node.
// With the resend option on it is searched for and found; off, the user hears once what
// would bring it back.
TEST_F(SessionTest, ALostAdapterIsFoundUnderItsNewNodeWhenTheResendOptionIsOn) {
    struct Lost : Recorder {
        std::vector<std::string> lost;
        void adapterLost(const std::string& text) override { lost.push_back(text); }
    };
    for (const bool resend : {false, true}) {
        Lost told;
        auto s = open("virtual-usb");
        s->setObserver(&told);
        s->startUp();
        ASSERT_TRUE(s->usbInUse());
        s->chip().setSpiMode(true);
        s->chip().writeCycle();
        s->adapterReturn().resend = resend;
        VirtualUsbBus& bus = *s->board().vusb;
        bus.faults().unplugged = true;
        s->tick();
        ASSERT_FALSE(s->usbInUse());
        bus.replug();
        s->chip().setRegister(1, uint16_t(s->chip().regs()[1] ^ 0x003));
        for (int tick = 0; tick < 3; ++tick) s->tick();
        EXPECT_EQ(s->usbInUse(), resend) << "resend " << resend;
        EXPECT_EQ(s->board().chip->latched()[1] == s->chip().regs()[1], resend);
        EXPECT_EQ(s->detection().searches() > 0, resend);
        EXPECT_EQ(told.lost.size(), resend ? 0u : 1u) << "told once";
        if (!resend) {
            EXPECT_NE(told.lost[0].find("Resend Registers When the Adapter Returns"),
                      std::string::npos);
            continue;
        }
        EXPECT_EQ(bus.openHandles(), 1) << "the lost handle was closed";
        EXPECT_EQ(s->detection().view().panel.rfind("USB found", 0), 0u)
            << s->detection().view().panel;
    }
}

// Another program holds the parallel port: nothing read is invented, nothing written is
// lost.
TEST_F(SessionTest, ABusyPortInventsNoStatusAndKeepsTheWriteForTheNextTick) {
    auto s = open("virtual", "[CFG]\nSPISEL=1\n");
    s->startUp();
    s->chip().setField(field("MFO"), kMfoSpiOut);
    s->chip().writeCycle();
    ASSERT_TRUE(s->chip().spiMode());
    const RegisterImage before = s->chip().regs();
    VirtualPort& port = *s->board().vport;

    // A read: no word, no R7, no decoded panel, no monitor sample.
    port.holdElsewhere(2);
    const uint64_t accesses = port.accesses();
    EXPECT_FALSE(s->refreshStatus().has_value());
    EXPECT_TRUE(s->chip().lastReadSkipped());
    EXPECT_EQ(s->chip().regs(), before) << "R7 untouched";
    std::vector<StatusReading> readings;
    requestStatus(s->chip(), [&](const StatusReading& r) { readings.push_back(r); });
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_TRUE(readings[0].skipped);
    EXPECT_FALSE(readings[0].suspect.has_value()) << "no board is blamed for a busy port";
    EXPECT_EQ(statusCsvLine(100, readings[0]), "100.0,,,,,,port busy");
    EXPECT_EQ(port.accesses(), accesses) << "nothing went over the port";
    EXPECT_EQ(recorder.busy, std::vector<std::string>{"parport0 is in use by lp"});

    // A write cycle: held back, said so, and sent at the next tick once the port is free.
    port.holdElsewhere(1);
    s->chip().setRegister(1, uint16_t(before[1] ^ 0x003));
    const uint64_t cycles = s->chip().writeCycles();
    s->chip().writeCycle();
    EXPECT_TRUE(s->chip().writePending());
    EXPECT_EQ(s->chip().writeCycles(), cycles);
    EXPECT_NE(s->board().chip->latched()[1], s->chip().regs()[1]);
    EXPECT_EQ(recorder.pending, std::vector<bool>{true});
    s->tick();
    EXPECT_FALSE(s->chip().writePending());
    EXPECT_EQ(s->board().chip->latched()[1], s->chip().regs()[1]);
    EXPECT_EQ(recorder.pending, (std::vector<bool>{true, false}));

    // Free again: the read gives the chip's word and R7 takes it.
    const auto d = s->refreshStatus();
    ASSERT_TRUE(d.has_value());
    EXPECT_FALSE(s->chip().lastReadSkipped());
    EXPECT_EQ(s->chip().regs()[7], s->board().chip->statusWord());
}

// A port held over several ticks: the write waits for as many, and goes out once.
TEST_F(SessionTest, APendingWriteWaitsAsLongAsThePortIsHeld) {
    auto s = open("virtual", "[CFG]\nSPISEL=1\nSendAlways=1\n");
    s->startUp();
    s->chip().setSendAlways(true);
    VirtualPort& port = *s->board().vport;
    port.holdElsewhere(3);  // the change's transfer and the next two ticks
    s->chip().setRegister(2, uint16_t(s->chip().regs()[2] ^ 0x010));
    s->chip().afterChange();
    for (int tick = 0; tick < 2; ++tick) {
        EXPECT_TRUE(s->chip().writePending()) << tick;
        s->tick();
    }
    EXPECT_TRUE(s->chip().writePending());
    const uint64_t cycles = s->chip().writeCycles();
    s->tick();
    EXPECT_FALSE(s->chip().writePending());
    EXPECT_EQ(s->chip().writeCycles(), cycles + 1);
    EXPECT_EQ(s->board().chip->latched()[2], s->chip().regs()[2]);
    EXPECT_EQ(recorder.pending, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace zvk

namespace zvk {
namespace {

// The settings' correction is the session's from start-up on; a figure no crystal is off
// by counts as none. The save carries it only after a front end changed it, so a
// calibration stored meanwhile by zvk40310ctl survives the window's close.
TEST_F(SessionTest, TheCrystalCorrectionComesFromTheSettingsAndIsSavedOnlyWhenChanged) {
    struct Case {
        const char* stored;
        double ppm;
    };
    for (const Case c : {Case{"20", 20}, Case{"-50.5", -50.5}, Case{"1001", 0}, Case{"x", 0}}) {
        auto s = open("virtual", std::string("[zvk40310]\nCrystalPpm=") + c.stored + "\n");
        s->startUp();
        EXPECT_EQ(s->crystalCorrection().ppm, c.ppm) << c.stored;
        EXPECT_FALSE(s->crystalCorrection().planOnCorrectedCrystal);
    }
    auto s = open("virtual", "[zvk40310]\nCrystalPpm=20\n");
    s->startUp();
    EXPECT_EQ(s->currentSettings(0, 0, 490, 580).crystalPpm, std::nullopt);
    // Stored meanwhile by another program.
    ASSERT_EQ(writeCrystalPpm(s->settingsPath(), 7), std::nullopt);
    ASSERT_EQ(s->saveSettings(s->currentSettings(0, 0, 490, 580)), std::nullopt);
    EXPECT_EQ(readSettings(s->settingsPath()).crystalPpm, 7.0);

    s->setCrystalCorrection({-3, false});
    EXPECT_EQ(s->currentSettings(0, 0, 490, 580).crystalPpm, -3.0);
}

// Calculate plans on the crystal the correction says; the tuning info stays nominal and
// the corrected frequencies follow the dividers.
TEST_F(SessionTest, CalculateFollowsTheCorrection) {
    struct Case {
        CrystalCorrection correction;
        int ntot;
        double correctedRf;
    };
    const Case cases[] = {
        {{0, false}, 4360, 434.0},
        {{100, false}, 4360, 434.0434},
        {{100, true}, 4359, 433.94339},
    };
    for (const Case& c : cases) {
        auto s = open("virtual");
        s->chip().setRegs(kDefaultImage);
        s->setPlanEdits({"10.000", "433.960", 0});
        s->setCrystalCorrection(c.correction);
        s->readFrequencyState();
        s->calculate();
        EXPECT_EQ(s->frequencies().Ntot, c.ntot) << c.correction.ppm;
        EXPECT_NEAR(s->frequencies().fRFt, c.ntot * 0.1 - 2, 1e-6) << "nominal";
        EXPECT_NEAR(s->correctedFrequencies().fRF, c.correctedRf, 1e-6);
        EXPECT_EQ(s->correctedFrequencies().ppm, c.correction.ppm);
    }
}

}  // namespace
}  // namespace zvk
