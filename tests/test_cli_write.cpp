// SPDX-License-Identifier: MIT
// zvk40310ctl write, run as a user runs it: a separate process, its output and exit code.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CtlRunner.h"
#include "TempDir.h"
#include "chip/FieldMap.h"
#include "storage/ConfigFile.h"
#include "transport/PortIo.h"

namespace zvk {
namespace {

using test::CtlResult;
using test::runCtl;

TEST(CliWrite, SendsTheWordsTheVirtualChipDecodes) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> words;
        std::string lines;
        unsigned accesses;
    };
    const Case cases[] = {
        {{"write", "--defaults", "--board", "virtual", "--json"},
         {"0x08C0", "0x8F42", "0xF144", "0x1006", "0x04B8", "0x2ACA", "0xE4BC"},
         "0x08",
         701},
        {{"write", "--regs", "0x08D,0x8F4,0xF14,0x100,0x04B,0xAAC,0xE4B,0", "--board", "virtual",
          "--port", "0x3BC", "--json"},
         {"0x08D0", "0x8F42", "0xF144", "0x1006", "0x04B8", "0xAACA", "0xE4BC"},
         "0x08",
         701},
        {{"write", "--defaults", "--abc", "5", "--board", "virtual", "--json"}, {}, "0x06", 2},
    };
    for (const Case& c : cases) {
        const CtlResult r = runCtl(c.args);
        ASSERT_EQ(r.code, 0) << r.err;
        const nlohmann::json j = r.json();
        EXPECT_EQ(j["words"].get<std::vector<std::string>>(), c.words) << c.args[1];
        EXPECT_EQ(j["lines"], c.lines) << c.args[1];
        EXPECT_EQ(j["port_accesses"], c.accesses) << c.args[1];
        EXPECT_EQ(j["transport"], "lpt");
        // What the chip holds matches what the program sent.
        for (size_t i = 0; i < 7; ++i) EXPECT_EQ(j["latched"][i], j["registers"][i]) << i;
    }
}

TEST(CliWrite, BadRegistersExitOneNamingTheOption) {
    for (const char* regs : {"1,2,3", "1,2,3,4,5,6,7,x", "1,2,3,4,5,6,7,8,9",
                             "1,2,3,4,5,6,7,0x10000", "1,2,3,4,5,6,7,-1", "1,2,3,4,5,6,7,8,", ""}) {
        const CtlResult r = runCtl({"write", "--regs", regs, "--board", "virtual", "--json"});
        EXPECT_EQ(r.code, 1) << regs;
        EXPECT_NE(r.err.find("--regs"), std::string::npos) << regs << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << regs << ": nothing written";
    }
}

TEST(CliWrite, HardwareWithoutAnyPortExitsTwoWithTheReason) {
    HardwarePortIo probe;
    if (probe.open(0x378)) GTEST_SKIP() << "this machine has a parallel port: " << probe.name();
    const CtlResult r = runCtl({"write", "--defaults", "--board", "hardware", "--json"});
    if (r.code == 0) GTEST_SKIP() << "a USB adapter answered";
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find("Driver not open"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(probe.failureReasons()), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
}

// A port another program holds gives no word and no false success: exit 2 with the holder.
TEST(CliWrite, APortHeldElsewhereEndsWithExitTwoAndTheHolder) {
    for (const char* command : {"status", "write --defaults", "status --watch 10 --count 2"}) {
        const CtlResult r = runCtl(std::string(command) + " --board virtual:port-busy=5 --json");
        EXPECT_EQ(r.code, 2) << command << ": " << r.err;
        EXPECT_NE(r.err.find("parport0 is in use by lp"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("\"word\""), std::string::npos) << command << ": " << r.out;
    }
    const CtlResult bad = runCtl("status --board virtual --busy-wait -3");
    EXPECT_EQ(bad.code, 1) << bad.err;
    EXPECT_NE(bad.err.find("--busy-wait"), std::string::npos) << bad.err;
}

// Without hardware a command that reaches for the board ends with exit code 2: a refusal
// that comes first (1) shows that the board was not touched, not even by the logic level
// the start-up sends.
class CliWriteFile : public test::TempDir {
  protected:
    CliWriteFile() : TempDir("zvk-ctl-write") {}
};

TEST_F(CliWriteFile, RefusalsComeBeforeTheBoardIsReached) {
    HardwarePortIo probe;
    if (probe.open(0x378)) GTEST_SKIP() << "this machine has a parallel port: " << probe.name();
    if (runCtl("status --board hardware").code != 2) GTEST_SKIP() << "a USB adapter answered";
    Config c;
    c.regs = kDefaultImage;
    c.frf = 1e30;                            // beyond what the plan can reach
    setFieldValue(c.regs, field("MFO"), 2);  // the status is not shifted out
    const std::string path = file("refused.cfg");
    ASSERT_EQ(saveConfig(path, c, "t"), std::nullopt);
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{"write", path, "--plan"}, "--plan: "},
        {{"write", path, "--expect-lock"}, "--expect-lock: MFO"},
        {{"sweep", path, "--from", "400", "--to", "401", "--step", "1"}, "sweep: MFO"},
    };
    for (const Case& k : cases) {
        std::vector<std::string> args = k.args;
        args.insert(args.end(), {"--board", "hardware"});
        const CtlResult r = runCtl(args);
        EXPECT_EQ(r.code, 1) << k.says << ": " << r.err;
        EXPECT_NE(r.err.find(k.says), std::string::npos) << r.err;
    }
}

TEST(CliWrite, ReportsNoProtocolViolationOnEitherTransport) {
    for (const char* board : {"virtual", "virtual-usb"}) {
        SCOPED_TRACE(board);
        for (const char* command : {"write", "status"}) {
            std::vector<std::string> args = {command, "--board", board, "--json"};
            if (std::string(command) == "write") args.insert(args.begin() + 1, "--defaults");
            const CtlResult r = runCtl(args);
            ASSERT_EQ(r.code, 0) << r.err;
            const nlohmann::json j = r.json();
            ASSERT_TRUE(j.contains("violations")) << command;
            EXPECT_EQ(j["violations"], nlohmann::json::array()) << command;
        }
        const CtlResult text = runCtl({"write", "--defaults", "--board", board});
        EXPECT_EQ(text.out.find("violation"), std::string::npos) << text.out;
    }
}

}  // namespace
}  // namespace zvk
