// SPDX-License-Identifier: MIT
// The SCPI command set on the virtual board: what each command does through the core's
// operations, and that every refusal leaves the image and the plan's inputs alone.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "base/Version.h"
#include "chip/FieldMap.h"
#include "remote/Instrument.h"
#include "session/EditRules.h"
#include "session/Session.h"

namespace zvk::remote {
namespace {

namespace fs = std::filesystem;

// What a refused command must leave as it was.
struct Snapshot {
    RegisterImage regs{};
    bool spi = false;
    int preset = 0;
    std::string fxtal, frf;
    int rgIf1 = 0;
    double fRF = 0, fXTAL = 0;
    int injlo1 = 0;
    uint64_t cycles = 0;
    size_t frames = 0;
    bool operator==(const Snapshot&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Snapshot& s) {
    os << "regs";
    for (uint16_t r : s.regs) os << " " << r;
    return os << " spi " << s.spi << " preset " << s.preset << " fxtal " << s.fxtal << " frf "
              << s.frf << " rgIf1 " << s.rgIf1 << " fRF " << s.fRF << " fXTAL " << s.fXTAL
              << " INJLO1 " << s.injlo1 << " cycles " << s.cycles << " frames " << s.frames;
}

class ScpiInstrument : public test::TempDir {
  protected:
    ScpiInstrument() : TempDir("zvk-scpi") {}
    void SetUp() override {
        TempDir::SetUp();
        fs::create_directory(dir / "files");
        session = open();
        instrument = std::make_unique<Instrument>(*session, options(false));
        // The default settings, written: every case starts from them in SPI mode.
        ASSERT_EQ(run("*RST;SYST:ERR?"), "0,\"No error\"");
    }
    std::unique_ptr<Session> open() {
        SessionOptions o;
        o.boardName = "virtual";
        o.settingsPath = file("zvk40310.INI");
        std::ofstream(o.settingsPath) << "[CFG]\nSPISEL=1\n";
        o.clock = &clock;
        o.realtime = false;
        auto s = std::make_unique<Session>(o);
        s->startUp();
        return s;
    }
    InstrumentOptions options(bool lab) const {
        InstrumentOptions o;
        o.labMode = lab;
        o.filesDir = (dir / "files").string();
        return o;
    }
    std::string run(const std::string& line) { return instrument->execute(line); }
    // Every entry of the error queue, oldest first, emptying it.
    std::vector<int> errorCodes() {
        std::vector<int> codes;
        for (;;) {
            const std::string e = run("SYST:ERR?");
            const int code = std::stoi(e);
            if (code == 0) return codes;
            codes.push_back(code);
        }
    }
    Snapshot snapshot() const {
        Snapshot s;
        s.regs = session->regs();
        s.spi = session->spiMode();
        s.preset = session->presetIndex();
        s.fxtal = session->edits().fxtal;
        s.frf = session->edits().frf;
        s.rgIf1 = session->edits().rgIf1;
        s.fRF = session->frequencies().fRF;
        s.fXTAL = session->frequencies().fXTAL;
        s.injlo1 = session->frequencies().INJLO1;
        s.cycles = session->chip().writeCycles();
        s.frames = session->board().chip->frames().size();
        return s;
    }
    // A reply in Hz as the tuning info shows it in MHz.
    static std::string mhzText(const std::string& hz) {
        return formatFrequency(std::stod(hz) / 1e6);
    }

