// SPDX-License-Identifier: MIT
// The crystal correction from the shell: --ppm and --plan-corrected on the commands that
// plan, the settings file's figure, and calibrate.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CtlRunner.h"
#include "TempDir.h"
#include "storage/FileText.h"

namespace {

using zvk::test::CtlResult;
using zvk::test::lines;
using zvk::test::runCtl;

class CtlCorrection : public zvk::test::TempDir {
  protected:
    CtlCorrection() : TempDir("zvk-ctl-correction") {}
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TempDir::SetUp());
        settings = file("zvk40310.INI");
    }
    void put(const std::string& text) { std::ofstream(settings, std::ios::binary) << text; }
    std::string contents() const { return zvk::readFileText(settings).value_or("<none>"); }
    nlohmann::json planJson(std::vector<std::string> args) {
        args.insert(args.begin(), "plan");
        args.insert(args.end(), {"--settings", settings, "--json"});
        const CtlResult r = runCtl(args);
        EXPECT_EQ(r.code, 0) << r.err;
        return r.code == 0 ? r.json() : nlohmann::json::object();
    }
    std::string settings;
};

// 433.92 MHz on the default plan: Ntot 4359, LO1 581.2, LO2 145.3, IF1 147.3, IF2 2.0,
// tuned RF 433.9, each times 1 + ppm / 1e6 on the real crystal.
TEST_F(CtlCorrection, PlanShowsTheCorrectedFrequenciesBesideTheNominalOnes) {
    struct Case {
        const char* ppm;
        double fXTAL, fRF, fLO1, fLO2, fIF1, fIF2, fPFD, fIFF, offsetHz;
    };
    const Case cases[] = {
        {"20", 10.0002, 433.908678, 581.211624, 145.302906, 147.302946, 2.00004, 0.133336, 2.00004,
         8678},
        {"-50", 9.9995, 433.878305, 581.17094, 145.292735, 147.292635, 1.9999, 0.13332667, 1.9999,
         -21695},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ppm);
        const nlohmann::json j = planJson({"--rf", "433.92", "--ppm", c.ppm});
        // The planner's choice and the nominal texts are those without a correction.
        EXPECT_EQ(j["Ntot"], 4359);
        EXPECT_EQ(j["fRF"], "433.900");
        EXPECT_EQ(j["fLO1"], "581.200");
        const nlohmann::json& k = j["corrected"];
        EXPECT_EQ(k["ppm"].get<double>(), std::stod(c.ppm));
        EXPECT_EQ(k["source"], "option");
        EXPECT_EQ(k["planned_on"], "nominal");
        constexpr double kHz = 1e-6;
        EXPECT_NEAR(k["fXTAL"].get<double>(), c.fXTAL, kHz);
        EXPECT_NEAR(k["fRF"].get<double>(), c.fRF, kHz);
        EXPECT_NEAR(k["fLO1"].get<double>(), c.fLO1, kHz);
        EXPECT_NEAR(k["fLO2"].get<double>(), c.fLO2, kHz);
        EXPECT_NEAR(k["fIF1"].get<double>(), c.fIF1, kHz);
        EXPECT_NEAR(k["fIF2"].get<double>(), c.fIF2, kHz);
        EXPECT_NEAR(k["fPFD"].get<double>(), c.fPFD, kHz);
        EXPECT_NEAR(k["fIFF"].get<double>(), c.fIFF, kHz);
        EXPECT_NEAR(k["rf_offset_hz"].get<double>(), c.offsetHz, 0.01);
    }
    const CtlResult text =
        runCtl({"plan", "--rf", "433.92", "--ppm", "20", "--settings", settings});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_NE(text.out.find("correction +20 ppm from --ppm; N and A planned on the nominal "
                            "crystal\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("f RF    433.900     433.908678\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("f LO1   581.200     581.211624\n"), std::string::npos) << text.out;
}

