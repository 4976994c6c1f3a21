// SPDX-License-Identifier: MIT
// The register routines through the whole parallel-port stack: ChipController, the line
// layer, the virtual port and the chip model, which decodes the pins on its own.
#include <gtest/gtest.h>
#include <sched.h>

#include <vector>

#include "base/Numbers.h"
#include "board/ChipModel.h"
#include "board/VirtualPort.h"
#include "chip/ChipController.h"
#include "chip/TraceText.h"

namespace zvk {
namespace {

struct Recorder : ChipObserver {
    struct LockTime {
        std::string text;
        bool red;
    };
    void redraw(const RegisterImage&) override { ++redraws; }
    void showLockTimeRow(bool visible) override { rows.push_back(visible); }
    void showLockTime(const std::string& text, bool red) override {
        lockTimes.push_back({text, red});
    }
    void showLockFlag(const std::string& text) override { flags.push_back(text); }

    int redraws = 0;
    std::vector<bool> rows;
    std::vector<LockTime> lockTimes;
    std::vector<std::string> flags;
};

// The program on a virtual board at 0x378, started as the window starts it.
struct Wiring {
    Wiring() {
        lpt.setBase(0x378);
        lpt.startUp(true);
        cc.setSpiMode(true);
        cc.setRealtime(false);
        cc.setObserver(&obs);
        resetTrace();
    }
    void resetTrace() {
        chip.clearTrace();
        vport.resetCounts();
    }

