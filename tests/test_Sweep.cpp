// SPDX-License-Identifier: MIT
// The sweep and the status reads of the bench tools, on the virtual board.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "TempDir.h"
#include "board/ChipModel.h"
#include "chip/FieldMap.h"
#include "session/Session.h"
#include "session/Sweep.h"

namespace zvk {
namespace {

class SweepTest : public test::TempDir {
  protected:
    SweepTest() : TempDir("zvk-sweep") {
        SessionOptions o;
        o.boardName = "virtual";
        o.settingsPath = file("zvk40310.INI");
        o.clock = &clock;
        o.realtime = false;
        s = std::make_unique<Session>(o);
        s->startUp();
        Config c;
        c.regs = kDefaultImage;
        s->takeConfig(c);
        s->chip().setField(field("OPMODE"), 1);  // Receive: the synthesizer runs
    }
    SteppingClock clock{5};
    std::unique_ptr<Session> s;
};

TEST_F(SweepTest, LocksBelowTheVcoLimitAndNotAboveIt) {
    std::vector<double> f;
    ASSERT_FALSE(sweepFrequencies(700, 800, 10, f));
    int locked = 0, unlocked = 0;
    for (double mhz : f) {
        const SweepPoint p = sweepPoint(*s, mhz, 20);
        ASSERT_FALSE(p.refusal) << *p.refusal;
        ASSERT_TRUE(p.status);
        EXPECT_FALSE(p.status->suspect) << mhz;
        const double lo1 = s->frequencies().fLO1;
        const bool inRange = lo1 >= ChipModel::kVcoMinMhz && lo1 <= ChipModel::kVcoMaxMhz;
        EXPECT_EQ(p.locked(), inRange) << mhz << " MHz, LO1 " << lo1 << " MHz";
        (p.locked() ? locked : unlocked)++;
        // The chip holds what the point planned.
        EXPECT_EQ(s->board().chip->latched()[2], s->chip().regs()[2]) << mhz;
    }
    EXPECT_GT(locked, 0);
    EXPECT_GT(unlocked, 0);
}

TEST_F(SweepTest, TooShortADwellReadsTheSynthesizerStillSettling) {
    // A big LO1 step settles for several milliseconds: read at once it is not locked yet.
    ASSERT_TRUE(sweepPoint(*s, 400, 20).locked());
    EXPECT_FALSE(sweepPoint(*s, 700, 0).locked());
    EXPECT_TRUE(sweepPoint(*s, 700, 20).locked());
}

TEST_F(SweepTest, ARefusedPlanIsReportedAndNothingIsWritten) {
    const uint64_t cycles = s->chip().writeCycles();
    const SweepPoint p = sweepPoint(*s, -50, 20);
    ASSERT_TRUE(p.refusal);
    EXPECT_NE(p.refusal->find("cannot be planned"), std::string::npos) << *p.refusal;
    EXPECT_FALSE(p.status);
    EXPECT_EQ(s->chip().writeCycles(), cycles);
    const std::string line = sweepCsvLine(p);
    EXPECT_NE(line.find(csvField(*p.refusal)), std::string::npos) << line;
    // The refused point leaves the next one as it would have been.
    EXPECT_TRUE(sweepPoint(*s, 400, 20).locked());
}

TEST_F(SweepTest, ReadingTheStatusLeavesTheImageAlone) {
    sweepPoint(*s, 400, 20);
    const RegisterImage before = s->chip().regs();
    const uint64_t cycles = s->chip().writeCycles();
    const auto r = readStatus(s->chip());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->word, s->board().chip->statusWord());
    EXPECT_EQ(s->chip().regs(), before);
    EXPECT_EQ(s->chip().writeCycles(), cycles);
}

TEST_F(SweepTest, TheStatusIsNotReadWhereTheChipCannotShiftItOut) {
    EXPECT_FALSE(statusReadBlocked(s->chip()));
    s->chip().setField(field("MFO"), 8);  // LD out
    ASSERT_TRUE(statusReadBlocked(s->chip()));
    EXPECT_NE(statusReadBlocked(s->chip())->find("MFO"), std::string::npos);
    s->chip().setField(field("MFO"), kMfoSpiOut);
    s->chip().setSpiMode(false);
    ASSERT_TRUE(statusReadBlocked(s->chip()));
    EXPECT_NE(statusReadBlocked(s->chip())->find("ABC"), std::string::npos);
}

// The real clock, counting how often it is read.
struct CountingClock : SteadyClock {
    uint64_t reads = 0;
    uint64_t now() override {
        ++reads;
        return SteadyClock::now();
    }
};

// A settle or dwell time sleeps: the clock is read a few times, not in a loop, the front
// end's message loop runs once for the whole wait, and the wait still lasts its time.
TEST(LongWaits, SleepInsteadOfSpinning) {
    for (const bool withFrontEnd : {false, true}) {
        SCOPED_TRACE(withFrontEnd ? "window" : "command line");
        CountingClock clock;
        SessionOptions o;
        o.boardName = "virtual";
        o.clock = &clock;
        o.realtime = false;
        int idleWaits = 0;
        if (withFrontEnd) o.idleWait = [&](uint32_t) { ++idleWaits; };
        Session s(o);
        const uint64_t before = clock.reads;
        const auto start = std::chrono::steady_clock::now();
        s.wait(60);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(clock.reads - before, 10u);
        EXPECT_GE(took, std::chrono::milliseconds(60));
        EXPECT_EQ(idleWaits, withFrontEnd ? 1 : 0);
    }
}

TEST(SweepFrequencies, RangesAndTheirRefusals) {
    struct Case {
        double from, to, step;
        std::vector<double> want;  // empty: refused
    };
    const Case cases[] = {
        {800, 810, 5, {800, 805, 810}},
        {810, 800, 5, {810, 805, 800}},
        {1.0, 1.3, 0.1, {1.0, 1.1, 1.2, 1.3}},  // the sum of tenths falls short of 1.3
        {800, 809, 5, {800, 805}},
        {433.92, 433.92, 1, {433.92}},
        {800, 810, 0, {}},
        {800, 810, -5, {}},
        {0, 1e9, 1, {}},
    };
    for (const Case& c : cases) {
        std::vector<double> f;
        const auto error = sweepFrequencies(c.from, c.to, c.step, f);
        SCOPED_TRACE(std::to_string(c.from) + ".." + std::to_string(c.to) + " by " +
                     std::to_string(c.step));
        if (c.want.empty()) {
            EXPECT_TRUE(error);
            EXPECT_TRUE(f.empty());
            continue;
        }
        ASSERT_FALSE(error) << *error;
        ASSERT_EQ(f.size(), c.want.size());
        for (size_t i = 0; i < f.size(); ++i) EXPECT_NEAR(f[i], c.want[i], 1e-9);
    }
}

class SweepListTest : public test::TempDir {
  protected:
    SweepListTest() : TempDir("zvk-sweeplist") {}
    std::string write(const std::string& text) {
        const std::string path = file("list.csv");
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
};

TEST_F(SweepListTest, TakesTheFirstColumnAfterAnOptionalHeader) {
    std::vector<double> f;
    ASSERT_FALSE(readSweepList(write("f_MHz,note\r\n433.92,first\n\n 868.3 \n915\n"), f));
    EXPECT_EQ(f, (std::vector<double>{433.92, 868.3, 915}));
    ASSERT_FALSE(readSweepList(write("100\n200\n"), f));
    EXPECT_EQ(f, (std::vector<double>{100, 200}));
}

TEST_F(SweepListTest, NamesTheBadLine) {
    std::vector<double> f;
    const auto bad = readSweepList(write("f\n100\nabc\n"), f);
    ASSERT_TRUE(bad);
    EXPECT_NE(bad->find("line 3"), std::string::npos) << *bad;
    EXPECT_NE(bad->find("\"abc\""), std::string::npos) << *bad;
    EXPECT_TRUE(readSweepList(write("f\n\n"), f));
    const auto missing = readSweepList(file("none.csv"), f);
    ASSERT_TRUE(missing);
    EXPECT_NE(missing->find("none.csv"), std::string::npos) << *missing;
}

TEST(SuspectStatus, OnlyAllLowOrAllHighAfterWritingSpiOut) {
    struct Case {
        uint16_t word;
        bool spiOutWritten;
        const char* want;  // nullptr: not suspect
    };
    const Case cases[] = {
        {0x000, true, "low"},    {0xFFF, true, "high"},  {0x000, false, nullptr},
        {0xFFF, false, nullptr}, {0x4C8, true, nullptr}, {0x7FF, true, nullptr},
    };
    for (const Case& c : cases) {
        const auto s = suspectStatus(c.word, c.spiOutWritten);
        SCOPED_TRACE(c.word);
        if (c.want == nullptr) {
            EXPECT_FALSE(s);
            continue;
        }
        ASSERT_TRUE(s);
        EXPECT_NE(s->find(c.want), std::string::npos) << *s;
        for (const char* cause : {"supply", "cable", "MFO not SPI out"})
            EXPECT_NE(s->find(cause), std::string::npos) << *s;
    }
}

TEST(StatusCsv, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(csvField("tuned"), "tuned");
    EXPECT_EQ(csvField("a, b"), "\"a, b\"");
    EXPECT_EQ(csvField("say \"x\""), "\"say \"\"x\"\"\"");
    StatusReading r;
    r.word = 0x4C8;
    r.decoded = decodeStatus(r.word, true);
    const std::string line = statusCsvLine(12.34, r);
    const std::string header = statusCsvHeader();
    EXPECT_EQ(std::count(line.begin(), line.end(), ','),
              std::count(header.begin(), header.end(), ','));
    EXPECT_EQ(line.rfind("12.3,", 0), 0u) << line;
}

}  // namespace
}  // namespace zvk
