// SPDX-License-Identifier: MIT
// The plan command of zvk40310ctl, run as a separate process the way lab scripts use it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CtlRunner.h"
#include "TempDir.h"
#include "storage/FileText.h"

namespace {

using zvk::test::CtlResult;
using zvk::test::runCtl;

TEST(CliPlan, JsonCarriesThePlanTheTextsAndTheRedKeys) {
    struct Case {
        const char* options;
        int Ntot, N, A;
        const char *fRF, *fLO1, *fIF1, *fIFF;
        std::vector<std::string> red;
        std::vector<std::string> registers;  // R2, R3, R4, R5
    };
    const Case cases[] = {
        {"--rf 868.3 --r 125 --lo1 low --lo2 low",
         8663,
         270,
         23,
         "868.300",
         "693.040",
         "175.260",
         "2.000",
         {},
         {"0x1D7", "0x102", "0x07D", "0x2AC"}},
        {"--rf 384",
         3860,
         120,
         20,
         "384.000",
         "514.667",
         "130.667",
         "2.000",
         {},
         {"0xF14", "0x100", "0x04B", "0x2AC"}},
        // The edit keeps three decimals: 433.9204 plans as 433.920, the 433.9 channel.
        {"--rf 433.9204 --lo2 high",
         4319,
         134,
         31,
         "433.900",
         "575.867",
         "141.967",
         "2.000",
         {},
         {"0x0DF", "0x101", "0x04B", "0x2AC"}},
        {"--rf 369.5 --lo2 high",
         3675,
         114,
         27,
         "369.500",
         "490.000",
         "120.500",
         "2.000",
         {},
         {"0xE5B", "0x100", "0x04B", "0x2AC"}},
        {"--rf 384 --lo2div 8",
         3309,
         103,
         13,
         "384.050",
         "441.200",
         "57.150",
         "2.000",
         {},
         {"0xCED", "0x110", "0x04B", "0x2AC"}},
        {"--rf 950 --riff 621",
         9522,
         297,
         18,
         "949.997",
         "1269.600",
         "319.603",
         "2.203",
         {"fRF", "fIF2", "fLO1", "fLO2", "fIFF"},
         {"0x532", "0x102", "0x04B", "0x26D"}},
        {"--rf 40 --lo2 high",
         380,
         11,
         28,
         "40.000",
         "50.667",
         "10.667",
         "2.000",
         {"fRF", "fLO1", "fLO2", "Ntot"},
         {"0x17C", "0x100", "0x04B", "0x2AC"}},
        {"--rf 384 --xtal 20 --r 150 --riff 1368",
         3860,
         120,
         20,
         "384.000",
         "514.667",
         "130.667",
         "2.000",
         {},
         {"0xF14", "0x100", "0x096", "0x558"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const CtlResult r = runCtl("plan " + std::string(c.options) + " --json");
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const auto j = r.json();
        EXPECT_EQ(j["Ntot"], c.Ntot);
        EXPECT_EQ(j["N"], c.N);
        EXPECT_EQ(j["A"], c.A);
        EXPECT_EQ(j["fRF"], c.fRF);
        EXPECT_EQ(j["fLO1"], c.fLO1);
        EXPECT_EQ(j["fIF1"], c.fIF1);
        EXPECT_EQ(j["fIFF"], c.fIFF);
        for (const char* key : {"fCH", "fIF2", "fLO2", "fPFD"})
            EXPECT_TRUE(j[key].is_string()) << key;
        EXPECT_EQ(j["red"].get<std::vector<std::string>>(), c.red);
        const auto regs = j["registers"].get<std::vector<std::string>>();
        ASSERT_EQ(regs.size(), 8u);
        EXPECT_EQ(std::vector<std::string>(regs.begin() + 2, regs.begin() + 6), c.registers);
    }
}

TEST(CliPlan, SidesGoIntoSsbselAndTheDefaultImageStaysElsewhere) {
    const CtlResult low = runCtl("plan --rf 384 --json");
    const CtlResult high = runCtl("plan --rf 384 --lo2 high --json");
    ASSERT_EQ(low.code, 0);
    ASSERT_EQ(high.code, 0);
    const auto l = low.json()["registers"];
    const auto h = high.json()["registers"];
    EXPECT_EQ(l[0], "0x08C");  // LO2 low is the default: SSBSEL 0
    EXPECT_EQ(h[0], "0x28C");
    for (int i : {1, 6, 7}) EXPECT_EQ(l[i], h[i]);
}

TEST(CliPlan, TextOutputShowsTheWindowsTextsAndMarksRed) {
    const CtlResult r = runCtl("plan --rf 40 --lo2 high");
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* line :
         {"Ntot    380  red\n", "N       11\n", "A       28\n",
          "R2      0x17C  N bits 6..0 = 11, A = 28\n",
          "R3      0x100  N bits 10..7 = 0, LO2DIV = 0\n", "f RF    40.000  red\n",
          "f CH    0.100\n", "f LO1   50.667  red\n", "f IFF   2.000\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "in\n" << r.out;
}

TEST(CliPlan, BadInputExitsOneNamingTheOptionAndPrintsNothing) {
    struct Case {
        std::vector<std::string> args;
        const char* names;
    };
    const Case cases[] = {
        {{"--rf", "abc"}, "--rf"},
        {{"--rf", "433,92"}, "--rf"},
        {{"--rf", "384", "--r", "0"}, "--r"},
        {{"--rf", "384", "--r", "2048"}, "--r"},
        {{"--rf", "384", "--r", "7x"}, "--r"},
        {{"--rf", "384", "--riff", "3"}, "--riff"},
        {{"--rf", "384", "--lo2div", "5"}, "--lo2div"},
        {{"--rf", "384", "--lo1", "sideways"}, "--lo1"},
        {{"--rf", "384", "--lo2", "up"}, "--lo2"},
        {{"--rf", "384", "--xtal", "0.5"}, "--xtal"},
        {{"--rf", "384", "--xtal", "ten"}, "--xtal"},
        {{"--rf", "1e40"}, "--rf"},
        // Frequencies the plan refuses: LO1 would lie at or below zero.
        {{"--rf", "1", "--lo2", "high"}, "f RF = 1.000 MHz"},
        {{"--rf=-5"}, "f RF = -5.000 MHz"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"plan"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("--json");
        const CtlResult r = runCtl(args);
        SCOPED_TRACE(c.names);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.names), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

TEST(CliPlan, MissingRfIsBadInput) {
    const CtlResult r = runCtl("plan --json");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("--rf"), std::string::npos) << r.err;
}

// The command line itself: the version, a mistyped command, and help that shows every
// choice and default.
TEST(CliCommandLine, VersionTyposAndHelp) {
    const CtlResult version = runCtl(std::vector<std::string>{"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out.rfind("zvk40310ctl ", 0), 0u) << version.out;
    // Without a command: the usage, which names every command, and exit status 1.
    const CtlResult none = runCtl(std::vector<std::string>{});
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.out, "");
    for (const char* command : {"write", "status", "sweep", "plan", "show", "new", "diff"})
        EXPECT_NE(none.err.find(command), std::string::npos) << command << "\n" << none.err;

    const struct {
        const char* word;
        const char* says;
    } typos[] = {
        {"writ", "unknown command \"writ\"; did you mean \"write\"?"},
        {"stauts", "did you mean \"status\"?"},
        {"frobnicate", "unknown command \"frobnicate\""},
    };
    for (const auto& t : typos) {
        const CtlResult r = runCtl(std::vector<std::string>{t.word});
        EXPECT_EQ(r.code, 1) << t.word;
        EXPECT_NE(r.err.find(t.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(runCtl(std::vector<std::string>{"frobnicate"}).err.find("did you mean"),
              std::string::npos);

    const CtlResult help = runCtl(std::vector<std::string>{"status", "--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* shown :
         {"KIND[:KNOB,...]=hardware", "virtual-usb:", "unplug-after=N", "{0,1}=1"})
        EXPECT_NE(help.out.find(shown), std::string::npos) << shown << "\n" << help.out;
    const CtlResult badChoice = runCtl("plan --rf 433 --lo2div 5");
    EXPECT_EQ(badChoice.code, 1);
    EXPECT_NE(badChoice.err.find("--lo2div"), std::string::npos) << badChoice.err;
}

TEST(CliPlan, SpursAddThePictureOfThePlan) {
    const CtlResult plain = runCtl("plan --rf 384 --json");
    ASSERT_EQ(plain.code, 0) << plain.err;
    EXPECT_FALSE(plain.json().contains("picture"));
    const CtlResult r = runCtl("plan --rf 384 --spurs --json");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto p = r.json()["picture"];
    EXPECT_NEAR(p["image1"].get<double>(), 645.333, 5e-4);
    EXPECT_NEAR(p["image2"].get<double>(), 388.000, 5e-4);
    EXPECT_NEAR(p["image2_mirror"].get<double>(), 641.333, 5e-4);
    EXPECT_EQ(p["s1"], 1);
    EXPECT_EQ(p["s2"], -1);
    bool half = false;
    for (const auto& s : p["spurs"]) {
        EXPECT_EQ(s["order"], s["m"].get<int>() + s["n"].get<int>());
        if (s["m"] == 2 && s["n"] == 2) half = std::fabs(s["f"].get<double>() - 449.333) < 5e-4;
    }
    EXPECT_TRUE(half) << p["spurs"].dump();
    EXPECT_EQ(p["reference"][0],
              (nlohmann::json{{"kind", "xtal"}, {"k", 13}, {"f", 130.0}, {"near", "fIF1"}}));
    // Everything else stays as the plan without pictures gives it.
    auto withoutPicture = r.json();
    withoutPicture.erase("picture");
    EXPECT_EQ(withoutPicture, plain.json());
}

class CliPlanSvg : public zvk::test::TempDir {
  protected:
    CliPlanSvg() : TempDir("zvk-ctl-svg") {}
};

TEST_F(CliPlanSvg, WritesThePictureBesideAnUnchangedOutput) {
    const std::string svg = (dir / "plan.svg").string();
    const CtlResult plain = runCtl("plan --rf 868.3 --r 125 --lo1 low --lo2 low");
    const CtlResult r = runCtl("plan --rf 868.3 --r 125 --lo1 low --lo2 low --svg " + svg);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, plain.out);
    const auto text = zvk::readFileText(svg);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->rfind("<?xml", 0), 0u);
    EXPECT_NE(text->find("Frequency plan: RF 868.300 MHz, LO1 low side, LO2 low side"),
              std::string::npos);
    EXPECT_NE(text->find("image1 517.780"), std::string::npos);

    // A file that cannot be made: one line naming the option and the file, nothing half
    // written.
    const std::string nowhere = (dir / "missing" / "plan.svg").string();
    const CtlResult bad = runCtl("plan --rf 384 --svg " + nowhere);
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("--svg: \"" + nowhere + "\": "), std::string::npos) << bad.err;
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1);
}

TEST_F(CliPlanSvg, TheReadmePictureIsTheDefaultPlanAsDrawnNow) {
    const std::string svg = (dir / "plan.svg").string();
    ASSERT_EQ(runCtl("plan --rf 384 --svg " + svg).code, 0);
    const auto drawn = zvk::readFileText(svg);
    const auto shown = zvk::readFileText(ZVK_SOURCE_DIR "/docs/plan.svg");
    ASSERT_TRUE(drawn.has_value());
    ASSERT_TRUE(shown.has_value());
    EXPECT_TRUE(*drawn == *shown)
        << "docs/plan.svg is out of date: zvk40310ctl plan --rf 384 --svg docs/plan.svg";
}

}  // namespace