// Without --ppm the settings file's figure applies; --ppm overrides it, also with 0.
TEST_F(CtlCorrection, TheStoredCorrectionAppliesUnlessPpmIsGiven) {
    struct Case {
        const char* settingsText;  // none: no settings file
        std::vector<std::string> options;
        double ppm;
        const char* source;
    };
    const Case cases[] = {
        {nullptr, {}, 0, "none"},
        {"[zvk40310]\nCrystalPpm=-12.5\n", {}, -12.5, "settings"},
        {"[zvk40310]\nCrystalPpm=-12.5\n", {"--ppm", "3"}, 3, "option"},
        {"[zvk40310]\nCrystalPpm=-12.5\n", {"--ppm", "0"}, 0, "option"},
        {"[zvk40310]\nCrystalPpm=5000\n", {}, 0, "none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settingsText ? c.settingsText : "no file");
        std::remove(settings.c_str());
        if (c.settingsText) put(c.settingsText);
        std::vector<std::string> args{"--rf", "384"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const nlohmann::json j = planJson(args);
        EXPECT_EQ(j["corrected"]["ppm"].get<double>(), c.ppm);
        EXPECT_EQ(j["corrected"]["source"], c.source);
        EXPECT_NEAR(j["corrected"]["fLO1"].get<double>(), 3860 / 7.5 * (1 + c.ppm * 1e-6), 1e-6);
    }
    // The file for show comes from --settings as well.
    put("[zvk40310]\nCrystalPpm=-12.5\n");
    const std::string cfg = file("a.cfg");
    ASSERT_EQ(runCtl({"new", cfg, "--defaults", "fRF=433.92"}).code, 0);
    const CtlResult show = runCtl({"show", cfg, "--settings", settings, "--json"});
    ASSERT_EQ(show.code, 0) << show.err;
    EXPECT_EQ(show.json()["corrected"]["source"], "settings");
    EXPECT_NEAR(show.json()["corrected"]["fRF"].get<double>(), 433.9 * (1 - 12.5e-6), 1e-6);
}

// 433.96 MHz lies past the middle of channels 433.9 and 434.0: the nominal plan takes
// 434.0 (Ntot 4360); on a crystal 100 ppm fast they are 433.943390 and 434.043400, so
// planning on the corrected crystal takes Ntot 4359.
TEST_F(CtlCorrection, PlanCorrectedPlansOnTheCorrectedCrystalAndSaysSo) {
    const nlohmann::json nominal = planJson({"--rf", "433.96", "--ppm", "100"});
    EXPECT_EQ(nominal["Ntot"], 4360);
    EXPECT_EQ(nominal["corrected"]["planned_on"], "nominal");
    EXPECT_NEAR(nominal["corrected"]["fRF"].get<double>(), 434.0434, 1e-6);

    const nlohmann::json real = planJson({"--rf", "433.96", "--ppm", "100", "--plan-corrected"});
    EXPECT_EQ(real["Ntot"], 4359);
    EXPECT_EQ(real["N"], 136);
    EXPECT_EQ(real["A"], 7);
    EXPECT_EQ(real["fRF"], "433.900") << "the nominal plan's tuned RF";
    EXPECT_EQ(real["corrected"]["planned_on"], "corrected");
    EXPECT_NEAR(real["corrected"]["fRF"].get<double>(), 433.94339, 1e-6);
}

// calibrate: a measured LO1 made from a correction gives that correction back, and the
// settings file gets it without losing a byte of anything else.
TEST_F(CtlCorrection, CalibrateRoundTripStoresTheCorrectionAlone) {
    const std::string before =
        "; bench 3\r\n[Port]\r\nAdr=0x0278\r\n[zvk40310]\r\n"
        "ResendOnReturn=1\r\n[Mine]\r\nx = 1 \r\n";
    const double nominalLo1 = 3860 / 7.5;  // the default plan: Ntot 3860 at 10 MHz / 75
    for (double ppm : {20.0, -50.0, 0.75, -999.0}) {
        SCOPED_TRACE(ppm);
        put(before);
        char measured[64];
        std::snprintf(measured, sizeof measured, "%.9f", nominalLo1 * (1 + ppm * 1e-6));
        const CtlResult r = runCtl({"calibrate", "--defaults", "--lo1-measured", measured,
                                    "--settings", settings, "--json"});
        ASSERT_EQ(r.code, 0) << r.err;
        const nlohmann::json j = r.json();
        EXPECT_NEAR(j["ppm"].get<double>(), ppm, 1e-5);
        EXPECT_TRUE(j["previous_ppm"].is_null());
        EXPECT_EQ(j["from"], "lo1_measured");
        EXPECT_EQ(j["stored"], true);
        EXPECT_NEAR(j["fLO1_nominal"].get<double>(), nominalLo1, 1e-9);
        // Only the one line is new: after the section's last key.
        const std::string after = contents();
        const std::string line = "CrystalPpm=";
        const size_t at = after.find(line);
        ASSERT_NE(at, std::string::npos) << after;
        const size_t end = after.find("\r\n", at);
        EXPECT_EQ(after.substr(0, at) + after.substr(end + 2), before) << after;
        EXPECT_EQ(at, before.find("[Mine]"));
        // The commands that plan take it from there.
        const nlohmann::json plan = planJson({"--rf", "384"});
        EXPECT_NEAR(plan["corrected"]["ppm"].get<double>(), ppm, 1e-5);
        EXPECT_EQ(plan["corrected"]["source"], "settings");
    }

    // A known signal's offset, from a configuration file's plan: 433.9 MHz nominal tuned.
    const std::string cfg = file("rx.cfg");
    ASSERT_EQ(runCtl({"new", cfg, "--defaults", "fRF=433.92"}).code, 0);
    const CtlResult r =
        runCtl({"calibrate", cfg, "--rf-offset", "-21695", "--settings", settings, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NEAR(r.json()["ppm"].get<double>(), -50, 1e-6);
    EXPECT_NEAR(r.json()["fRF_nominal"].get<double>(), 433.9, 1e-6);
    EXPECT_NEAR(r.json()["previous_ppm"].get<double>(), -999, 1e-5);

    // --dry-run shows it and stores nothing.
    const std::string stored = contents();
    const CtlResult dry =
        runCtl({"calibrate", cfg, "--rf-offset", "100", "--settings", settings, "--dry-run"});
    ASSERT_EQ(dry.code, 0) << dry.err;
    EXPECT_NE(dry.out.find("not stored"), std::string::npos) << dry.out;
    EXPECT_EQ(contents(), stored);
}

TEST_F(CtlCorrection, BadFiguresAreRefusedAndNothingIsStored) {
    put("[zvk40310]\nCrystalPpm=4\n");
    const std::string kept = contents();
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{"plan", "--rf", "433.92", "--ppm", "abc"}, "--ppm: \"abc\" is not a number"},
        {{"plan", "--rf", "433.92", "--ppm", "1500"}, "--ppm: a crystal correction of 1500.000"},
        {{"show", "nothing.cfg", "--ppm", "nan"}, "--ppm"},
        {{"sweep", "--defaults", "--from", "400", "--to", "401", "--step", "1", "--board",
          "virtual", "--ppm", "-2000"},
         "--ppm: a crystal correction of -2000.000"},
        {{"calibrate", "--defaults"}, "give either --lo1-measured or --rf-offset"},
        {{"calibrate", "--defaults", "--lo1-measured", "514", "--rf-offset", "3"},
         "give either --lo1-measured or --rf-offset"},
        {{"calibrate", "--lo1-measured", "514"}, "give either a FILE.cfg or --defaults"},
        {{"calibrate", "--defaults", "--lo1-measured", "600"}, "--lo1-measured: a crystal "},
        {{"calibrate", "--defaults", "--lo1-measured", "-1"}, "no frequency above 0 MHz"},
        {{"calibrate", "--defaults", "--rf-offset", "1e6"}, "--rf-offset: a crystal correction"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--settings", settings});
        const CtlResult r = runCtl(args);
        EXPECT_EQ(r.code, 1) << args[0] << " " << args.back();
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(contents(), kept);
    }
}

// A sweep adds the corrected frequencies of each point while a correction is in use, and
// leaves its columns as they were without one.
TEST_F(CtlCorrection, SweepAddsTheCorrectedColumnsOnlyWithACorrection) {
    const std::vector<std::string> sweep{"sweep",   "--defaults", "--list", "",           "--board",
                                         "virtual", "--dwell",    "0",      "--settings", settings};
    const std::string list = file("f.txt");
    std::ofstream(list) << "433.92\n433.96\n";
    auto run = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = sweep;
        args[3] = list;
        args.insert(args.end(), extra.begin(), extra.end());
        return runCtl(args);
    };
    const CtlResult plain = run({});
    ASSERT_EQ(plain.code, 0) << plain.err;
    EXPECT_EQ(lines(plain.out)[0].find("corrected"), std::string::npos);

    const CtlResult csv = run({"--ppm", "100", "--plan-corrected"});
    ASSERT_EQ(csv.code, 0) << csv.err;
    const auto out = lines(csv.out);
    ASSERT_EQ(out.size(), 3u) << csv.out;
    EXPECT_EQ(out[0], lines(plain.out)[0] +
                          ",ppm,planned_on,fRF_corrected,fLO1_corrected,fLO2_corrected,"
                          "fIF1_corrected,fIF2_corrected,fPFD_corrected,fIFF_corrected");
    // Both points land on Ntot 4359 on the corrected crystal: 433.943390 MHz for real.
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_NE(out[i].find(",4359,136,7,433.900,"), std::string::npos) << out[i];
        EXPECT_NE(out[i].find(",+100,corrected,433.943390,"), std::string::npos) << out[i];
    }

    put("[zvk40310]\nCrystalPpm=20\n");
    const CtlResult json = run({"--json"});
    ASSERT_EQ(json.code, 0) << json.err;
    for (const std::string& line : lines(json.out)) {
        const nlohmann::json j = nlohmann::json::parse(line);
        EXPECT_EQ(j["corrected"]["source"], "settings") << line;
        EXPECT_EQ(j["corrected"]["planned_on"], "nominal") << line;
        EXPECT_NEAR(j["corrected"]["fRF"].get<double>(), (j["Ntot"].get<int>() * 0.1 - 2) * 1.00002,
                    1e-6)
            << line;
    }
}

}  // namespace