    SteppingClock clock{1};
    ChipModel chip{clock};
    VirtualPort vport{chip};
    Lpt lpt{vport, clock};
    LptLink link{lpt};
    ChipController cc{link};
    Recorder obs;
};

TEST(WriteCycle, AbcModeSendsNoWordAndShowsThePreset) {
    struct Case {
        int preset;
        uint8_t lines;
    };
    for (const Case& c : {Case{5, 0x06}, Case{2, 0x01}, Case{0, 0x00}, Case{7, 0x07}}) {
        Wiring b;
        b.cc.setSpiMode(false);
        b.cc.setPresetIndex(c.preset);
        b.cc.writeCycle();
        EXPECT_TRUE(b.chip.frames().empty());
        EXPECT_EQ(b.chip.lines(), c.lines);
        EXPECT_EQ(b.chip.abcPreset(), c.preset);
        EXPECT_TRUE(b.chip.selectHistory().empty()) << "SPISEL never rises in ABC mode";
        EXPECT_EQ(b.vport.accesses(), 2u);
    }
}

TEST(AfterChange, LeavesModselFromR5AndSpiselOnlyDuringTheCycle) {
    struct Case {
        const char* what;
        bool sendAlways;
        uint16_t r5;
        size_t frames;
        std::vector<uint8_t> selects;  // SPISEL/MODSEL levels as they changed
        uint8_t lines;
    };
    const Case cases[] = {
        {"send always, MODSEL ASK", true, 0xAAC, 7, {0x08, 0x10}, 0x10},
        {"send always, MODSEL FSK", true, 0x2AC, 7, {0x08, 0x00}, 0x00},
        {"no sending, MODSEL ASK", false, 0xAAC, 0, {0x10}, 0x10},
        {"no sending, MODSEL FSK", false, 0x2AC, 0, {}, 0x00},
    };
    for (const Case& c : cases) {
        Wiring b;
        b.cc.setRegs(kDefaultImage);
        b.cc.setRegister(5, c.r5);
        b.cc.setSendAlways(c.sendAlways);
        b.cc.afterChange();
        EXPECT_EQ(b.obs.redraws, 1) << c.what;
        EXPECT_EQ(b.chip.frames().size(), c.frames) << c.what;
        EXPECT_EQ(b.chip.selectHistory(), c.selects) << c.what;
        EXPECT_EQ(b.chip.lines(), c.lines) << c.what;
    }
}

TEST(RegisterRead, TakesEightyEightAccessesAndReturnsWhatTheChipHolds) {
    Wiring b;
    b.cc.setRegs({0x08D, 0x8F4, 0xF14, 0x100, 0x04B, 0xAAC, 0xE4B, 0x000});
    b.cc.writeCycle();
    b.chip.setTestSignal(-20);  // receiving, locked, RSSI high: a status word of 0xC4B
    for (int a = 0; a < 8; ++a) {
        b.resetTrace();
        const std::optional<uint16_t> v = b.cc.registerRead(a);
        ASSERT_TRUE(v.has_value());
        EXPECT_EQ(*v, b.chip.latched()[size_t(a)]) << "R" << a;
        EXPECT_EQ(b.vport.accesses(), 88u) << "R" << a;
        EXPECT_EQ(b.chip.readRequests(), std::vector<uint8_t>{uint8_t(a * 2 + 1)});
    }
    EXPECT_EQ(b.cc.registerRead(7), 0xC4B);
    EXPECT_EQ(b.cc.registerRead(13), 0xAAC) << "only the low three address bits count";
    EXPECT_EQ(b.cc.readBack(), RegisterImage{}) << "the port read leaves the read-back image";
}

TEST(RegisterRead, GivesWhatThePinShowsWhenMfoIsNoSerialOutput) {
    struct Case {
        const char* what;
        uint16_t r3;
        uint16_t value;
    };
    const Case cases[] = {
        {"logic 1: high for every sample", 0x300, 0xFFF},
        {"0000: low for every sample", 0x000, 0x000},
        {"0010: low", 0x200, 0x000},
    };
    for (const Case& c : cases) {
        Wiring b;
        b.cc.setRegs(kDefaultImage);
        b.cc.setRegister(3, c.r3);
        b.cc.writeCycle();
        EXPECT_EQ(b.cc.registerRead(7), c.value) << c.what;
    }
    // No driver: the status register reads 0xFF, BUSY set, so the pin reads low.
    ClosedPortIo closed;
    SteppingClock clock;
    Lpt lpt(closed, clock);
    LptLink link(lpt);
    ChipController cc(link);
    EXPECT_EQ(cc.registerRead(7), 0x000);
}

// MFO at "1000 - LD out", Receive: the write cycle measures how long the chip's LD pin
// stays high. The chip model settles 1 ms + 20 us per MHz of LO1 step (15 ms at most),
// latching R2, R3 and R4 in that order, each step from the LO1 before it; the counter
// moves one count per read, so the measurement ends a few counts short of that.
TEST(LockTime, MeasuresTheChipsSettling) {
    struct Case {
        const char* what;
        uint16_t r0, r2, r3, r4;
        const char* text;
        bool red;
        const char* flag;
    };
    const Case cases[] = {
        // R2: N 121 from 514.667 to 518.933 MHz: 1.085 ms.
        {"small step", 0x08D, 0xF34, 0x800, 0x04B, "1.08", false, "locked"},
        // R4: R 41, 514.667 to 941.463 MHz: 9.536 ms.
        {"large step", 0x08D, 0xF14, 0x800, 0x029, "9.53", false, "locked"},
        // N 200 arrives in two parts: R2 alone makes N 72 (307.2 MHz, 5.2 ms), then R3
        // adds 128 (853.333 MHz): a step of 546 MHz, 11.923 ms.
        {"above 10 ms shows red", 0x08D, 0x900, 0x801, 0x04B, "11.92", true, "locked"},
        {"LO1 above the VCO range", 0x08D, 0xF14, 0x800, 0x01E, "19.99", true, "no lock"},
        {"LO1 below the VCO range", 0x08D, 0xF14, 0x800, 0x0C8, "19.99", true, "no lock"},
        {"synthesizer shut down", 0x08C, 0xF34, 0x800, 0x04B, "19.99", true, "no lock"},
    };
    for (const Case& c : cases) {
        Wiring b;
        b.cc.setRegs(kDefaultImage);
        b.cc.setRegister(0, c.r0);
        b.cc.setRegister(2, c.r2);
        b.cc.setRegister(3, c.r3);
        b.cc.setRegister(4, c.r4);
        b.cc.writeCycle();
        EXPECT_EQ(b.obs.rows, std::vector<bool>{true}) << c.what;
        ASSERT_EQ(b.obs.lockTimes.size(), 1u) << c.what;
        EXPECT_EQ(b.obs.lockTimes[0].text, c.text) << c.what;
        EXPECT_EQ(b.obs.lockTimes[0].red, c.red) << c.what;
        EXPECT_EQ(b.obs.flags, std::vector<std::string>{c.flag}) << c.what;
        // The lock flag came from a status read after the measurement.
        EXPECT_EQ(b.chip.readRequests(), std::vector<uint8_t>{0xF}) << c.what;
        ASSERT_TRUE(b.cc.lastLockTime().has_value());
        EXPECT_EQ(fixedText(b.cc.lastLockTime()->ms, 2), c.text) << c.what;
    }
}

// The read after the measurement takes the lock-detect pin, not a status word: the trace
// names it so and reads the pin as the window does. (Recording reads the stepping clock,
// so these runs measure other times.)
TEST(LockTime, TheTraceNamesTheReadALockDetectSample) {
    for (const auto& [r4, flag] : {std::pair{0x04B, "locked"}, std::pair{0x01E, "no lock"}}) {
        Wiring b;
        Trace trace(b.clock);
        b.lpt.setTrace(&trace);
        b.cc.setRegs(kDefaultImage);
        b.cc.setRegister(0, 0x08D);
        b.cc.setRegister(3, 0x800);
        b.cc.setRegister(4, uint16_t(r4));
        b.cc.writeCycle();
        b.lpt.setTrace(nullptr);
        ASSERT_EQ(b.obs.flags, std::vector<std::string>{flag});
        TraceText text(trace, kDefaultImage, 0);
        int reads = 0;
        for (const TraceEvent& e : trace.events()) {
            if (e.kind != TraceEvent::Kind::ReadWord) continue;
            ++reads;
            const std::string line = text.text(e);
            EXPECT_EQ(line.rfind("lock-detect sample", 0), 0u) << line;
            EXPECT_NE(line.find(std::string("  LD ") + flag), std::string::npos) << line;
            EXPECT_EQ(line.find("IFFVAL"), std::string::npos) << "no status word: " << line;
        }
        EXPECT_EQ(reads, 1) << flag;
    }
}

TEST(LockTime, NothingIsMeasuredWhenThePinIsAlreadyLow) {
    Wiring b;
    b.cc.setRegs(kDefaultImage);
    b.cc.setRegister(0, 0x08D);
    b.cc.setRegister(3, 0x800);
    b.cc.writeCycle();  // the MFO change itself settles for 1 ms
    ASSERT_EQ(b.obs.lockTimes.size(), 1u);
    b.clock.advance(20000);
    b.resetTrace();
    b.cc.writeCycle();  // nothing changed: locked all along
    EXPECT_EQ(b.obs.lockTimes.size(), 1u);
    EXPECT_TRUE(b.chip.readRequests().empty());
    EXPECT_EQ(b.vport.accesses(), 702u) << "the cycle and one look at the pin";
}

TEST(LockTime, FlagOnlyWithShowLdAndRowOnlyForLdOut) {
    Wiring b;
    b.cc.setRegs(kDefaultImage);
    b.cc.setRegister(0, 0x08D);
    b.cc.setRegister(1, 0x0F4);  // SHOWLD 0
    b.cc.setRegister(3, 0x800);
    b.cc.writeCycle();
    EXPECT_EQ(b.obs.lockTimes.size(), 1u);
    EXPECT_TRUE(b.obs.flags.empty());
    b.cc.setRegister(3, 0x100);
    b.cc.writeCycle();
    EXPECT_EQ(b.obs.rows, (std::vector<bool>{true, false}));
    EXPECT_EQ(b.obs.lockTimes.size(), 1u);
}

// Transfers asked for while one waits in the message loop.
TEST(Reentry, AWriteCycleAskedForInsideAWaitRunsOnceAfterwards) {
    Wiring b;
    b.cc.setRegs(kDefaultImage);
    const RegisterImage later[3] = {
        {0x08D, 0x8F4, 0xF14, 0x100, 0x04B, 0x2AC, 0xE4B, 0},
        {0x08E, 0x8F4, 0xF14, 0x100, 0x04B, 0x2AC, 0xE4B, 0},
        {0x08F, 0x8F4, 0xF14, 0x100, 0x04B, 0xAAC, 0xE4B, 0},
    };
    int pumps = 0;
    std::vector<size_t> framesWhenAsked;
    b.lpt.setMessagePump([&] {
        if (pumps++ != 0) return;
        // Three clicks while the first cycle waits: none starts now.
        for (const RegisterImage& img : later) {
            b.cc.setRegs(img);
            b.cc.writeCycle();
            framesWhenAsked.push_back(b.chip.frames().size());
        }
    });
    b.cc.writeCycle();
    EXPECT_EQ(framesWhenAsked, (std::vector<size_t>{0, 0, 0}));
    EXPECT_EQ(b.cc.writeCycles(), 2u) << "the three requests merged into one";
    EXPECT_EQ(b.chip.frames().size(), 14u);
    EXPECT_EQ(b.chip.ignoredEdges(), 0u);
    const auto latched = b.chip.latched();
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(latched[i], later[2][i]) << i;
}

TEST(Reentry, ARegisterReadInsideAWaitIsRefused) {
    Wiring b;
    b.cc.setRegs(kDefaultImage);
    std::vector<std::optional<uint16_t>> reads;
    b.lpt.setMessagePump([&] {
        if (reads.empty()) reads.push_back(b.cc.registerRead(7));
    });
    b.cc.writeCycle();
    EXPECT_EQ(reads, std::vector<std::optional<uint16_t>>{std::nullopt});
    EXPECT_TRUE(b.chip.readRequests().empty());
    EXPECT_EQ(b.chip.frames().size(), 7u);
    b.lpt.setMessagePump(nullptr);
    EXPECT_TRUE(b.cc.registerRead(7).has_value()) << "refused only while busy";
}

// A read that can wait (the status monitor's) is answered after the transfer it fell into,
// in the order asked, after the write cycle asked for with it, with what the chip holds.
TEST(Reentry, QueuedReadsInsideAWaitAreAnsweredWhenTheTransferEnds) {
    Wiring b;
    b.cc.setRegs(kDefaultImage);
    std::vector<std::pair<int, uint16_t>> answers;
    size_t framesAtFirstAnswer = 0;
    int pumps = 0;
    b.lpt.setMessagePump([&] {
        if (pumps++ != 0) return;
        for (int reg : {5, 4}) {
            b.cc.requestRead(reg, [&, reg](std::optional<uint16_t> word) {
                if (answers.empty()) framesAtFirstAnswer = b.chip.frames().size();
                answers.emplace_back(reg, word.value_or(0xFFFF));
            });
        }
        b.cc.setRegister(5, 0xAAC);
        b.cc.writeCycle();
        EXPECT_TRUE(answers.empty()) << "nothing runs inside the running transfer";
    });
    b.cc.writeCycle();
    const std::vector<std::pair<int, uint16_t>> expected = {{5, 0xAAC}, {4, 0x04B}};
    EXPECT_EQ(answers, expected);
    EXPECT_EQ(framesAtFirstAnswer, 14u) << "the merged write went out first";
    EXPECT_EQ(b.chip.readRequests().size(), 2u);
    // Outside any transfer the answer comes at once.
    b.lpt.setMessagePump(nullptr);
    std::optional<uint16_t> now;
    b.cc.requestRead(0, [&](std::optional<uint16_t> word) { now = word; });
    EXPECT_EQ(now, std::optional<uint16_t>(kDefaultImage[0]));
}

TEST(Reentry, AChangeDuringARegisterReadIsSentWhenTheReadEnds) {
    Wiring b;
    b.cc.setRegs(kDefaultImage);
    b.cc.setSendAlways(true);
    int pumps = 0;
    std::optional<uint16_t> value;
    b.lpt.setMessagePump([&] {
        if (pumps++ != 3) return;  // in the middle of the read's twelve samples
        b.cc.setRegister(5, 0xAAC);
        b.cc.afterChange();
        EXPECT_TRUE(b.chip.frames().empty());
    });
    value = b.cc.registerRead(5);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, 0x2AC) << "the read was not disturbed";
    EXPECT_EQ(b.chip.frames().size(), 7u);
    EXPECT_EQ(b.chip.latched()[5], 0xAAC);
    EXPECT_EQ(b.chip.lines(), 0x10) << "and the MODSEL line followed";
}

TEST(Priority, RealTimeDuringTheCycleAndThePreviousPolicyAfter) {
    sched_param fifo{};
    fifo.sched_priority = sched_get_priority_min(SCHED_FIFO);
    if (sched_setscheduler(0, SCHED_FIFO, &fifo) != 0)
        GTEST_SKIP() << "real-time scheduling is not permitted here";
    // Already raised by something else before the cycle.
    Wiring b;
    b.cc.setRealtime(true);
    b.cc.setRegs(kDefaultImage);
    int during = -1;
    b.lpt.setMessagePump([&] { during = sched_getscheduler(0); });
    b.cc.writeCycle();
    const int after = sched_getscheduler(0);
    sched_param normal{};
    sched_setscheduler(0, SCHED_OTHER, &normal);
    // Threads started during the cycle do not inherit real-time priority.
    EXPECT_EQ(during, SCHED_FIFO | SCHED_RESET_ON_FORK);
    EXPECT_EQ(after, SCHED_FIFO) << "the policy it had before the cycle";
}

TEST(DecodeStatus, ShowsTheFieldsAsThePanelDoes) {
    struct Case {
        uint16_t word;
        bool showLd;
        const char *iffval, *iffstate, *ld, *rssi;
    };
    const Case cases[] = {
        {0x000, true, "0", "tuned", "no lock", "in range"},
        {0x400, true, "0", "tuned", "locked", "in range"},
        {0x800, true, "0", "tuned", "no lock", "high"},
        {0xC00, true, "0", "tuned", "locked", "high"},
        {0x000, false, "0", "tuned", "", "low"},
        {0x400, false, "0", "tuned", "", "in range"},
        {0x800, false, "0", "tuned", "", "not allowed"},
        {0xC00, false, "0", "tuned", "", "high"},
        {0xFFF, true, "255", "CCO fail", "locked", "high"},
        {0x5A5, false, "165", "tune up", "", "in range"},
        {0x2FF, false, "255", "tune dn", "", "low"},
        {0x00A, true, "10", "tuned", "no lock", "in range"},
    };
    for (const Case& c : cases) {
        const StatusDecoding d = decodeStatus(c.word, c.showLd);
        EXPECT_EQ(d.IFFVAL, c.iffval) << std::hex << c.word;
        EXPECT_EQ(d.IFFSTATE, c.iffstate) << std::hex << c.word;
        EXPECT_EQ(d.LD, c.ld) << std::hex << c.word << " " << c.showLd;
        EXPECT_EQ(d.RSSI, c.rssi) << std::hex << c.word << " " << c.showLd;
    }
}

}  // namespace
}  // namespace zvk
