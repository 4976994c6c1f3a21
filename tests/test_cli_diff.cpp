// SPDX-License-Identifier: MIT
// zvk40310ctl diff and write --expect-lock, run as a user runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "CtlRunner.h"
#include "TempDir.h"
#include "chip/FieldMap.h"
#include "session/Session.h"

namespace zvk {
namespace {

using test::CtlResult;
using test::runCtl;

using test::lines;

// The first word of each line: the name of what differs.
std::vector<std::string> names(const std::string& text) {
    std::vector<std::string> v;
    for (const std::string& l : lines(text)) v.push_back(l.substr(0, l.find("  ")));
    return v;
}

class CliDiff : public test::TempDir {
  protected:
    CliDiff() : TempDir("zvk-cli-diff") {}
    std::string save(const std::string& name, const Config& c) {
        const std::string path = file(name);
        EXPECT_FALSE(saveConfig(path, c, titleText()).has_value());
        return path;
    }
    // A receive-mode configuration whose status shows lock detect on MFO.
    static Config receiving() {
        Config c;
        c.regs = kDefaultImage;
        setFieldValue(c.regs, field("OPMODE"), 1);
        c.frf = 384.0;
        return c;
    }
};

TEST_F(CliDiff, AFileAgainstItselfIsEqual) {
    const std::string a = save("a.cfg", receiving());
    const CtlResult r = runCtl({"diff", a, a});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST_F(CliDiff, NamesWhatDiffersAndExitsOne) {
    struct Case {
        const char* what;
        void (*change)(Config&);
        std::vector<std::string> names;  // in the order they are listed, before the planned
        std::string firstLine;
        bool movesPlan = false;  // then planned frequencies follow, the tuned fRF among them
    };
    const Case cases[] = {
        {"a field that only changes the chip's behaviour",
         [](Config& c) { setFieldValue(c.regs, field("CPCUR"), 3); },
         {"CPCUR"},
         "CPCUR  0 -> 3"},
        {"a status field", [](Config& c) { c.regs[7] = 0x400; }, {"LDRSSIL"}, "LDRSSIL  0 -> 1"},
        {"a file item alone", [](Config& c) { c.pllmux = 5; }, {"preset"}, "preset  0 -> 5"},
        {"the mode", [](Config& c) { c.spisel = false; }, {"mode"}, "mode  SPI -> ABC"},
        {"a divider moves the planned frequencies",
         [](Config& c) {
             setFieldValue(c.regs, field("A"), (fieldValue(c.regs, field("A")) + 1) % 32);
         },
         {"A"},
         "",
         true},
    };
    for (const Case& c : cases) {
        Config before = receiving();
        Config after = before;
        c.change(after);
        const std::string a = save("a.cfg", before);
        const std::string b = save("b.cfg", after);
        const CtlResult r = runCtl({"diff", a, b});
        EXPECT_EQ(r.code, 1) << c.what << ": " << r.err;
        std::vector<std::string> listed = names(r.out);
        std::vector<std::string> planned;
        while (!listed.empty() && listed.back().rfind("planned ", 0) == 0) {
            planned.insert(planned.begin(), listed.back());
            listed.pop_back();
        }
        EXPECT_EQ(listed, c.names) << c.what << ":\n" << r.out;
        EXPECT_EQ(!planned.empty(), c.movesPlan) << c.what << ":\n" << r.out;
        if (c.movesPlan) {
            EXPECT_EQ(planned.front(), "planned fRF") << r.out;
        }
        if (!c.firstLine.empty()) {
            EXPECT_EQ(lines(r.out).at(0), c.firstLine) << c.what;
        }
        // The other way round: the same names, old and new swapped.
        const CtlResult back = runCtl({"diff", b, a});
        EXPECT_EQ(back.code, 1) << c.what;
        EXPECT_EQ(names(back.out), names(r.out)) << c.what;
    }
}

// The planned frequencies are those the window shows after loading each file: the second
// IF comes from the file's crystal and RIFF, as the load's plan makes it.
TEST_F(CliDiff, PlannedFrequenciesAreTheOnesTheWindowShows) {
    const struct {
        const char* what;
        void (*change)(Config&);
        std::vector<std::string> expected;  // among the lines
    } cases[] = {
        {"one step of A",
         [](Config& c) { setFieldValue(c.regs, field("A"), 21); },
         {"planned fRF  384.000 -> 384.100", "planned fIF1  130.667 -> 130.700",
          "planned fLO1  514.667 -> 514.800"}},
        {"the IF filter divider",
         [](Config& c) { setFieldValue(c.regs, field("RIFF"), 700); },
         {"planned fRF  384.000 -> 384.046", "planned fIF2  2.000 -> 1.954"}},
        {"the crystal",
         [](Config& c) { c.fxtal = 12.0; },
         {"planned fIF2  2.000 -> 2.400", "planned fPFD  0.133 -> 0.160"}},
    };
    for (const auto& c : cases) {
        Config after = receiving();
        c.change(after);
        const std::string a = save("a.cfg", receiving());
        const std::string b = save("b.cfg", after);
        const CtlResult r = runCtl({"diff", a, b});
        EXPECT_EQ(r.code, 1) << c.what << ": " << r.err;
        const std::vector<std::string> out = lines(r.out);
        for (const std::string& line : c.expected)
            EXPECT_NE(std::find(out.begin(), out.end(), line), out.end())
                << c.what << ": no \"" << line << "\" in\n"
                << r.out;
    }
    // What show says the default image tunes to is the first file's planned fRF.
    const CtlResult show = runCtl({"show", save("a.cfg", receiving()), "--json"});
    ASSERT_EQ(show.code, 0) << show.err;
    EXPECT_EQ(show.json()["fRF"], "384.000");
}

TEST_F(CliDiff, JsonListsOldAndNew) {
    Config after = receiving();
    setFieldValue(after.regs, field("LDTIME"), 2);
    const std::string a = save("a.cfg", receiving());
    const std::string b = save("b.cfg", after);
    const CtlResult r = runCtl({"diff", a, b, "--json"});
    ASSERT_EQ(r.code, 1) << r.err;
    const nlohmann::json d = r.json()["differences"];
    ASSERT_EQ(d.size(), 1u) << r.out;
    EXPECT_EQ(d[0]["name"], "LDTIME");
    EXPECT_EQ(d[0]["old"], std::to_string(fieldValue(receiving().regs, field("LDTIME"))));
    EXPECT_EQ(d[0]["new"], "2");
    EXPECT_EQ(runCtl({"diff", a, a, "--json"}).json()["differences"].size(), 0u);
}

TEST_F(CliDiff, AFileThatDoesNotLoadExitsTwoNamingIt) {
    const std::string a = save("a.cfg", receiving());
    const std::string missing = file("missing.cfg");
    const std::string bad = file("bad.cfg");
    std::ofstream(bad) << "fRF\tabc\r\n";
    for (const auto& [first, second, named] :
         {std::tuple{a, missing, missing}, std::tuple{missing, a, missing},
          std::tuple{a, bad, bad}}) {
        const CtlResult r = runCtl({"diff", first, second});
        EXPECT_EQ(r.code, 2) << named;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    }
}

using CliExpectLock = CliDiff;

TEST_F(CliExpectLock, ExitsThreeWhenTheSynthesizerDoesNotLock) {
    struct Case {
        const char* what;
        void (*change)(Config&);
        std::vector<std::string> extra;
        int code;
        const char* ld;
    };
    const Case cases[] = {
        {"a receive plan inside the VCO range", [](Config&) {}, {}, 0, "locked"},
        {"the same with a longer settle", [](Config&) {}, {"--settle", "40"}, 0, "locked"},
        {"the synthesizer switched off",
         [](Config& c) { setFieldValue(c.regs, field("OPMODE"), 0); },
         {},
         3,
         "no lock"},
        {"a plan beyond the VCO's upper limit",
         [](Config& c) { c.frf = 1100.0; },
         {},
         3,
         "no lock"},
    };
    for (const Case& c : cases) {
        Config cfg = receiving();
        c.change(cfg);
        const std::string path = save("plan.cfg", cfg);
        std::vector<std::string> args = {"write",         path,    "--plan", "--board", "virtual",
                                         "--expect-lock", "--json"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const CtlResult r = runCtl(args);
        EXPECT_EQ(r.code, c.code) << c.what << ": " << r.err;
        ASSERT_FALSE(r.out.empty()) << c.what << ": " << r.err;
        EXPECT_EQ(r.json()["status"]["LD"], c.ld) << c.what;
        if (c.code == 3) {
            EXPECT_EQ(lines(r.err).size(), 1u) << c.what << ": " << r.err;
            EXPECT_NE(r.err.find("not locked"), std::string::npos) << r.err;
        }
    }
}

TEST_F(CliExpectLock, RefusesAnImageThatCannotShowLockBeforeWriting) {
    struct Case {
        const char* what;
        void (*change)(Config&);
        const char* named;
    };
    const Case cases[] = {
        {"MFO not SPI out", [](Config& c) { setFieldValue(c.regs, field("MFO"), kMfoLdOut); },
         "MFO"},
        {"LDRSSIL as the RSSI flag", [](Config& c) { setFieldValue(c.regs, field("SHOWLD"), 0); },
         "SHOWLD"},
        {"ABC mode", [](Config& c) { c.spisel = false; }, "ABC"},
    };
    for (const Case& c : cases) {
        Config cfg = receiving();
        c.change(cfg);
        const std::string path = save("plan.cfg", cfg);
        const CtlResult r =
            runCtl({"write", path, "--board", "virtual", "--expect-lock", "--json"});
        EXPECT_EQ(r.code, 1) << c.what;
        EXPECT_TRUE(r.out.empty()) << c.what << ": nothing written";
        EXPECT_NE(r.err.find("--expect-lock"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
    }
    for (const char* settle : {"x", "-1", "60001", ""}) {
        const CtlResult r = runCtl(
            {"write", "--defaults", "--board", "virtual", "--expect-lock", "--settle", settle});
        EXPECT_EQ(r.code, 1) << settle;
        EXPECT_NE(r.err.find("--settle"), std::string::npos) << r.err;
    }
    const CtlResult alone = runCtl("write --defaults --board virtual --settle 5");
    EXPECT_EQ(alone.code, 1);
    EXPECT_NE(alone.err.find("--settle"), std::string::npos) << alone.err;
}

}  // namespace
}  // namespace zvk
