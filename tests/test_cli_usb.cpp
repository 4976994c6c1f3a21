// SPDX-License-Identifier: MIT
// zvk40310ctl on the virtual board with and without the adapter, run as a user runs it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CtlRunner.h"
#include "TempDir.h"

namespace {

using ::testing::ElementsAreArray;

nlohmann::json ctlJson(const std::string& args) {
    const zvk::test::CtlResult r = zvk::test::runCtl(args);
    EXPECT_EQ(r.code, 0) << args;
    return nlohmann::json::parse(r.out, nullptr, /*allow_exceptions=*/false);
}

std::vector<std::string> strings(const nlohmann::json& a) {
    std::vector<std::string> v;
    if (a.is_array())
        for (const auto& e : a) v.push_back(e.get<std::string>());
    return v;
}

const std::vector<std::string> kDefaultWords = {"0x08C0", "0x8F42", "0xF144", "0x1006",
                                                "0x04B8", "0x2ACA", "0xE4BC", "0x000E"};

TEST(CliUsb, WriteCycleOnEachVirtualBoard) {
    struct Case {
        const char* args;
        const char* transport;
        std::vector<std::string> words;
        uint64_t usbTransfers;
        bool portUsed;
    };
    const std::vector<std::string> sevenWords(kDefaultWords.begin(), kDefaultWords.end() - 1);
    const Case cases[] = {
        // the adapter's write cycle: WritePort, then SpiWrite + SpiRead for R0..R7
        {"write --defaults --board virtual-usb --json", "usb", kDefaultWords, 34, false},
        // the parallel port sends R0..R6 only
        {"write --defaults --board virtual --json", "lpt", sevenWords, 0, true},
        {"write --regs 0x0A5,0x5A3,0xA5C,0x13C,0x7FF,0xFFF,0x001,0xABC --board virtual-usb "
         "--json",
         "usb",
         {"0x0A50", "0x5A32", "0xA5C4", "0x13C6", "0x7FF8", "0xFFFA", "0x001C", "0xABCE"},
         34,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const nlohmann::json j = ctlJson(c.args);
        ASSERT_TRUE(j.is_object());
        EXPECT_EQ(j.value("transport", ""), c.transport);
        EXPECT_THAT(strings(j["words"]), ElementsAreArray(c.words));
        EXPECT_EQ(j.value("usb_transfers", uint64_t(999)), c.usbTransfers);
        EXPECT_EQ(j.value("port_accesses", uint64_t(0)) > 0, c.portUsed);
        // what the chip latched is what the program holds, R7 aside (computed)
        const auto latched = strings(j["latched"]);
        const auto regs = strings(j["registers"]);
        ASSERT_EQ(latched.size(), 8u);
        ASSERT_EQ(regs.size(), 8u);
        for (size_t i = 0; i < 7; ++i) EXPECT_EQ(latched[i], regs[i]) << "R" << i;
    }
}

// The status read gives the same word through the adapter as through the port.
TEST(CliUsb, StatusReadAgreesAcrossTransports) {
    const nlohmann::json usb = ctlJson("status --board virtual-usb --json");
    const nlohmann::json lpt = ctlJson("status --board virtual --json");
    ASSERT_TRUE(usb.is_object() && lpt.is_object());
    EXPECT_EQ(usb.value("transport", ""), "usb");
    EXPECT_EQ(lpt.value("transport", ""), "lpt");
    EXPECT_EQ(usb.value("usb_transfers", uint64_t(0)), 4u);  // SpiWrite + SpiRead
    EXPECT_EQ(usb.value("port_accesses", uint64_t(1)), 0u);
    const auto latched = strings(usb["latched"]);
    ASSERT_EQ(latched.size(), 8u);
    EXPECT_EQ(usb.value("word", "?"), latched[7]);
    for (const char* key : {"word", "IFFVAL", "IFFSTATE", "LD", "RSSI"})
        EXPECT_EQ(usb.value(key, "usb?"), lpt.value(key, "lpt?")) << key;
}

// The virtual boards' knobs switch faults on from the shell: the adapter that answers the
// wrong version or is pulled out is not used; a knob that does not fit is refused.
TEST(CliUsb, BoardKnobsSwitchTheVirtualAdaptersFaultsOn) {
    const struct {
        const char* board;
        const char* transport;
    } used[] = {
        {"virtual-usb", "usb"},
        {"virtual-usb:wrong-version", "lpt"},
        {"virtual-usb:unplug-after=0", "lpt"},
        {"virtual-usb:open-fails,signal=-20", "lpt"},
        {"virtual:signal=-150", "lpt"},
    };
    for (const auto& c : used) {
        const zvk::test::CtlResult r = zvk::test::runCtl({"status", "--board", c.board, "--json"});
        ASSERT_EQ(r.code, 0) << c.board << ": " << r.err;
        EXPECT_EQ(r.json().value("transport", ""), c.transport) << c.board;
    }
    const struct {
        const char* board;
        const char* says;
    } refused[] = {
        {"virtual:wrong-version", "needs the adapter"},
        {"hardware:timeout", "only a virtual board"},
        {"virtual-usb:unplug-after=-1", "unplug-after"},
        {"virtual-usb:signal=loud", "signal"},
        {"virtual-usb:bogus", "unknown knob \"bogus\""},
        {"virtual-usb:timeout=1", "takes no value"},
        {"virtual-us", "unknown board"},
    };
    for (const auto& c : refused) {
        const zvk::test::CtlResult r = zvk::test::runCtl({"status", "--board", c.board});
        EXPECT_EQ(r.code, 1) << c.board;
        EXPECT_THAT(r.err, ::testing::HasSubstr(c.says)) << c.board;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(r.out.empty()) << c.board;
    }
}

}  // namespace

namespace {

class CliSettings : public zvk::test::TempDir {
  protected:
    CliSettings() : TempDir("zvk-cli-settings") {}
    std::string settings(const std::string& text) {
        const std::string path = file("zvk40310.INI");
        std::ofstream(path) << text;
        return path;
    }
};

// Every command the virtual adapter received since start-up, in order, as the CLI lists
// them; the logic level goes out before the first word, as the window's start sends it.
TEST_F(CliSettings, AdapterCommandsCarryTheSettingsLevelBeforeTheFirstWord) {
    const std::string stored = settings("[USBSPI]\nVPWM=2500\nDEL=7\n[CFG]\nLevel=1\n");
    struct Case {
        std::vector<std::string> extra;
        const char* level;
        const char* delay;  // the SpiWrite's delay byte
    };
    const Case cases[] = {
        {{"--settings", file("none.INI")}, "SetLevel 1 5000", "50"},  // no file: defaults
        {{"--settings", stored}, "SetLevel 1 2500", "7"},
        {{"--settings", stored, "--level", "1800"}, "SetLevel 1 1800", "7"},
        {{"--settings", stored, "--level", "ext"}, "SetLevel 0 0", "7"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"write", "--defaults", "--board", "virtual-usb", "--json"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        SCOPED_TRACE(c.level);
        const zvk::test::CtlResult r = zvk::test::runCtl(args);
        ASSERT_EQ(r.code, 0) << r.err;
        const auto commands = strings(r.json()["adapter_commands"]);
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.front(), "Configure 1 1 1");
        const auto firstWrite = std::find_if(commands.begin(), commands.end(),
                                             [](auto& s) { return s.rfind("SpiWrite", 0) == 0; });
        ASSERT_NE(firstWrite, commands.end());
        const auto level = std::find(commands.begin(), commands.end(), c.level);
        EXPECT_LT(level, firstWrite) << testing::PrintToString(commands);
        // R0 of the default image, with the delay byte from the settings
        EXPECT_EQ(*firstWrite, std::string("SpiWrite 1 ") + c.delay + " 16 8 192");
        EXPECT_EQ(commands.back().rfind("SpiRead 1 ", 0), 0u);
    }
    // Without an adapter there is no list of its commands.
    const zvk::test::CtlResult lpt = zvk::test::runCtl(
        {"write", "--defaults", "--board", "virtual", "--json", "--settings", stored});
    ASSERT_EQ(lpt.code, 0) << lpt.err;
    EXPECT_FALSE(lpt.json().contains("adapter_commands"));
}

// --port and --level are checked before the board is touched.
TEST_F(CliSettings, PortAndLevelOptionsAreChecked) {
    const std::string stored = settings("[Port]\nAdr=0x3BC\n");
    for (const auto& [extra, ok] :
         std::vector<std::pair<std::vector<std::string>, bool>>{{{}, true},
                                                                {{"--port", "0x278"}, true},
                                                                {{"--port", "0"}, false},
                                                                {{"--port", "-5"}, false},
                                                                {{"--port", "0x10000"}, false}}) {
        std::vector<std::string> args = {"status", "--board", "virtual", "--settings", stored};
        args.insert(args.end(), extra.begin(), extra.end());
        const zvk::test::CtlResult r = zvk::test::runCtl(args);
        EXPECT_EQ(r.code, ok ? 0 : 1) << testing::PrintToString(extra) << r.err;
        if (!ok) {
            EXPECT_NE(r.err.find("--port"), std::string::npos) << r.err;
        }
    }
    const zvk::test::CtlResult bad =
        zvk::test::runCtl({"status", "--board", "virtual", "--level", "5001"});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("--level: \"5001\""), std::string::npos) << bad.err;
}

}  // namespace
