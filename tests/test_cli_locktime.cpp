// SPDX-License-Identifier: MIT
// The lock time from the shell: write reports it, locktime hops for it, sweep adds it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "CtlRunner.h"
#include "TempDir.h"
#include "chip/FieldMap.h"
#include "storage/ConfigFile.h"

namespace zvk {
namespace {

using test::CtlResult;
using test::lines;
using test::runCtl;

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CtlLockTime : public test::TempDir {
  protected:
    CtlLockTime() : TempDir("zvk-ctl-locktime") {}
    // The default image in receive mode (the synthesizer runs), MFO as given.
    // r: the reference divider, when not the default image's.
    std::string config(uint32_t mfo, const char* name, std::optional<uint32_t> r = {}) {
        Config c;
        c.regs = kDefaultImage;
        setFieldValue(c.regs, field("OPMODE"), 1);
        setFieldValue(c.regs, field("MFO"), mfo);
        if (r) setFieldValue(c.regs, field("R"), *r);
        const std::string path = file(name);
        EXPECT_FALSE(saveConfig(path, c, "test"));
        return path;
    }
};

TEST_F(CtlLockTime, HopsAreTimedOnBothTransportsAndTheFileStaysAsItWas) {
    const std::string cfg = config(kMfoSpiOut, "spi-out.cfg");
    const std::string before = contentsOf(cfg);
    for (const char* board : {"virtual", "virtual-usb"}) {
        const CtlResult r = runCtl({"locktime", cfg, "--from", "400", "--to", "430", "--repeat",
                                    "3", "--board", board, "--json"});
        ASSERT_EQ(r.code, 0) << board << r.err;
        const auto j = r.json();
        EXPECT_EQ(j["transport"], std::string(board) == "virtual" ? "lpt" : "usb");
        ASSERT_EQ(j["hops"].size(), 3u) << board;
        EXPECT_EQ(j["hops"][1]["from"], 430.0);
        EXPECT_EQ(j["hops"][1]["to"], 400.0);
        EXPECT_EQ(j["measured"], 3);
        // The chip model settles for at least 1 ms and is capped at 15 ms.
        EXPECT_GE(j["min_ms"].get<double>(), 1.0) << board;
        EXPECT_LE(j["min_ms"].get<double>(), j["median_ms"].get<double>());
        EXPECT_LE(j["median_ms"].get<double>(), j["max_ms"].get<double>());
        EXPECT_GT(j["resolution_ms"].get<double>(), 0.0);
    }
    EXPECT_EQ(contentsOf(cfg), before);
}

TEST_F(CtlLockTime, RefusalsComeBeforeTheBoardAndAnIdleSynthesizerIsNotLocked) {
    const std::string cfg = config(kMfoSpiOut, "a.cfg");
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* says;
    } cases[] = {
        {{"locktime", cfg, "--from", "400", "--to", "400"}, 1, "no hop"},
        {{"locktime", cfg, "--from", "400", "--to", "-5"}, 1, "-5.000 MHz"},
        {{"locktime", cfg, "--from", "400", "--to", "430", "--repeat", "0"}, 1, "--repeat"},
        {{"locktime", "--from", "400", "--to", "430"}, 1, "FILE.cfg or --defaults"},
        // Shutdown: the synthesizer never locks, every hop hits the cap.
        {{"locktime", "--defaults", "--from", "400", "--to", "430", "--repeat", "1"},
         3,
         "locked after no hop"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--board", "virtual"});
        const CtlResult r = runCtl(args);
        EXPECT_EQ(r.code, c.code) << c.says << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}

TEST_F(CtlLockTime, WriteReportsTheLockTimeOnlyWithLdOut) {
    // Twice the power-on image's R halves LO1: a step of about 257 MHz, whose settling
    // (about 6 ms) outlasts the rest of the write cycle even on a loaded machine.
    const std::string ld = config(kMfoLdOut, "ld.cfg", 2 * 75);
    const std::string spi = config(kMfoSpiOut, "spi.cfg");
    for (const char* board : {"virtual", "virtual-usb"}) {
        const CtlResult r = runCtl({"write", ld, "--board", board, "--json"});
        ASSERT_EQ(r.code, 0) << r.err;
        const auto j = r.json();
        ASSERT_TRUE(j.contains("lock_time_ms")) << board << r.out;
        // The settling began with R4's latch, before the rest of the cycle: most of it is
        // left when the measurement starts.
        EXPECT_GT(j["lock_time_ms"].get<double>(), 1.0) << board << r.out;
        EXPECT_EQ(j["lock_time_capped"], false);
        EXPECT_GT(j["lock_time_resolution_ms"].get<double>(), 0.0);
        const CtlResult text = runCtl({"write", ld, "--board", board});
        EXPECT_NE(text.out.find("lock time"), std::string::npos) << text.out;
        EXPECT_FALSE(
            runCtl({"write", spi, "--board", board, "--json"}).json().contains("lock_time_ms"));
    }
}

TEST_F(CtlLockTime, SweepAddsTheLockTimeAndLeavesTheStatusEmpty) {
    const std::string cfg = config(kMfoSpiOut, "s.cfg");
    const CtlResult r = runCtl({"sweep", cfg, "--from", "400", "--to", "440", "--step", "20",
                                "--lock-time", "--board", "virtual"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto out = lines(r.out);
    ASSERT_EQ(out.size(), 4u) << r.out;
    EXPECT_NE(out[0].find(",lock_time_ms,lock_time_capped"), std::string::npos) << out[0];
    // The first point's settling comes from the board's start-up image; each later one is a
    // hop of 20 MHz and is timed, with no status word beside it.
    for (size_t i = 2; i < out.size(); ++i) {
        EXPECT_NE(out[i].find(",,,,,,,"), std::string::npos) << "status empty: " << out[i];
        EXPECT_EQ(out[i].substr(out[i].size() - 2), ",0") << out[i];
    }
    const CtlResult plain = runCtl(
        {"sweep", cfg, "--from", "400", "--to", "420", "--step", "20", "--board", "virtual"});
    EXPECT_EQ(lines(plain.out)[0].find("lock_time"), std::string::npos);
}

}  // namespace
}  // namespace zvk
