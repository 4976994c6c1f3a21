// SPDX-License-Identifier: MIT
// The wire as zvk40310ctl records it: the VCD decodes into the frames the chip latched,
// the log names registers and changed fields.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CtlRunner.h"
#include "TempDir.h"

namespace zvk {
namespace {

using test::CtlResult;
using test::runCtl;

// A VCD file's value changes of one-bit signals, by name, in time order.
struct Change {
    uint64_t t;
    std::string signal;
    int level;
};

std::vector<Change> readVcd(const std::string& path) {
    std::ifstream in(path);
    std::map<std::string, std::string> names;  // id -> name
    std::vector<Change> changes;
    std::string line;
    uint64_t t = 0;
    uint64_t last = 0;
    bool body = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string w;
        words >> w;
        if (w == "$var") {
            std::string type, size, id, name;
            words >> type >> size >> id >> name;
            names[id] = name;
        } else if (w == "$enddefinitions") {
            body = true;
        } else if (body && !w.empty() && w[0] == '#') {
            t = std::stoull(w.substr(1));
            EXPECT_GE(t, last) << "time runs backwards at " << line;
            last = t;
        } else if (body && !w.empty() && (w[0] == '0' || w[0] == '1')) {
            const auto found = names.find(w.substr(1));
            EXPECT_NE(found, names.end()) << line;
            if (found != names.end()) changes.push_back({t, found->second, w[0] - '0'});
        }
    }
    return changes;
}

// What a logic analyser's SPI decoder makes of the lines: SDTA sampled at each rising
// SCLK while SDEN is low, a word for every 16 bits, the count restarting when SDEN goes
// high. lastBits: instead, the last 16 bits before each SDEN rise (the adapter, whose
// reads clock with SDEN low between frames).
std::vector<uint16_t> decodeSpi(const std::vector<Change>& changes, bool lastBits) {
    std::map<std::string, int> level{{"SDEN", 0}, {"SCLK", 0}, {"SDTA", 0}};
    std::vector<uint16_t> words;
    uint32_t shift = 0;
    int bits = 0;
    for (const Change& c : changes) {
        const int before = level[c.signal];
        level[c.signal] = c.level;
        if (c.signal == "SCLK" && before == 0 && c.level == 1 && level["SDEN"] == 0) {
            shift = (shift << 1) | uint32_t(level["SDTA"]);
            ++bits;
            if (!lastBits && bits == 16) {
                words.push_back(uint16_t(shift));
                bits = 0;
                shift = 0;
            }
        }
        if (c.signal == "SDEN" && before == 0 && c.level == 1) {
            if (lastBits && bits >= 16) words.push_back(uint16_t(shift));
            bits = 0;
            shift = 0;
        }
    }
    return words;
}

std::vector<uint16_t> hexWords(const nlohmann::json& list) {
    std::vector<uint16_t> out;
    for (const auto& w : list)
        out.push_back(uint16_t(std::stoul(w.get<std::string>(), nullptr, 16)));
    return out;
}

class CliTrace : public test::TempDir {
  protected:
    CliTrace() : TempDir("zvk-cli-trace") {}
};

const std::string kRegs = "0x08D,0x8F4,0xF14,0x100,0x04B,0x2AC,0xE4B,0";

TEST_F(CliTrace, TheVcdDecodesIntoTheFramesTheChipLatched) {
    for (const char* board : {"virtual", "virtual-usb"}) {
        SCOPED_TRACE(board);
        const std::string vcd = file(std::string(board) + ".vcd");
        const CtlResult r =
            runCtl({"write", "--regs", kRegs, "--board", board, "--vcd", vcd, "--json"});
        ASSERT_EQ(r.code, 0) << r.err;
        const std::vector<uint16_t> latched = hexWords(r.json()["words"]);
        ASSERT_EQ(latched.size(), std::string(board) == "virtual" ? 7u : 8u);
        const auto changes = readVcd(vcd);
        const bool adapter = std::string(board) == "virtual-usb";
        EXPECT_EQ(decodeSpi(changes, adapter), latched);
        // Every instant holds one port write at most: no edge shares its time with
        // another of the same line.
        std::map<std::pair<uint64_t, std::string>, int> seen;
        for (const Change& c : changes) {
            const auto key = std::make_pair(c.t, c.signal);
            EXPECT_EQ(++seen[key], 1) << c.signal << " at " << c.t;
        }
    }
}

// A logic analyser's own decoder, where the machine has it.
TEST_F(CliTrace, SigrokDecodesThePortsVcd) {
    if (std::system("command -v sigrok-cli >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "sigrok-cli is not installed";
    const std::string vcd = file("t.vcd");
    const CtlResult r =
        runCtl({"write", "--regs", kRegs, "--board", "virtual", "--vcd", vcd, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string cmd = "sigrok-cli -I vcd -i " + test::shellQuoted(vcd) +
                            " -P spi:clk=SCLK:mosi=SDTA:cs=SDEN:wordsize=16:cs_polarity=active-low"
                            " -A spi=mosi-data 2>&1";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
        pclose(p);
    }
    std::vector<uint16_t> decoded;
    std::istringstream lines(out);
    for (std::string l; std::getline(lines, l);)
        if (l.rfind("spi-1: ", 0) == 0)
            decoded.push_back(uint16_t(std::stoul(l.substr(7), nullptr, 16)));
    EXPECT_EQ(decoded, hexWords(r.json()["words"])) << out;
}

TEST_F(CliTrace, TheLogNamesEveryRegisterAndTheFieldsThatChanged) {
    const std::string log = file("t.log");
    const CtlResult r = runCtl(
        {"write", "--regs", kRegs, "--board", "virtual", "--trace", log, "--json", "--trace-json"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::ifstream in(log);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // R0 differs from the chip's power-on image in OPMODE only; the others are as it holds.
    for (const char* expected :
         {"R0 <- 0x08D (frame 0x08D0)  OPMODE 0->1\n", "R5 <- 0x2AC (frame 0x2ACA)\n",
          "R6 <- 0xE4B (frame 0xE4BC)\n", "SPISEL 0->1", "chip latched 0x2ACA (R5 = 0x2AC)"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    EXPECT_EQ(text.find("R7 <-"), std::string::npos) << "the port sends no R7";
    // Microseconds with three decimals in front of every line.
    std::istringstream lines(text);
    for (std::string l; std::getline(lines, l);)
        EXPECT_TRUE(l.size() > 16 && l.substr(l.find(" us  ") - 4, 1) == ".") << l;
    const auto events = r.json()["trace"];
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[1]["event"], "R0 <- 0x08D (frame 0x08D0)  OPMODE 0->1");
    EXPECT_TRUE(events[1]["t_us"].is_number());

    // A second write of the same image changes no field; a status read decodes its word.
    const CtlResult status = runCtl({"status", "--board", "virtual", "--trace", "-"});
    ASSERT_EQ(status.code, 0) << status.err;
    EXPECT_NE(status.out.find("R7 -> 0x"), std::string::npos) << status.out;
    EXPECT_NE(status.out.find("IFFVAL 75, IFFSTATE tuned"), std::string::npos) << status.out;
}

TEST_F(CliTrace, BadTraceOptionsAreRefusedInOneLine) {
    const struct {
        std::vector<std::string> args;
        const char* names;
    } cases[] = {
        {{"--trace", "-", "--vcd", "-"}, "standard output"},
        {{"--trace", "/proc/nope/t.log"}, "--trace"},
        {{"--vcd", "/proc/nope/t.vcd"}, "--vcd"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"write", "--defaults", "--board", "virtual"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CtlResult r = runCtl(args);
        EXPECT_EQ(r.code, 1) << c.names;
        EXPECT_NE(r.err.find(c.names), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

}  // namespace
}  // namespace zvk