    SteppingClock clock;
    std::unique_ptr<Session> session;
    std::unique_ptr<Instrument> instrument;
};

TEST_F(ScpiInstrument, IdentifiesTheBoardInFourFields) {
    const std::string idn = run("*IDN?");
    std::vector<std::string> fields;
    std::stringstream ss(idn);
    for (std::string f; std::getline(ss, f, ',');) fields.push_back(f);
    ASSERT_EQ(fields.size(), 4u) << idn;
    EXPECT_EQ(fields[0], "zvk40310");
    EXPECT_EQ(fields[1], "ZVK40310");
    EXPECT_EQ(
        fields[2], "virtual-lpt 0x" + [&] {
            std::stringstream hex;
            hex << std::uppercase << std::hex << session->portBase();
            return hex.str();
        }());
    EXPECT_EQ(fields[3], kProgramVersion);
    EXPECT_EQ(instrument->identity(), idn);
    EXPECT_EQ(run("SYST:VERS?"), "1999.0");
}

// Long and short forms in any case, compound lines under the path rule, common commands
// that leave the path alone, and the answers of a line joined by ';'.
TEST_F(ScpiInstrument, AnswersQueriesInEveryFormAndOrder) {
    ASSERT_EQ(run("FREQ 433.92MHZ"), "");
    const std::string rf = run("FREQ?");
    const std::string lo1 = run("FREQ:LO1?");
    const std::string lo2 = run("FREQ:LO2?");
    ASSERT_EQ(mhzText(rf), "433.900");
    struct Case {
        const char* line;
        std::string reply;
    };
    const Case cases[] = {
        {"freq?", rf},
        {"FREQUENCY?", rf},
        {"Frequency:Lo1?", lo1},
        {":FREQ:LO1?;LO2?", lo1 + ";" + lo2},
        {"FREQ:LO1?;*OPC?;LO2?", lo1 + ";1;" + lo2},
        {"FREQ:LO1?;:FREQ?", lo1 + ";" + rf},
        {"SYST:VERS?;:SYSTEM:VERSION?", "1999.0;1999.0"},
        {"*OPC?;*OPC?", "1;1"},
        {"*WAI;FREQ?", rf},
        {"  FREQ?  ", rf},
        {"FREQ?;", rf},
        {"INJ:LO1?;LO2?", "HIGH;LOW"},
        {"INJECTION:LO1?", "HIGH"},
        {"ROSC:FREQ?", "10000000.000"},
        {"ROSCILLATOR:FREQUENCY?", "10000000.000"},
        {"IFF:RDIV?;PRES?;AUTO?;HALT?", "684;75;1;0"},
        {"REG0?;REG1?;REGISTER4?", "140;2292;75"},
        {"CHIP:FIELD? opmode;FIELD? MFO", "0;1"},
        {"CHIP:FIELD? \"SHOWLD\"", "1"},
        {"MODE?;ABC:PRES?", "SPI;0"},
        {"SYST:ERR:COUN?", "0"},
        {"SYST:ERR:NEXT?", "0,\"No error\""},
        {"*ESE 36;*ESE?", "36"},
        {"*SRE 32;*SRE?", "32"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.line), c.reply) << c.line;
        EXPECT_EQ(errorCodes(), std::vector<int>{}) << c.line;
    }
}

// Every error code the command set emits, with the command that stops a line at its
// error: what follows does not run, what came before answers.
TEST_F(ScpiInstrument, QueuesTheStandardErrorForEachFault) {
    struct Case {
        const char* line;
        int code;
        const char* reply;
    };
    const Case cases[] = {
        {"FOO?", -113, ""},
        {"FREQ:LO3?", -113, ""},
        {"FREQ:LO1", -113, ""},  // a query only
        {"*RST?", -113, ""},     // no query form
        {"CHIP:WRITE?", -113, ""},
        {"FREQ:LO1?;FREQ?", -113, "?"},  // the path makes it FREQ:FREQ?
        {"FREQU?", -113, ""},
        {"REG?", -114, ""},
        {"REG8 1", -114, ""},
        {"REG12345678?", -114, ""},
        {"FREQ", -109, ""},
        {"CHIP:FIELD OPMODE", -109, ""},
        {"FREQ 1,2", -108, ""},
        {"FREQ? 1", -108, ""},
        {"*IDN? X", -108, ""},
        {"REG0 \"12\"", -104, ""},
        {"MMEM:LOAD:STAT a", -104, ""},
        {"INJ:LO1 1", -104, ""},
        {"FREQ 1.2.3", -120, ""},
        {"REG0 #B2", -120, ""},
        {"FREQ 433 MV", -131, ""},
        {"FREQ 1e", -131, ""},
        {"REG0 5HZ", -131, ""},
        {"INJ:LO1 MIDDLE", -141, ""},
        {"CHIP:FIELD OPMODE,ON", -141, ""},
        {"MODE XYZ", -141, ""},
        {"FREQ MAX", -141, ""},
        {"FREQ \x01", -101, ""},
        {"\xff\xfe", -101, ""},
        {"FR;EQ;FREQ?", -113, ""},
        {"FREQ:?", -102, ""},
        {"MMEM:LOAD:STAT \"abc", -150, ""},
        {"REG0 4096", -222, ""},
        {"REG0 -1", -222, ""},
        {"REG0 1.5", -224, ""},
        {"CHIP:FIELD NOSUCH,1", -224, ""},
        {"CHIP:FIELD IFFVAL,1", -224, ""},
        {"CHIP:FIELD? NOSUCH", -224, ""},
        {"MMEM:LOAD:STAT \"none.cfg\"", -256, ""},
        {"MMEM:LOAD:STAT \"/etc/passwd\"", -257, ""},
        {"MODE SPI", -221, ""},
        {"ABC:PRES 3", -221, ""},
        {"*OPC?;FOO;*OPC?", -113, "1"},
    };
    for (const Case& c : cases) {
        const std::string reply = run(c.line);
        if (std::string_view(c.reply) != "?") {
            EXPECT_EQ(reply, c.reply) << c.line;
        }
        EXPECT_EQ(errorCodes(), std::vector<int>{c.code}) << c.line;
    }
}

// The refusals of the core's rules, the modes, lab mode and the change guard: each queues
// its error and leaves the image, the plan's inputs, the mode and the chip untouched.
TEST_F(ScpiInstrument, ARefusalChangesNothing) {
    // ABC mode for the cases that need it, from a lab-mode client on the same board.
    Instrument lab(*session, options(true));
    struct Case {
        const char* line;
        int code;
        bool abcMode = false;
        bool guarded = false;
    };
    const Case cases[] = {
        {"FREQ 1e12", -222},             // N beyond its 11 bits
        {"FREQ 1e50", -222},             // beyond the plan's single precision
        {"FREQ -10MHZ", -222},           // no LO1 above zero
        {"FREQ 433.92MHZ", -221, true},  // ABC mode: the wanted frequency is hidden
        {"ROSC:FREQ 0.5MHZ", -222},
        {"ROSC:FREQ 0.9999MHZ", -222},
        {"ROSC:FREQ 10MHZ", -221, true},
        {"INJ:LO1 LOW", -221, true},
        {"INJ:LO2 HIGH", -221, true},
        {"IFF:RDIV 3", -222},
        {"IFF:RDIV 2048", -222},
        {"IFF:PRES 256", -222},
        {"IFF:AUTO 2", -222},
        {"IFF:HALT ON", -221, true},
        {"REG0 4096", -222},
        {"REG3 #H100", -221, true},
        {"CHIP:FIELD A,32", -222},
        {"CHIP:FIELD R,2", -222},
        {"CHIP:FIELD OPMODE,4", -222},
        {"CHIP:FIELD MFO,7", -221},  // beyond the MFO restriction without lab mode
        {"CHIP:FIELD MFO,16", -222},
        {"CHIP:FIELD OPMODE,1", -221, true},
        {"MODE ABC", -221},  // lab mode only
        {"ABC:PRES 8", -222, true},
        {"ABC:PRES 2", -221},  // SPI mode has no presets
        {"*RST", -221, false, true},
        {"FREQ 433.92MHZ", -221, false, true},
        {"REG0 141", -221, false, true},
        {"CHIP:WRITE", -221, false, true},
        {"CHIP:FIELD OPMODE,1", -221, false, true},
        {"MMEM:STOR:STAT \"guarded\"", -221, false, true},
        {"MMEM:LOAD:STAT \"../x.cfg\"", -257},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(lab.execute(c.abcMode ? "MODE ABC" : "MODE SPI"), "");
        ASSERT_EQ(lab.execute("SYST:ERR?"), "0,\"No error\"");
        if (c.guarded)
            instrument->setChangeGuard(
                [] { return std::optional<std::string>("a dialog is open"); });
        const Snapshot before = snapshot();
        EXPECT_EQ(run(c.line), "") << c.line;
        EXPECT_EQ(errorCodes(), std::vector<int>{c.code}) << c.line;
        EXPECT_EQ(snapshot(), before) << c.line;
        instrument->setChangeGuard({});
    }
    EXPECT_FALSE(fs::exists(dir / "files" / "guarded.cfg"));
}

TEST_F(ScpiInstrument, TheChangeGuardLeavesQueriesAnswering) {
    instrument->setChangeGuard([] { return std::optional<std::string>("a dialog is open"); });
    EXPECT_EQ(run("FREQ 400MHZ;FREQ?"), "");
    EXPECT_EQ(run("SYST:ERR?"), "-221,\"Settings conflict;a dialog is open\"");
    EXPECT_EQ(mhzText(run("FREQ?")), "384.000");
    EXPECT_EQ(run("REG0?;*IDN?"), "140;" + instrument->identity());
    EXPECT_EQ(run("LOCK?"), "0");  // the chip is shut down (OPMODE 0): no lock
    EXPECT_EQ(errorCodes(), std::vector<int>{});
}

// FREQ plans as `zvk40310ctl plan` does for the same values, and the chip gets the plan in
// one write cycle.
TEST_F(ScpiInstrument, FrequencyPlansAsThePlanCommandAndWritesOnce) {
    for (const char* rf : {"433.92", "315", "369.5", "395.9", "299.9996"}) {
        SessionOptions o;
        o.boardName = "virtual";
        o.settingsPath = file("planning.INI");
        o.clock = &clock;
        o.realtime = false;
        // As the plan command makes its core.
        Session planning(o);
        planning.takeConfig(Config{});
        planning.planFrequencies(kDefaultImage, 10.0, std::stod(rf), 1);
        const TuningInfo t = ShowTuningInfo(planning.frequencies());

        ASSERT_EQ(run("*RST"), "");
        const uint64_t cycles = session->chip().writeCycles();
        const size_t frames = session->board().chip->frames().size();
        ASSERT_EQ(run(std::string("FREQ ") + rf + " MHz"), "") << rf;
        EXPECT_EQ(errorCodes(), std::vector<int>{}) << rf;
        EXPECT_EQ(mhzText(run("FREQ?")), t.fRF.text) << rf;
        EXPECT_EQ(mhzText(run("FREQ:LO1?")), t.fLO1.text) << rf;
        EXPECT_EQ(mhzText(run("FREQ:LO2?")), t.fLO2.text) << rf;
        EXPECT_EQ(mhzText(run("FREQ:IF1?")), t.fIF1.text) << rf;
        EXPECT_EQ(mhzText(run("FREQ:IF2?")), t.fIF2.text) << rf;
        EXPECT_EQ(mhzText(run("FREQ:PFD?")), t.fPFD.text) << rf;
        EXPECT_EQ(mhzText(run("FREQ:CHAN?")), t.fCH.text) << rf;
        EXPECT_EQ(session->regs(), planning.regs()) << rf;
        // The edit holds the number as the window would: three decimals.
        EXPECT_EQ(session->edits().frf, formatFrequency(std::stod(rf))) << rf;

        EXPECT_EQ(session->chip().writeCycles(), cycles + 1) << rf;
        const std::vector<uint16_t>& all = session->board().chip->frames();
        ASSERT_EQ(all.size(), frames + 7) << rf;  // R0..R6 over the parallel port
        const auto latched = session->board().chip->latched();
        for (int r = 0; r < 7; ++r) {
            EXPECT_EQ(latched[size_t(r)], session->regs()[size_t(r)]) << rf << " R" << r;
            EXPECT_EQ(all[frames + size_t(r)], uint16_t(session->regs()[size_t(r)] << 4 | r << 1))
                << rf << " R" << r;
        }
    }
}

// A number without a suffix is in Hz; every frequency unit scales to the same plan.
TEST_F(ScpiInstrument, FrequencyUnitsAllMeanTheSamePlan) {
    for (const char* value : {"433920000", "433920000HZ", "433920 kHz", "433.92MHZ", "0.43392 GHz",
                              "4.3392E8", "4.3392e+5 khz"}) {
        ASSERT_EQ(run("*RST"), "");
        ASSERT_EQ(run(std::string("FREQ ") + value), "") << value;
        EXPECT_EQ(errorCodes(), std::vector<int>{}) << value;
        EXPECT_EQ(session->edits().frf, "433.920") << value;
    }
    ASSERT_EQ(run("FREQ DEF"), "");
    EXPECT_EQ(session->edits().frf, "384.000");
}

TEST_F(ScpiInstrument, CrystalAndInjectionReplanAsTheirControlsDo) {
    ASSERT_EQ(run("FREQ 433.9MHZ;ROSC:FREQ 12MHZ"), "");
    EXPECT_EQ(session->edits().fxtal, "12.000");
    EXPECT_EQ(run("ROSC:FREQ?"), "12000000.000");
    // The crystal edit's change plans the stored wanted frequency again.
    EXPECT_EQ(mhzText(run("FREQ:PFD?")), formatFrequency(12.0 / 75));
    ASSERT_EQ(run("INJ:LO1 LOW;LO2 HIGH"), "");
    EXPECT_EQ(run("INJ:LO1?;LO2?"), "LOW;HIGH");
    EXPECT_EQ(session->frequencies().INJLO1, 0);
    EXPECT_EQ(fieldValue(session->regs(), field("SSBSEL")), 1u);
    ASSERT_EQ(run("ROSC:FREQ DEF"), "");
    EXPECT_EQ(session->edits().fxtal, "10.000");
    EXPECT_EQ(errorCodes(), std::vector<int>{});
}

TEST_F(ScpiInstrument, FilterCommandsSetTheirFields) {
    ASSERT_EQ(run("IFF:RDIV 700;PRES 133;AUTO OFF;HALT ON"), "");
    EXPECT_EQ(errorCodes(), std::vector<int>{});
    EXPECT_EQ(fieldValue(session->regs(), field("RIFF")), 700u);
    EXPECT_EQ(fieldValue(session->regs(), field("IFFPRES")), 133u);
    EXPECT_EQ(fieldValue(session->regs(), field("IFTUNE")), 0u);
    EXPECT_EQ(fieldValue(session->regs(), field("IFHLT")), 1u);
    // The filter centre follows RIFF: 10 MHz / 700 * 136.8.
    EXPECT_EQ(mhzText(run("IFF:FREQ?")), formatFrequency(ifFilterCentre(10.0, 700)));
    ASSERT_EQ(run("IFF:RDIV MIN;PRES MAX;AUTO 1;HALT 0"), "");
    EXPECT_EQ(run("IFF:RDIV?;PRES?;AUTO?;HALT?"), "4;255;1;0");
    ASSERT_EQ(run("IFF:RDIV DEF"), "");
    EXPECT_EQ(run("IFF:RDIV?"), std::to_string(kRiffEdit.fallback));
}

// REG<n> acts as the bit view: the bits change, the controls' handlers follow (a filter
// edit raises RIFF to its minimum), and the after-change routine runs at least once.
TEST_F(ScpiInstrument, RegistersActAsTheBitView) {
    session->setSendAlways(true);
    struct Case {
        const char* line;
        int reg;
        uint16_t value;
    };
    const Case cases[] = {
        {"REG0 #H08D", 0, 0x08D},  // OPMODE "Receive"
        {"REG0 141", 0, 141},      // the same value: no bit changes, the routine runs
        {"REG5 0", 5, 0x004},      // RIFF 0: the filter edit's handler makes it 4
        {"REG2 #B111100010100", 2, 0xF14},
        {"REG7 #H5A5", 7, 0x5A5},  // the status slot, as a click on its bits
        {"REG1 MAX", 1, 0xFFF},
    };
    for (const Case& c : cases) {
        const uint64_t cycles = session->chip().writeCycles();
        ASSERT_EQ(run(c.line), "") << c.line;
        EXPECT_EQ(errorCodes(), std::vector<int>{}) << c.line;
        EXPECT_EQ(session->regs()[size_t(c.reg)], c.value) << c.line;
        EXPECT_EQ(run("REG" + std::to_string(c.reg) + "?"), std::to_string(c.value)) << c.line;
        EXPECT_GE(session->chip().writeCycles(), cycles + 1) << c.line;
    }
    EXPECT_EQ(run("CHIP:FIELD? OPMODE;FIELD? IFFVAL"), "1;165");
}

TEST_F(ScpiInstrument, FieldsTakeTheirControlsStates) {
    ASSERT_EQ(run("CHIP:FIELD OPMODE,1;FIELD SSBSEL,0;FIELD N,200;FIELD MFO,8"), "");
    EXPECT_EQ(errorCodes(), std::vector<int>{});
    EXPECT_EQ(fieldValue(session->regs(), field("OPMODE")), 1u);
    EXPECT_EQ(fieldValue(session->regs(), field("SSBSEL")), 1u);  // item 0 "high"
    EXPECT_EQ(fieldValue(session->regs(), field("N")), 200u);
    EXPECT_EQ(fieldValue(session->regs(), field("MFO")), 8u);
    EXPECT_EQ(run("CHIP:FIELD? SSBSEL;FIELD? N;FIELD? MFO"), "0;200;8");
    // A lab-mode client passes the restriction.
    Instrument lab(*session, options(true));
    EXPECT_EQ(lab.execute("CHIP:FIELD MFO,7;FIELD? MFO"), "7");
}

// LOCK? and CHIP:STAT? read the status without side effects: R7 of the image stays, and
// nothing is written, also with "Send always".
TEST_F(ScpiInstrument, StatusQueriesReadWithoutSideEffects) {
    session->setSendAlways(true);
    ASSERT_EQ(run("FREQ 433.92MHZ;CHIP:FIELD OPMODE,1"), "");
    session->wait(20);  // the synthesizer settles
    const Snapshot before = snapshot();
    const std::string lock = run("LOCK?");
    const std::string status = run("CHIP:STAT?");
    EXPECT_EQ(errorCodes(), std::vector<int>{});
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(lock, "1");
    const uint16_t word = session->board().chip->latched()[7];
    const StatusDecoding d = decodeStatus(word, true);
    char hex[8];
    std::snprintf(hex, sizeof hex, "#H%03X", unsigned(word));
    EXPECT_EQ(status, std::string(hex) + "," + std::to_string(word & 0xFF) + "," +
                          std::to_string((word >> 8) & 3) + "," + std::to_string((word >> 10) & 1) +
                          "," + std::to_string(word >> 11) + ",\"" + d.IFFSTATE + "\",\"" + d.LD +
                          "\",\"" + d.RSSI + "\"");
    // As "Refresh" refuses: MFO not SPI out; and lock needs SHOWLD 1.
    ASSERT_EQ(run("CHIP:FIELD MFO,8"), "");
    EXPECT_EQ(run("LOCK?;CHIP:STAT?"), "");
    EXPECT_EQ(run("CHIP:STAT?"), "");
    EXPECT_EQ(errorCodes(), (std::vector<int>{-221, -221}));
    ASSERT_EQ(run("CHIP:FIELD MFO,1;FIELD SHOWLD,0"), "");
    EXPECT_EQ(run("LOCK?"), "");
    EXPECT_EQ(errorCodes(), std::vector<int>{-221});
}

TEST_F(ScpiInstrument, ResetWritesTheDefaultImageOnce) {
    ASSERT_EQ(run("FREQ 868.3MHZ;CHIP:FIELD OPMODE,1"), "");
    const uint64_t cycles = session->chip().writeCycles();
    ASSERT_EQ(run("*RST"), "");
    EXPECT_EQ(session->regs(), kDefaultImage);
    EXPECT_EQ(session->chip().writeCycles(), cycles + 1);
    const auto latched = session->board().chip->latched();
    for (int r = 0; r < 7; ++r) EXPECT_EQ(latched[size_t(r)], kDefaultImage[size_t(r)]) << r;
    EXPECT_EQ(session->edits().frf, "384.000");
}

TEST_F(ScpiInstrument, ModeAndPresetsInLabMode) {
    Instrument lab(*session, options(true));
    // After ABC:PRES the path is ABC: MODE is found again from the root.
    ASSERT_EQ(lab.execute("MODE ABC;ABC:PRES 3;:MODE?;:ABC:PRES?"), "ABC;3");
    EXPECT_EQ(lab.execute("SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(session->edits().frf, "376.900");
    EXPECT_EQ(lab.execute("CHIP:WRITE;:MODE SPI;MODE?"), "SPI");
    EXPECT_EQ(lab.execute("SYST:ERR?"), "0,\"No error\"");
}

TEST_F(ScpiInstrument, ConfigurationFilesRoundTripInsideTheFolder) {
    // Planned for the sides it holds, so that the load's plan gives the same dividers.
    ASSERT_EQ(run("INJ:LO2 HIGH;:FREQ 433.92MHZ;CHIP:FIELD OPMODE,1"), "");
    const Snapshot saved = snapshot();
    ASSERT_EQ(run("MMEM:STOR:STAT \"run1\""), "");  // saved as run1.cfg
    EXPECT_EQ(errorCodes(), std::vector<int>{});
    ASSERT_TRUE(fs::exists(dir / "files" / "run1.cfg"));
    ASSERT_EQ(run("*RST"), "");
    ASSERT_EQ(run("MMEM:LOAD:STAT 'run1.cfg'"), "");
    EXPECT_EQ(errorCodes(), std::vector<int>{});
    EXPECT_EQ(session->regs(), saved.regs);
    EXPECT_EQ(session->edits().frf, saved.frf);
    EXPECT_EQ(session->frequencies().fRF, saved.fRF);

    // Outside the folder, by name or by link; a file that is not there; a broken file.
    std::ofstream(dir / "outside.cfg") << "x";
    fs::create_symlink(dir / "outside.cfg", dir / "files" / "link.cfg");
    std::ofstream(dir / "files" / "broken.cfg")
        << "ZVK40310 Evaluation Program v3.3\r\nfRF=abc\r\n";
    struct Case {
        const char* line;
        int code;
    };
    const Case cases[] = {
        {"MMEM:LOAD:STAT \"/etc/passwd\"", -257},    {"MMEM:STOR:STAT \"/tmp/x.cfg\"", -257},
        {"MMEM:LOAD:STAT \"../outside.cfg\"", -257}, {"MMEM:STOR:STAT \"../outside\"", -257},
        {"MMEM:LOAD:STAT \"link.cfg\"", -257},       {"MMEM:STOR:STAT \"link\"", -257},
        {"MMEM:LOAD:STAT \"none.cfg\"", -256},       {"MMEM:STOR:STAT \"nofolder/x\"", -256},
        {"MMEM:LOAD:STAT \"broken.cfg\"", -200},     {"MMEM:LOAD:STAT \"\"", -257},
    };
    for (const Case& c : cases) {
        const Snapshot before = snapshot();
        EXPECT_EQ(run(c.line), "") << c.line;
        EXPECT_EQ(errorCodes(), std::vector<int>{c.code}) << c.line;
        EXPECT_EQ(snapshot(), before) << c.line;
    }
    std::ifstream outside(dir / "outside.cfg");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(outside), {}), "x");
}

TEST_F(ScpiInstrument, EventStatusFollowsTheErrors) {
    EXPECT_EQ(run("*ESR?"), "0");
    run("FOO");
    run("REG0 9999");
    EXPECT_EQ(run("*STB?"), "4");  // the queue holds entries
    EXPECT_EQ(run("*ESE 48;*STB?"), "36");
    EXPECT_EQ(run("*ESR?"), std::to_string(kCommandErrorBit | kExecutionErrorBit));
    EXPECT_EQ(run("*ESR?"), "0");
    run("*OPC");
    EXPECT_EQ(run("*ESR?"), std::to_string(kOperationComplete));
    run("*CLS");
    EXPECT_EQ(run("SYST:ERR:COUN?;*STB?"), "0;0");
}

TEST_F(ScpiInstrument, ANewClientStartsWithAnEmptyQueue) {
    run("FOO;*ESE 255");
    run("*ESE 255");
    instrument->clientChanged();
    EXPECT_EQ(run("SYST:ERR:COUN?;*ESE?;*ESR?"), "0;0;0");
    instrument->refuseOverlongLine();
    EXPECT_EQ(run("SYST:ERR?"),
              "-223,\"Too much data;the line is longer than the server takes; "
              "nothing of it ran\"");
}

TEST_F(ScpiInstrument, AFullQueueSaysItOverflowed) {
    for (size_t i = 0; i < ErrorQueue::kCapacity + 10; ++i) run("FOO" + std::to_string(i));
    EXPECT_EQ(run("SYST:ERR:COUN?"), std::to_string(ErrorQueue::kCapacity));
    std::vector<int> codes = errorCodes();
    ASSERT_EQ(codes.size(), ErrorQueue::kCapacity);
    EXPECT_EQ(codes.back(), -350);
    codes.pop_back();
    EXPECT_EQ(codes, std::vector<int>(ErrorQueue::kCapacity - 1, -113));
}

// Junk, a flood of queries and a very long parameter end in errors and answers, never in
// a crash or a changed image (the sanitized build runs this).
TEST_F(ScpiInstrument, JunkNeverChangesTheImage) {
    const Snapshot before = snapshot();
    uint32_t x = 7;
    for (int line = 0; line < 300; ++line) {
        std::string junk;
        for (int i = 0; i < 64; ++i) {
            x = x * 1103515245u + 12345u;
            junk += char(x >> 16);
        }
        run(junk);
    }
    run("FREQ " + std::string(1 << 20, '9'));
    run("MMEM:LOAD:STAT \"" + std::string(1 << 20, 'a') + "\"");
    run("CHIP:FIELD " + std::string(1 << 20, 'A') + ",1");
    std::string flood;
    for (int i = 0; i < 2000; ++i) flood += "REG0?;";
    const std::string answers = run(flood);
    EXPECT_EQ(std::count(answers.begin(), answers.end(), ';'), 1999);
    EXPECT_EQ(snapshot(), before);
    EXPECT_GT(std::stoi(run("SYST:ERR:COUN?")), 0);
}

// The manual's command table names every command with each form it has.
TEST(ScpiManual, ListsEveryCommandAndItsForms) {
    std::ifstream in(std::string(ZVK_SOURCE_DIR) + "/docs/man/zvk40310ctl.1");
    const std::string page((std::istreambuf_iterator<char>(in)), {});
    const size_t begin = page.find("\n.SH REMOTE CONTROL COMMANDS\n");
    const size_t end = page.find("\n.SH ", begin + 1);
    ASSERT_NE(begin, std::string::npos);
    const std::string section = page.substr(begin, end - begin);
    for (const Instrument::CommandInfo& c : Instrument::commands()) {
        std::string header = c.header;
        if (header.back() == '#') header.replace(header.size() - 1, 1, "\\fIn\\fP");
        bool setForm = false;
        for (size_t at = section.find(header); at != std::string::npos;
             at = section.find(header, at + 1)) {
            const char next =
                at + header.size() < section.size() ? section[at + header.size()] : '\n';
            if (next == ' ' || next == '\n' || next == '"') setForm = true;
        }
        EXPECT_EQ(setForm, c.set) << header;
        EXPECT_EQ(section.find(header + "?") != std::string::npos, c.query) << header;
    }
}

}  // namespace
}  // namespace zvk::remote
