// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "TempDir.h"
#include "base/Numbers.h"
#include "session/Session.h"
#include "storage/ConfigFile.h"
#include "storage/FileText.h"

namespace zvk {
namespace {

const std::string kTitle = "ZVK40310 Evaluation Program v3.3";

Config sample() {
    Config c;
    c.regs = {0x08C, 0x8F4, 0xA5C, 0x100, 0x04B, 0x2AC, 0xE4B, 0x005};
    c.spisel = true;
    c.frf = 433.92;
    c.pllmux = 3;
    c.fxtal = 10.0;
    c.injlo1 = 1;
    return c;
}

void expectSame(const Config& a, const Config& b, const std::string& where) {
    EXPECT_EQ(a.regs, b.regs) << where;
    EXPECT_EQ(a.spisel, b.spisel) << where;
    EXPECT_EQ(a.frf, b.frf) << where;
    EXPECT_EQ(a.pllmux, b.pllmux) << where;
    EXPECT_EQ(a.fxtal, b.fxtal) << where;
    EXPECT_EQ(a.injlo1, b.injlo1) << where;
}

class ConfigDir : public test::TempDir {
  protected:
    ConfigDir() : TempDir("zvk-config") {}
};

TEST(ConfigText, EighteenLinesInTheirOrder) {
    const std::string expected =
        "ZVK40310 Evaluation Program v3.3\r\n"
        "10.12.2025\r\n"
        "14:03:59\r\n"
        "*START\r\n"
        "CntrlReg0\t08C\r\n"
        "CntrlReg1\t8F4\r\n"
        "CntrlReg2\tA5C\r\n"
        "CntrlReg3\t100\r\n"
        "CntrlReg4\t04B\r\n"
        "CntrlReg5\t2AC\r\n"
        "CntrlReg6\tE4B\r\n"
        "CntrlReg7\t005\r\n"
        "SPISEL\t1\r\n"
        "fRF\t433.920\r\n"
        "PLLMUX\t3\r\n"
        "fXtal\t10.000\r\n"
        "INJLO1\t1\r\n"
        "*END\r\n";
    EXPECT_EQ(configText(sample(), kTitle, "10.12.2025", "14:03:59"), expected);
}

TEST(ConfigText, ValueForms) {
    Config c = sample();
    c.regs[0] = 0xFFFF;
    c.regs[1] = 0;
    c.spisel = false;
    c.pllmux = -1;
    c.injlo1 = 0;
    c.frf = 868.3;
    c.fxtal = 12.8;
    const std::string text = configText(c, kTitle, "", "");
    for (const char* line :
         {"CntrlReg0\tFFFF\r\n", "CntrlReg1\t000\r\n", "SPISEL\t0\r\n", "PLLMUX\t-1\r\n",
          "INJLO1\t0\r\n", "fRF\t868.300\r\n", "fXtal\t12.800\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(ConfigDir, SavedFileLoadsBackTheSameValues) {
    std::vector<Config> configs = {sample()};
    Config abc = sample();
    abc.spisel = false;
    abc.pllmux = 7;
    abc.injlo1 = 0;
    abc.frf = 395.9;
    abc.fxtal = 12.8;
    abc.regs = {0xFFF, 0, 0x800, 0x0F0, 0x7FF, 0xAAA, 0x555, 0xFFFF};
    configs.push_back(abc);
    Config odd = sample();
    odd.pllmux = -32768;
    odd.injlo1 = -1;
    odd.frf = 1.5;
    configs.push_back(odd);

    const std::string path = file("setup.cfg");
    for (const Config& c : configs) {
        ASSERT_EQ(saveConfig(path, c, kTitle), std::nullopt);
        Config loaded;
        loaded.regs.fill(0x123);
        loaded.spisel = !c.spisel;
        loaded.frf = loaded.fxtal = -1;
        loaded.pllmux = loaded.injlo1 = 99;
        ASSERT_EQ(loadConfig(path, loaded), std::nullopt);
        expectSame(loaded, c, std::to_string(c.frf));
    }
    EXPECT_EQ(entries(), std::vector<std::string>{"setup.cfg"});
}

// Each case: the file's text, and what must hold after loading it into sample().
struct LoadCase {
    std::string text;
    std::function<bool(const Config&)> holds;
};

TEST(LoadConfig, KeysInAnyCaseAndPosition) {
    auto r3 = [](uint16_t v) { return [v](const Config& c) { return c.regs[3] == v; }; };
    auto frf = [](double v) { return [v](const Config& c) { return c.frf == v; }; };
    auto spisel = [](bool v) { return [v](const Config& c) { return c.spisel == v; }; };
    const LoadCase cases[] = {
        {"cntrlreg3\ta5c", r3(0xA5C)},
        {"CNTRLREG3\tA5C", r3(0xA5C)},
        {"  CntrlReg3\ta5c", r3(0xA5C)},
        {"#CntrlReg3 old\ta5c\r\n", r3(0xA5C)},
        {"CntrlReg3\t00000a5c", r3(0xA5C)},
        {"CntrlReg3\t1fffe", r3(0xFFFE)},               // stored as a 16-bit word
        {"CntrlReg3\t111\nCntrlReg3\t222", r3(0x222)},  // the later line wins
        {"SPISEL\t0", spisel(false)},
        {"spisel\t1", spisel(true)},
        {"Spisel 1", spisel(true)},
        {"SPISEL\tyes", spisel(false)},
        {"SPISEL\t0  was 1", spisel(true)},  // a "1" anywhere in the line
        {"spisel1\t0", spisel(true)},
        {"fRF\t868.300", frf(868.3)},
        {"FRF\t1E3", frf(1000.0)},
        {"fRF\t1.234568E+07", frf(12345680.0)},
        // the value is cut after 99 characters
        {"fRF\t" + std::string(99, '1') + "x", frf(parseDouble(std::string(99, '1')).value())},
        {"fXtal\t12.800", [](const Config& c) { return c.fxtal == 12.8; }},
        {"frf fxtal\t7.5", [](const Config& c) { return c.frf == 7.5 && c.fxtal == 7.5; }},
        {"PLLMUX\t5", [](const Config& c) { return c.pllmux == 5; }},
        {"pllmux\t65541", [](const Config& c) { return c.pllmux == 5; }},
        {"PllMux\t-1", [](const Config& c) { return c.pllmux == -1; }},
        {"INJLO1\t0", [](const Config& c) { return c.injlo1 == 0; }},
        {"injl\t-1", [](const Config& c) { return c.injlo1 == -1; }},
        // lines without a key change nothing
        {"ZVK40310 Evaluation Program v3.3\r\n10.12.2025\r\n*START\r\n\r\n; note\r\n*END",
         [](const Config& c) { return c.regs == sample().regs && c.frf == sample().frf; }},
    };
    for (const LoadCase& k : cases) {
        Config c = sample();
        const auto error = loadConfigText(k.text, c);
        EXPECT_EQ(error, std::nullopt) << k.text;
        EXPECT_TRUE(k.holds(c)) << k.text;
    }
}

TEST(LoadConfig, AFileWithOnlyAnFrfLineChangesFrfAlone) {
    Config c = sample();
    ASSERT_EQ(loadConfigText("fRF\t868.300\r\n", c), std::nullopt);
    Config expected = sample();
    expected.frf = 868.3;
    expectSame(c, expected, "fRF only");
}

TEST(LoadConfig, EveryLineEndingIsALineEnd) {
    for (const char* eol : {"\r\n", "\n", "\r"}) {
        Config c = sample();
        const std::string text =
            std::string("CntrlReg0\t111") + eol + "CntrlReg1\t222" + eol + "fRF\t500" + eol;
        ASSERT_EQ(loadConfigText(text, c), std::nullopt);
        EXPECT_EQ(c.regs[0], 0x111);
        EXPECT_EQ(c.regs[1], 0x222);
        EXPECT_EQ(c.frf, 500.0);
    }
}

TEST(LoadConfig, ABadLineStopsTheLoadAndKeepsEarlierValues) {
    struct Case {
        std::string bad;
        std::string mentions;
    };
    const Case cases[] = {
        {"CntrlReg8\t123", "\"8\" is not 0..7"},
        {"cntrlreg9\t123", "\"9\" is not 0..7"},
        {"CntrlRegX\t123", "\"x\" is not 0..7"},
        {"CntrlReg", "no register index"},
        {"CntrlReg2\t0xA5C", "\"0xa5c\""},
        {"CntrlReg2\t a5c", "\" a5c\""},
        {"CntrlReg2\ta5c ", "\"a5c \""},
        {"CntrlReg2\t", "\"\""},
        {"CntrlReg2\t-5", "\"-5\""},
        {"CntrlReg2\t123456789", "\"123456789\""},
        {"CntrlReg2 a5c", "\"cntrlreg2 a5c\""},  // no TAB: the whole line is the value
        {"fRF\t433,92", "\"433,92\""},
        {"fRF\t", "\"\""},
        {"fRF\t 433", "\" 433\""},
        {"fRF\tinf", "\"inf\""},
        {"fXtal\t10 MHz", "\"10 mhz\""},
        {"PLLMUX\t1.5", "\"1.5\""},
        {"INJLO1\tx", "\"x\""},
        {"injlo1\t99999999999", "\"99999999999\""},
    };
    for (const Case& k : cases) {
        Config c = sample();
        const std::string text = "CntrlReg0\t123\r\nfRF\t500\r\n" + k.bad + "\r\nfXtal\t20\r\n";
        const auto error = loadConfigText(text, c);
        ASSERT_TRUE(error.has_value()) << k.bad;
        EXPECT_NE(error->find("line 3"), std::string::npos) << *error;
        EXPECT_NE(error->find(k.mentions), std::string::npos) << *error;
        // Lines before the bad one took effect; the bad line and those after did not.
        EXPECT_EQ(c.regs[0], 0x123) << k.bad;
        EXPECT_EQ(c.frf, 500.0) << k.bad;
        EXPECT_EQ(c.regs[2], sample().regs[2]) << k.bad;
        EXPECT_EQ(c.fxtal, sample().fxtal) << k.bad;
    }
}

TEST(ConfigNames, SaveNameAndCaptions) {
    const std::pair<const char*, const char*> saveNames[] = {
        {"", ".cfg"},
        {"setup.txt", "setup.cfg"},
        {"setup", "setup.cfg"},
        {"setup.cfg", "setup.cfg"},
        {"/home/lab/v1.2/setup", "/home/lab/v1.2/setup.cfg"},
        {"/home/lab/archive.tar.gz", "/home/lab/archive.tar.cfg"},
        {".cfg", ".cfg"},
    };
    for (const auto& [chosen, written] : saveNames)
        EXPECT_EQ(configSaveName(chosen), written) << chosen;

    EXPECT_EQ(saveCaption(kTitle, "/home/lab/setup.cfg"), kTitle + " setup.cfg");
    EXPECT_EQ(loadCaption(kTitle, "/home/lab/demo.b"), kTitle + " demo.cfg");
    EXPECT_EQ(loadCaption(kTitle, "/home/lab.d/demo"), kTitle + " demo.cfg");
}

// The loader's keys, in any letter case and anywhere in a line, make a configuration file;
// a file holding none of them is refused before anything is taken from it.
TEST(ConfigKeys, AFileWithoutAnyKeyIsNoConfiguration) {
    const struct {
        const char* text;
        bool holds;
    } cases[] = {
        {"", false},
        {"\r\n\r\n", false},
        {"root:x:0:0:root:/root:/bin/bash\ndaemon:x:1:1::/usr/sbin:/usr/sbin/nologin\n", false},
        {"*START\r\n*END\r\n", false},
        {"ZVK40310 Evaluation Program v3.3\r\n12/10/26\r\n", false},
        {"CntrlReg3\t100\r\n", true},
        {"  the spisel line\t0\n", true},
        {"FRF\t433.920", true},
        {"a note\nwith PLLMux\t2 inside", true},
        {"fXtal\t10.000\r", true},
        {"xInJlO1\t0", true},
    };
    for (const auto& c : cases) EXPECT_EQ(holdsConfigKeys(c.text), c.holds) << c.text;
}

TEST_F(ConfigDir, AFileWithoutAnyKeyIsRefusedNamingIt) {
    const std::string notes = file("notes.txt");
    std::ofstream(notes) << "Bench notes\nThe LO lies above the signal.\n";
    Config c = sample();
    const auto error = loadConfig(notes, c);
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("\"" + notes + "\""), std::string::npos) << *error;
    EXPECT_NE(error->find("not a configuration file"), std::string::npos) << *error;
    EXPECT_EQ(error->find('\n'), std::string::npos) << "one line";
    EXPECT_EQ(c.regs, sample().regs);
    EXPECT_EQ(c.frf, sample().frf);
    EXPECT_EQ(configFileRefusal(notes), error);
    // A file with a key, or one that cannot be read, is left to the load.
    const std::string good = file("good.cfg");
    std::ofstream(good) << "fRF\t868.300\r\n";
    EXPECT_EQ(configFileRefusal(good), std::nullopt);
    EXPECT_EQ(configFileRefusal(file("missing.cfg")), std::nullopt);
}

TEST_F(ConfigDir, FailuresNameTheFile) {
    Config c;
    const std::string missing = file("missing.cfg");
    auto error = loadConfig(missing, c);
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find(missing), std::string::npos) << *error;

    const std::string bad = file("bad.cfg");
    std::ofstream(bad) << "fRF\tabc\n";
    error = loadConfig(bad, c);
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find(bad), std::string::npos) << *error;
    EXPECT_NE(error->find("line 1"), std::string::npos) << *error;

    for (const std::string& target :
         {file("no/such/dir.cfg"), std::string("/proc/zvk40310-config-test.cfg")}) {
        const auto before = entries();
        error = saveConfig(target, sample(), kTitle);
        ASSERT_TRUE(error.has_value()) << target;
        EXPECT_NE(error->find(target), std::string::npos) << *error;
        EXPECT_EQ(entries(), before);
    }
}

// A disk that fills up half way through the save: the old file comes through unchanged.
TEST_F(ConfigDir, ASaveThatRunsOutOfSpaceKeepsTheOldFile) {
    const std::string path = file("setup.cfg");
    ASSERT_EQ(saveConfig(path, sample(), kTitle), std::nullopt);
    const std::string old = readFileText(path).value();

    Config other = sample();
    other.frf = 868.3;
    std::optional<std::string> error;
    ASSERT_NO_FATAL_FAILURE(
        test::withFileSizeLimit(100, [&] { error = saveConfig(path, other, kTitle); }));

    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find(path), std::string::npos) << *error;
    EXPECT_EQ(readFileText(path).value(), old);
    EXPECT_EQ(entries(), std::vector<std::string>{"setup.cfg"});
}

}  // namespace
}  // namespace zvk
