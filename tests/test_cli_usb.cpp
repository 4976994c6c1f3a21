// zvk40310ctl on the virtual board with and without the adapter, run as a user runs it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CtlRunner.h"

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

}  // namespace
