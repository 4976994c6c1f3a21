// SPDX-License-Identifier: MIT
// zvk40310ctl sweep and status --watch, run as a user runs them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "CtlRunner.h"
#include "TempDir.h"
#include "chip/FieldMap.h"
#include "storage/ConfigFile.h"

namespace zvk {
namespace {

using test::CtlResult;
using test::runCtl;

using test::lines;

std::vector<std::string> cells(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream ss(line);
    for (std::string c; std::getline(ss, c, ',');) out.push_back(c);
    if (!line.empty() && line.back() == ',') out.emplace_back();
    return out;
}

class CtlSweep : public test::TempDir {
  protected:
    CtlSweep() : TempDir("zvk-ctl-sweep") {}
    // A configuration file of the default image with one field changed.
    std::string configWith(const char* name, uint32_t value) {
        Config c;
        c.regs = kDefaultImage;
        setFieldValue(c.regs, *findField(name), value);
        const std::string path = file(std::string(name) + ".cfg");
        EXPECT_FALSE(saveConfig(path, c, "test"));
        return path;
    }
    // Receive mode: the synthesizer runs.
    std::string receiveConfig() { return configWith("OPMODE", 1); }
};

TEST_F(CtlSweep, AcrossTheVcoLimitLockedBelowNoLockAbove) {
    const std::string cfg = receiveConfig();
    const CtlResult r = runCtl(
        {"sweep", cfg, "--from", "700", "--to", "850", "--step", "10", "--board", "virtual"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto out = lines(r.out);
    ASSERT_EQ(out.size(), 1u + 16u) << r.out;
    const auto header = cells(out[0]);
    const auto ld = std::find(header.begin(), header.end(), "LD") - header.begin();
    ASSERT_LT(size_t(ld), header.size()) << out[0];
    // Locked up to some frequency, no lock from there on: one change, in that direction.
    size_t firstUnlocked = out.size();
    for (size_t i = 1; i < out.size(); ++i) {
        const auto c = cells(out[i]);
        ASSERT_EQ(c.size(), header.size()) << out[i];
        // Three decimals, as every other frequency.
        EXPECT_EQ(c[0], std::to_string(700 + 10 * (i - 1)) + ".000");
        if (c[size_t(ld)] == "no lock" && firstUnlocked == out.size()) firstUnlocked = i;
        EXPECT_EQ(c[size_t(ld)], i < firstUnlocked ? "locked" : "no lock") << out[i];
    }
    EXPECT_GT(firstUnlocked, 1u);
    EXPECT_LT(firstUnlocked, out.size());

    const CtlResult j = runCtl({"sweep", cfg, "--from", "700", "--to", "850", "--step", "10",
                                "--board", "virtual", "--json"});
    ASSERT_EQ(j.code, 0) << j.err;
    const auto jl = lines(j.out);
    ASSERT_EQ(jl.size(), 16u);
    for (size_t i = 0; i < jl.size(); ++i) {
        const auto o = nlohmann::json::parse(jl[i]);
        for (const char* key :
             {"f_wanted", "Ntot", "N", "A", "fRF", "word", "IFFVAL", "IFFSTATE", "LD", "RSSI"})
            EXPECT_TRUE(o.contains(key)) << key << " in " << jl[i];
        EXPECT_EQ(o["LD"], i + 1 < firstUnlocked ? "locked" : "no lock") << jl[i];
        EXPECT_FALSE(o.contains("suspect")) << jl[i];
    }
}

TEST_F(CtlSweep, AListWithARefusedPointGoesOn) {
    const std::string list = file("f.csv");
    std::ofstream(list) << "f_MHz\n433.92\n-50\n600\n";
    const CtlResult r =
        runCtl({"sweep", receiveConfig(), "--list", list, "--board", "virtual", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto out = lines(r.out);
    ASSERT_EQ(out.size(), 3u) << r.out;
    EXPECT_EQ(nlohmann::json::parse(out[0])["LD"], "locked");
    const auto refused = nlohmann::json::parse(out[1]);
    EXPECT_TRUE(refused.contains("refused")) << out[1];
    EXPECT_FALSE(refused.contains("word")) << out[1];
    EXPECT_EQ(nlohmann::json::parse(out[2])["LD"], "locked");
    EXPECT_NE(r.err.find("-50"), std::string::npos) << r.err;
}

TEST_F(CtlSweep, BadInputsExitOneNamingTheInput) {
    const std::string cfg = receiveConfig();
    struct Case {
        std::vector<std::string> args;
        const char* named;
    };
    const Case cases[] = {
        {{"sweep", cfg, "--board", "virtual"}, "--list"},
        {{"sweep", cfg, "--from", "800", "--to", "900", "--board", "virtual"}, "--step"},
        {{"sweep", cfg, "--from", "800", "--to", "900", "--step", "0", "--board", "virtual"},
         "--step"},
        {{"sweep", cfg, "--from", "x", "--to", "900", "--step", "1", "--board", "virtual"},
         "--from"},
        {{"sweep", "--from", "800", "--to", "900", "--step", "1", "--board", "virtual"},
         "--defaults"},
        {{"sweep", cfg, "--defaults", "--from", "800", "--to", "900", "--step", "1"}, "--defaults"},
        {{"sweep", cfg, "--list", file("none.csv"), "--board", "virtual"}, "none.csv"},
        {{"sweep", cfg, "--from", "800", "--to", "900", "--step", "1", "--dwell", "-1"}, "--dwell"},
        {{"sweep", file("none.cfg"), "--from", "800", "--to", "900", "--step", "1"}, "none.cfg"},
        {{"status", "--count", "3", "--board", "virtual"}, "--count"},
        {{"status", "--watch", "0", "--board", "virtual"}, "--watch"},
        {{"status", "--watch", "10", "--count", "0", "--board", "virtual"}, "--count"},
    };
    for (const Case& c : cases) {
        const CtlResult r = runCtl(c.args);
        SCOPED_TRACE(c.named);
        EXPECT_EQ(r.code, 1) << r.out;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST_F(CtlSweep, MfoNotCarryingTheStatusIsRefusedBeforeTheSweep) {
    const std::string path = configWith("MFO", 8);  // LD out
    const CtlResult r = runCtl(
        {"sweep", path, "--from", "800", "--to", "810", "--step", "5", "--board", "virtual"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_NE(r.err.find("MFO"), std::string::npos) << r.err;
}

TEST_F(CtlSweep, AllBitsLowAfterWritingSpiOutIsSuspectOnceOnStandardError) {
    // IFFPRES 0 and the synthesizer off: the working virtual chip answers 0x000, as a board
    // with MFO stuck low would.
    const std::string path = configWith("IFFPRES", 0);
    const CtlResult r = runCtl({"sweep", path, "--from", "400", "--to", "410", "--step", "5",
                                "--board", "virtual", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto out = lines(r.out);
    ASSERT_EQ(out.size(), 3u) << r.out;
    for (const std::string& l : out) {
        const auto o = nlohmann::json::parse(l);
        EXPECT_EQ(o["word"], "0x000") << l;
        ASSERT_TRUE(o.contains("suspect")) << l;
    }
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    for (const char* cause : {"supply", "cable", "MFO not SPI out"})
        EXPECT_NE(r.err.find(cause), std::string::npos) << r.err;
}

// --trace, --vcd and --trace-json record the reads of a sweep and of a watch, as they do
// a write's: one status read per point or tick in the log, the lines in the VCD, and with
// JSON Lines the events as a last line of their own.
TEST_F(CtlSweep, SweepAndWatchWriteTheirTrace) {
    const std::string cfg = receiveConfig();
    const struct {
        const char* what;
        std::vector<std::string> args;
        size_t reads;
    } cases[] = {
        {"sweep",
         {"sweep", cfg, "--from", "430", "--to", "432", "--step", "1", "--board", "virtual"},
         3},
        {"watch", {"status", "--watch", "5", "--count", "2", "--board", "virtual"}, 2},
    };
    for (const auto& c : cases) {
        const std::string log = file(std::string(c.what) + ".log");
        const std::string vcd = file(std::string(c.what) + ".vcd");
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--trace", log, "--vcd", vcd, "--json", "--trace-json"});
        const CtlResult r = runCtl(args);
        ASSERT_EQ(r.code, 0) << c.what << ": " << r.err;
        std::stringstream text;
        text << std::ifstream(log).rdbuf();
        const auto logLines = lines(text.str());
        const size_t reads = size_t(std::count_if(logLines.begin(), logLines.end(), [](auto& l) {
            return l.find("R7 -> ") != std::string::npos;
        }));
        EXPECT_EQ(reads, c.reads) << c.what << ":\n" << text.str();
        std::stringstream dump;
        dump << std::ifstream(vcd).rdbuf();
        EXPECT_NE(dump.str().find("$enddefinitions"), std::string::npos) << c.what;
        EXPECT_NE(dump.str().find("SDEN"), std::string::npos) << c.what;
        const auto out = lines(r.out);
        ASSERT_EQ(out.size(), c.reads + 1) << r.out;
        const auto last = nlohmann::json::parse(out.back());
        ASSERT_TRUE(last.contains("trace")) << out.back();
        EXPECT_EQ(last["trace"].size(), logLines.size()) << c.what;
    }
}

TEST(CtlStatusWatch, CountedReadsOneLineEach) {
    const CtlResult csv = runCtl("status --watch 10 --count 3 --board virtual");
    ASSERT_EQ(csv.code, 0) << csv.err;
    const auto out = lines(csv.out);
    ASSERT_EQ(out.size(), 4u) << csv.out;
    EXPECT_EQ(out[0], "t_ms,word,IFFVAL,IFFSTATE,LD,RSSI,suspect");
    // Each read on its own tick, never before it: a late one (a loaded machine) does not
    // push the later ticks back, so only the lower bound is fixed.
    for (size_t i = 1; i < out.size(); ++i) {
        const auto c = cells(out[i]);
        ASSERT_EQ(c.size(), 7u) << out[i];
        EXPECT_GE(std::stod(c[0]), 10.0 * double(i - 1) - 0.05) << "read " << i << ": " << csv.out;
    }
    const CtlResult json = runCtl("status --watch 10 --count 2 --board virtual --json");
    ASSERT_EQ(json.code, 0) << json.err;
    const auto jl = lines(json.out);
    ASSERT_EQ(jl.size(), 2u) << json.out;
    for (const std::string& l : jl) EXPECT_TRUE(nlohmann::json::parse(l).contains("IFFVAL")) << l;
}

TEST(CtlStatusWatch, CtrlCEndsAfterACompleteLineWithExitZero) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string ctl = test::ctlPath();
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        execl(ctl.c_str(), ctl.c_str(), "status", "--watch", "20", "--board", "virtual", "--json",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    // Interrupt once two reads have come out.
    while (std::count(out.begin(), out.end(), '\n') < 2) {
        const ssize_t n = read(fds[0], buf, sizeof buf);
        ASSERT_GT(n, 0) << out;
        out.append(buf, size_t(n));
    }
    kill(pid, SIGINT);
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal: " << out;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), '\n');
    for (const std::string& l : lines(out)) EXPECT_NO_THROW(nlohmann::json::parse(l)) << l;
}

}  // namespace
}  // namespace zvk
