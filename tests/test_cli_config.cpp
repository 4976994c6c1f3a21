// SPDX-License-Identifier: MIT
// zvk40310ctl show, export and write FILE.cfg, run as a user runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "CtlRunner.h"
#include "TempDir.h"
#include "base/Numbers.h"
#include "chip/FieldMap.h"
#include "chip/Registers.h"
#include "session/Session.h"
#include "storage/ConfigFile.h"
#include "storage/FileText.h"

namespace zvk {
namespace {

using test::CtlResult;
using test::runCtl;

class CtlConfig : public test::TempDir {
  protected:
    CtlConfig() : TempDir("zvk-ctl") {}

    std::string save(const std::string& name, const Config& c) const {
        const std::string path = file(name);
        EXPECT_EQ(saveConfig(path, c, "ZVK40310 Evaluation Program v3.3"), std::nullopt);
        return path;
    }
    std::string put(const std::string& name, const std::string& text) const {
        const std::string path = file(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
};

Config defaultsAt(double frf) {
    Config c;
    c.regs = kDefaultImage;
    c.frf = frf;
    c.injlo1 = 1;
    return c;
}

std::vector<std::string> registerTexts(const RegisterImage& regs) {
    std::vector<std::string> out;
    for (uint16_t r : regs) out.push_back(registerText(r));
    return out;
}

TEST_F(CtlConfig, ShowListsTheFileAndPlansAsCalculateDoes) {
    Config c = defaultsAt(433.92);
    c.regs[7] = 0xA5C;
    c.pllmux = 3;
    const CtlResult show = runCtl({"show", save("demo.cfg", c), "--json"});
    ASSERT_EQ(show.code, 0) << show.err;
    const auto j = show.json();
    EXPECT_EQ(j["registers"], registerTexts(c.regs));
    for (const Field& f : kFieldMap)
        EXPECT_EQ(j["fields"][f.name], fieldValue(c.regs, f)) << f.name;
    EXPECT_EQ(j["mode"], "SPI");
    EXPECT_EQ(j["fRF_file"], "433.920");
    EXPECT_EQ(j["fXTAL"], "10.000");
    EXPECT_EQ(j["PLLMUX"], 3);
    EXPECT_EQ(j["INJLO1"], 1);

    // The default image holds the settings that plan's defaults stand for, so loading the
    // file must reach the same plan as "Calculate" for the same frequency.
    const CtlResult plan = runCtl({"plan", "--rf", "433.92", "--json"});
    ASSERT_EQ(plan.code, 0) << plan.err;
    const auto p = plan.json();
    for (const char* key :
         {"Ntot", "N", "A", "fRF", "fCH", "fIF1", "fIF2", "fLO1", "fLO2", "fPFD", "fIFF", "red"})
        EXPECT_EQ(j[key], p[key]) << key;
    RegisterImage planned = c.regs;
    planned[2] = uint16_t(std::stoul(p["registers"][2].get<std::string>(), nullptr, 16));
    planned[3] = uint16_t(std::stoul(p["registers"][3].get<std::string>(), nullptr, 16));
    EXPECT_EQ(j["planned_registers"], registerTexts(planned));
}

TEST_F(CtlConfig, AbcModeFilesPlanForTheirPreset) {
    struct Case {
        int preset;
        int ntot, n, a;
        const char* frf;
    };
    // Both injection sides high: INJLO1 = 1 and SSBSEL = 1 (R0 bit 9).
    const Case cases[] = {{0, 3675, 114, 27, "369.500"}, {7, 3939, 123, 3, "395.900"}};
    for (const Case& k : cases) {
        Config c = defaultsAt(433.92);
        c.regs[0] |= 0x200;
        c.spisel = false;
        c.pllmux = int16_t(k.preset);
        const CtlResult show = runCtl({"show", save("abc.cfg", c), "--json"});
        ASSERT_EQ(show.code, 0) << show.err;
        const auto j = show.json();
        EXPECT_EQ(j["mode"], "ABC");
        EXPECT_EQ(j["fRF_planned"], k.frf);
        EXPECT_EQ(j["Ntot"], k.ntot) << k.preset;
        EXPECT_EQ(j["N"], k.n) << k.preset;
        EXPECT_EQ(j["A"], k.a) << k.preset;
    }
}

TEST_F(CtlConfig, ExportFormats) {
    Config c = defaultsAt(384.0);
    c.regs[2] = 0xA5C;
    const std::string path = save("demo.cfg", c);

    const CtlResult json = runCtl({"export", path, "--format", "json"});
    ASSERT_EQ(json.code, 0) << json.err;
    const auto j = json.json();
    EXPECT_EQ(j["registers"], registerTexts(c.regs));
    for (const Field& f : kFieldMap)
        EXPECT_EQ(j["fields"][f.name], fieldValue(c.regs, f)) << f.name;
    EXPECT_EQ(j["fRF"], 384.0);
    EXPECT_EQ(j["SPISEL"], 1);
    EXPECT_EQ(j["INJLO1"], 1);

    const CtlResult header = runCtl({"export", path, "--format", "c"});
    ASSERT_EQ(header.code, 0) << header.err;
    std::vector<std::string> defines;
    std::istringstream in(header.out);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("#define ZVK40310_", 0) == 0 &&
            line.find("_REGISTERS_H") == std::string::npos &&
            line.find("_SHIFT ") == std::string::npos && line.find("_MASK ") == std::string::npos)
            defines.push_back(line.substr(8));
    std::vector<std::string> expected;
    for (size_t i = 0; i < 8; ++i)
        expected.push_back("ZVK40310_R" + std::to_string(i) + " " + registerText(c.regs[i]));
    for (const Field& f : kFieldMap)
        expected.push_back("ZVK40310_" + std::string(f.name) + " " +
                           std::to_string(fieldValue(c.regs, f)));
    EXPECT_EQ(defines, expected);
    EXPECT_NE(header.out.find("#define ZVK40310_R0 0x08C\n"), std::string::npos);
    EXPECT_NE(header.out.find("#define ZVK40310_OPMODE 0\n"), std::string::npos);
    for (const char* define :
         {"ZVK40310_OPMODE_SHIFT 0\n", "ZVK40310_OPMODE_MASK 0x003\n", "ZVK40310_N_LO_SHIFT 5\n",
          "ZVK40310_N_LO_MASK 0xFE0\n", "ZVK40310_N_HI_SHIFT 0\n", "ZVK40310_N_HI_MASK 0x00F\n"})
        EXPECT_NE(header.out.find(define), std::string::npos) << define;
    EXPECT_NE(header.out.find("zvk40310ctl 3."), std::string::npos) << header.out;

    const CtlResult csv = runCtl({"export", path, "--format", "csv"});
    ASSERT_EQ(csv.code, 0) << csv.err;
    EXPECT_EQ(csv.out.rfind("kind,name,register,low_bit,width,value\n", 0), 0u);
    EXPECT_NE(csv.out.find("register,R2,2,0,12,0xA5C\n"), std::string::npos) << csv.out;
    // N over two registers: bits 6..0 in R2 (0xA5C >> 5 = 82), bits 10..7 in R3.
    EXPECT_NE(csv.out.find("field,N[6:0],2,5,7,82\n"), std::string::npos) << csv.out;
    EXPECT_NE(csv.out.find("field,N[10:7],3,0,4,0\n"), std::string::npos) << csv.out;
    EXPECT_NE(csv.out.find("item,fRF,,,,384\n"), std::string::npos) << csv.out;
    EXPECT_NE(csv.out.find("field,A,2,0,5,28\n"), std::string::npos) << csv.out;
}

TEST_F(CtlConfig, HeaderCommentSurvivesAFileNameWithANewline) {
    const std::string path = save("odd\nname.cfg", defaultsAt(384.0));
    const CtlResult header = runCtl({"export", path, "--format", "c"});
    ASSERT_EQ(header.code, 0) << header.err;
    std::istringstream in(header.out);
    for (std::string line; std::getline(in, line);)
        EXPECT_TRUE(line.empty() || line.rfind("//", 0) == 0 || line[0] == '#') << line;
}

TEST_F(CtlConfig, FilesThatDoNotLoadAreBadInput) {
    const std::string bad = put("bad.cfg", "CntrlReg0\t123\r\nfRF\tabc\r\n");
    const std::string index = put("index.cfg", "CntrlReg8\t123\r\n");
    const std::string missing = (dir / "missing.cfg").string();
    struct Case {
        std::vector<std::string> args;
        std::string mentions;
    };
    const Case cases[] = {
        {{"show", bad}, "line 2"},
        {{"show", missing, "--json"}, missing},
        {{"export", bad, "--format", "json"}, "\"abc\""},
        {{"export", index, "--format", "c"}, "line 1"},
        {{"export", bad, "--format", "xml"}, "--format"},
        {{"write", bad, "--board", "virtual"}, "line 2"},
        {{"write", missing, "--board", "virtual", "--plan"}, missing},
        {{"write", "--defaults", "--plan", "--board", "virtual"}, "--plan"},
    };
    for (const Case& k : cases) {
        const CtlResult r = runCtl(k.args);
        EXPECT_EQ(r.code, 1) << k.args[0] << " " << k.args[1];
        EXPECT_EQ(r.out, "") << k.args[0];
        EXPECT_NE(r.err.find(k.mentions), std::string::npos) << r.err;
    }
}

// A file without any of the loader's keys is refused by every command that reads a
// configuration, before the board or the file is touched.
TEST_F(CtlConfig, AFileWithoutAnyKeyIsRefusedEverywhere) {
    const std::string prose = "root:x:0:0:root:/root:/bin/bash\nThe LO lies above.\n";
    const std::string notes = put("notes.txt", prose);
    const std::vector<std::vector<std::string>> commands = {
        {"show", notes},
        {"export", notes, "--format", "json"},
        {"write", notes, "--board", "virtual", "--json"},
        {"write", notes, "--board", "virtual", "--plan"},
        {"sweep", notes, "--from", "400", "--to", "401", "--step", "1", "--board", "virtual"},
        {"set", notes, "OPMODE=1"},
    };
    for (const auto& args : commands) {
        const CtlResult r = runCtl(args);
        EXPECT_EQ(r.code, 1) << args[0];
        EXPECT_EQ(r.out, "") << args[0] << ": nothing written";
        EXPECT_EQ(test::lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find("\"" + notes + "\" is not a configuration file"), std::string::npos)
            << r.err;
        EXPECT_EQ(readFileText(notes).value_or(""), prose) << args[0];
    }
}

// One file gives one starting image: write --plan and a sweep at the file's own frequency
// plan the same counters from a file that holds a few registers only.
TEST_F(CtlConfig, EveryCommandReadsAFileOverTheSameValues) {
    const std::string partial =
        put("partial.cfg", "CntrlReg3\t100\r\nCntrlReg1\t8F4\r\nfRF\t384\r\n");
    const CtlResult show = runCtl({"show", partial, "--json"});
    ASSERT_EQ(show.code, 0) << show.err;
    const CtlResult write = runCtl({"write", partial, "--plan", "--board", "virtual", "--json"});
    ASSERT_EQ(write.code, 0) << write.err;
    EXPECT_EQ(write.json()["registers"], show.json()["planned_registers"]);
    const CtlResult sweep = runCtl(
        {"sweep", partial, "--list", put("one.csv", "384\n"), "--board", "virtual", "--json"});
    ASSERT_EQ(sweep.code, 0) << sweep.err;
    const nlohmann::json point = nlohmann::json::parse(test::lines(sweep.out).at(0));
    EXPECT_EQ(point["N"], show.json()["N"]) << sweep.out;
    EXPECT_EQ(point["A"], show.json()["A"]) << sweep.out;
}

TEST_F(CtlConfig, WriteSendsTheFileOrItsPlan) {
    Config c = defaultsAt(433.92);
    c.regs[6] = 0xA5C;
    const std::string path = save("demo.cfg", c);
    // What loading the file in the program core plans into its image.
    SessionOptions options;
    options.boardName = "virtual";
    Session core(options);
    core.takeConfig(Config{});
    ASSERT_FALSE(core.loadConfiguration(path).has_value());
    const RegisterImage planned = core.chip().regs();
    ASSERT_NE(planned, c.regs);

    struct Case {
        bool plan;
        RegisterImage regs;
    };
    for (const Case& k : {Case{false, c.regs}, Case{true, planned}}) {
        std::vector<std::string> args = {"write", path, "--board", "virtual", "--json"};
        if (k.plan) args.push_back("--plan");
        const CtlResult r = runCtl(args);
        ASSERT_EQ(r.code, 0) << r.err;
        const auto j = r.json();
        EXPECT_EQ(j["registers"], registerTexts(k.regs));
        // What the chip model latched from the frames it saw, R7 (the status) aside.
        auto latched = j["latched"].get<std::vector<std::string>>();
        auto expected = registerTexts(k.regs);
        ASSERT_EQ(latched.size(), 8u);
        latched.pop_back();
        expected.pop_back();
        EXPECT_EQ(latched, expected) << k.plan;
        EXPECT_EQ(j["words"].size(), 7u);
    }
}

TEST_F(CtlConfig, WriteInAbcModeDrivesThePresetPins) {
    struct Case {
        int filePreset;
        int abcOption;  // -1: none
        const char* lines;
    };
    // B on D1, A on D0, C on D2; SPISEL (D3) low.
    const Case cases[] = {{7, -1, "0x07"}, {1, -1, "0x02"}, {2, -1, "0x01"}, {7, 4, "0x04"}};
    for (const Case& k : cases) {
        Config c = defaultsAt(433.92);
        c.spisel = false;
        c.pllmux = int16_t(k.filePreset);
        std::vector<std::string> args = {"write", save("abc.cfg", c), "--board", "virtual",
                                         "--json"};
        if (k.abcOption >= 0) args.insert(args.end(), {"--abc", std::to_string(k.abcOption)});
        const CtlResult r = runCtl(args);
        ASSERT_EQ(r.code, 0) << r.err;
        const auto j = r.json();
        EXPECT_EQ(j["lines"], k.lines) << k.filePreset << " " << k.abcOption;
        EXPECT_TRUE(j["words"].empty()) << j["words"];
    }
}

}  // namespace
}  // namespace zvk

namespace zvk {
namespace {

// What a careless user or an attacker feeds the CLI: every one ends in one line on standard
// error and exit code 1, or in the sound result, never in a crash, a hang or a false 0.
TEST_F(CtlConfig, HostileFilesAndOutputsAreRefusedInOneLine) {
    const std::string ok = save("ok.cfg", defaultsAt(433.92));
    ASSERT_EQ(::mkfifo(file("pipe.cfg").c_str(), 0600), 0);
    struct Case {
        std::string shell;  // run through the shell for its redirections
        const char* says;
    };
    const std::string ctl = test::shellQuoted(test::ctlPath());
    const Case cases[] = {
        {ctl + " show " + test::shellQuoted(file("pipe.cfg")), "FIFO"},
        {ctl + " show /dev/zero", "device"},
        {ctl + " export " + test::shellQuoted(ok) + " --format c >/dev/full", "cannot write"},
        {ctl + " show " + test::shellQuoted(ok) + " --json >&-", "cannot write"},
        {ctl + " plan --rf 384 >/dev/full", "cannot write"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shell);
        const std::string err = file("err.txt");
        const int status = std::system((c.shell + " 2>" + test::shellQuoted(err)).c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        const std::string said = readFileText(err).value_or("");
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
}

TEST_F(CtlConfig, JsonStaysValidForFileNamesThatAreNoUtf8) {
    const std::string latin1 = save("latin1name_\xe9.cfg", defaultsAt(433.92));
    const CtlResult r = runCtl({"show", latin1, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("latin1name_\\u00e9.cfg"), std::string::npos) << r.out;
    EXPECT_EQ(r.json()["file"], dir.string() + "/latin1name_\u00e9.cfg");
}

// One rule for a byte that is no UTF-8 (a file name in Latin-1): it stands for the
// character of its value. The text shows that character in UTF-8, the JSON escapes it as
// \u00XX, and both read as the same name.
TEST_F(CtlConfig, NamesThatAreNoUtf8ReadTheSameInTextAndJson) {
    const std::string latin1 = save("latin1name_\xe9.cfg", defaultsAt(433.92));
    const std::string map =
        put("map_\xff.json", runCtl({"export", latin1, "--format", "json"}).out);
    // The name as both outputs give it: each byte that was no UTF-8 as U+00XX.
    auto shown = [&](const std::string& name) { return dir.string() + "/" + name; };
    const struct {
        const char* what;
        std::vector<std::string> text, json;  // the same command for a person and as JSON
        std::string before;                   // what precedes the name in the text
        std::string name;
    } cases[] = {
        {"show",
         {"show", latin1},
         {"show", latin1, "--json"},
         "file        ",
         shown("latin1name_\u00e9.cfg")},
        {"import",
         {"import", map, "-o", file("in_\xe9.cfg")},
         {"import", map, "-o", file("in_\xe9.cfg"), "--json"},
         "wrote ",
         shown("in_\u00e9.cfg")},
        {"new",
         {"new", file("new_\xfc_text.cfg"), "--defaults"},
         {"new", file("new_\xfc_json.cfg"), "--defaults", "--json"},
         "file       ",
         shown("new_\u00fc_")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CtlResult text = runCtl(c.text);
        ASSERT_EQ(text.code, 0) << text.err;
        EXPECT_NE(text.out.find(c.before + c.name), std::string::npos) << text.out;
        const CtlResult json = runCtl(c.json);
        ASSERT_EQ(json.code, 0) << json.err;
        EXPECT_EQ(json.json()["file"].get<std::string>().rfind(c.name, 0), 0u) << json.out;
        EXPECT_EQ(json.out.find_first_of("\xe9\xfc\xff\xc3"), std::string::npos)
            << "plain ASCII: " << json.out;
    }
    const CtlResult header = runCtl({"export", latin1, "--format", "c"});
    ASSERT_EQ(header.code, 0) << header.err;
    EXPECT_EQ(header.out.rfind(
                  "// ZVK40310 register image from " + shown("latin1name_\u00e9.cfg") + "\n", 0),
              0u)
        << header.out;
}

// A plan whose N does not fit its 11 bits tunes the chip elsewhere: the output shows what
// the chip gets, one line says so, and the exit code is 1.
TEST_F(CtlConfig, APlanWhoseNDoesNotFitIsNoSuccess) {
    const CtlResult plan = runCtl("plan --rf 20000 --json");
    EXPECT_EQ(plan.code, 1);
    EXPECT_NE(plan.err.find("N = "), std::string::npos) << plan.err;
    EXPECT_NE(plan.err.find("tuned to " + plan.json()["fRF"].get<std::string>() + " MHz"),
              std::string::npos)
        << plan.err;

    const std::string far = save("far.cfg", defaultsAt(20000.0));
    const CtlResult json = runCtl({"show", far, "--json"});
    const CtlResult text = runCtl({"show", far});
    EXPECT_EQ(json.code, 1);
    EXPECT_EQ(text.code, 1);
    // The two forms give the same counters.
    const auto j = json.json();
    EXPECT_NE(text.out.find("Ntot        " + std::to_string(j["Ntot"].get<int>())),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("N           " + std::to_string(j["N"].get<int>())), std::string::npos)
        << text.out;

    const CtlResult write = runCtl({"write", far, "--plan", "--board", "virtual", "--json"});
    EXPECT_EQ(write.code, 1);
    EXPECT_NE(write.err.find("does not fit"), std::string::npos) << write.err;
    EXPECT_EQ(runCtl("plan --rf 384").code, 0);
}

// A preset index outside 0..7 selects no preset: the three lines all high, as for index
// -1; --abc takes 0..7 and nothing else.
TEST_F(CtlConfig, PresetIndexOutsideTheListSelectsNone) {
    for (int pllmux : {9, -1, 99999}) {
        Config c = defaultsAt(384.0);
        c.spisel = false;
        c.pllmux = int16_t(pllmux);
        const CtlResult r = runCtl({"write", save("abc.cfg", c), "--board", "virtual", "--json"});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.json()["lines"], "0x07") << pllmux;
    }
    for (const char* bad : {"-1", "", " 3", "8", "0x3", "+3"}) {
        const CtlResult r = runCtl({"write", "--defaults", "--board", "virtual", "--abc", bad});
        EXPECT_EQ(r.code, 1) << "--abc \"" << bad << "\"";
        EXPECT_NE(r.err.find("--abc"), std::string::npos) << r.err;
    }
    for (const char* bad : {"", "2", " 1"}) {
        const CtlResult r = runCtl({"status", "--board", "virtual", "--showld", bad});
        EXPECT_EQ(r.code, 1) << "--showld \"" << bad << "\"";
    }
}

TEST_F(CtlConfig, SetChangesFieldsRegistersAndItemsAndSavesAsTheWindowDoes) {
    const std::string path = save("a.cfg", defaultsAt(384.0));
    const CtlResult r = runCtl({"set", path, "OPMODE=1", "N=130", "R4=0x123", "fRF=433.92",
                                "SPISEL=0", "fXtal=12", "INJLO1=0", "PLLMUX=2", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.json()["changes"][0],
              (nlohmann::json{{"name", "OPMODE"}, {"before", "0"}, {"after", "1"}}));
    Config c;
    ASSERT_EQ(loadConfig(path, c), std::nullopt);
    EXPECT_EQ(fieldValue(c.regs, field("OPMODE")), 1u);
    EXPECT_EQ(fieldValue(c.regs, field("N")), 130u);  // over R2 and R3
    EXPECT_EQ(c.regs[4], 0x123);
    EXPECT_DOUBLE_EQ(c.frf, 433.92);
    EXPECT_FALSE(c.spisel);
    EXPECT_DOUBLE_EQ(c.fxtal, 12.0);
    EXPECT_EQ(c.injlo1, 0);
    EXPECT_EQ(c.pllmux, 2);
    // What show reads back, and the 18 CR LF lines of a saved file.
    const CtlResult shown = runCtl({"show", path, "--json"});
    ASSERT_EQ(shown.code, 0) << shown.err;
    EXPECT_EQ(shown.json()["fields"]["OPMODE"], 1);
    const std::string text = readFileText(path).value_or("");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 18);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 18);
}

TEST_F(CtlConfig, SetListsOnlyWhatChanged) {
    const std::string path = save("a.cfg", defaultsAt(384.0));
    const CtlResult r =
        runCtl({"set", path, "N=120", "OPMODE=1", "fRF=384", "R3=0x100", "SPISEL=1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "OPMODE 0 -> 1\n");
    const CtlResult j = runCtl({"set", path, "OPMODE=1", "--json"});
    ASSERT_EQ(j.code, 0) << j.err;
    EXPECT_EQ(j.json()["changes"], nlohmann::json::array());
}

// new: a configuration file from the shell, planned as the window plans it when it loads
// the file, so that show, write and the window take it as it is.
TEST_F(CtlConfig, NewWritesAPlannedFileFromTheDefaultsOrTheWindowsSettings) {
    const std::string receiver = file("receiver.cfg");
    const CtlResult r = runCtl({"new", receiver, "--defaults", "fRF=433.92", "OPMODE=1", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.json()["file"], receiver);
    EXPECT_EQ(r.json()["planned"], true);
    const CtlResult shown = runCtl({"show", receiver, "--json"});
    ASSERT_EQ(shown.code, 0) << shown.err;
    const auto j = shown.json();
    EXPECT_EQ(j["planned_registers"], j["registers"]) << "the file holds its plan already";
    EXPECT_EQ(j["fRF_file"], "433.920");
    EXPECT_EQ(j["mode"], "SPI");
    EXPECT_EQ(j["fields"]["OPMODE"], 1);
    const CtlResult plan = runCtl("plan --rf 433.92 --json");
    ASSERT_EQ(plan.code, 0) << plan.err;
    EXPECT_EQ(j["N"], plan.json()["N"]);
    EXPECT_EQ(j["A"], plan.json()["A"]);
    Config c;
    ASSERT_EQ(loadConfig(receiver, c), std::nullopt);
    for (const Field& f : kFieldMap) {
        const std::string name = f.name;
        if (name != "OPMODE" && name != "N" && name != "A") {
            EXPECT_EQ(fieldValue(c.regs, f), fieldValue(kDefaultImage, f)) << f.name;
        }
    }

    // Nothing stored is replaced, and a refused assignment writes nothing.
    const std::string before = readFileText(receiver).value_or("");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"new", receiver, "--defaults"},
          std::vector<std::string>{"new", file("other.cfg"), "--defaults", "OPMODE=7"}}) {
        const CtlResult refused = runCtl(args);
        EXPECT_EQ(refused.code, 1) << args[1];
        EXPECT_EQ(test::lines(refused.err).size(), 1u) << refused.err;
    }
    EXPECT_EQ(readFileText(receiver).value_or(""), before);
    EXPECT_FALSE(std::filesystem::exists(file("other.cfg")));

    // The window's state from its settings file; a name is saved with ".cfg", as the window
    // saves it, and the output names the file written.
    const std::string ini = put("zvk40310.INI",
                                "[CFG]\r\nSPISEL=1\r\nFRF=868.3\r\nFXTAL=10\r\nINJLO1=0\r\n"
                                "[CWR]\r\n0=141\r\n1=2292\r\n2=3860\r\n3=256\r\n4=125\r\n"
                                "5=684\r\n6=3659\r\n7=0\r\n");
    const CtlResult fromWindow = runCtl({"new", file("window.txt"), "--settings", ini});
    ASSERT_EQ(fromWindow.code, 0) << fromWindow.err;
    EXPECT_NE(fromWindow.out.find(file("window.cfg")), std::string::npos) << fromWindow.out;
    ASSERT_EQ(loadConfig(file("window.cfg"), c), std::nullopt);
    EXPECT_EQ(c.regs[0], 141);
    EXPECT_EQ(fieldValue(c.regs, field("R")), 125u);
    EXPECT_DOUBLE_EQ(c.frf, 868.3);
    EXPECT_EQ(c.injlo1, 0);
    // LO1 and LO2 low, R 125: 868.3 MHz is Ntot 8663, as the band preset plans it.
    EXPECT_EQ(32 * fieldValue(c.regs, field("N")) + fieldValue(c.regs, field("A")), 8663u);

    // Dividers given by hand stand as given; an ABC-mode file holds its preset's plan.
    ASSERT_EQ(runCtl({"new", file("hand.cfg"), "--defaults", "N=130", "A=3"}).code, 0);
    ASSERT_EQ(loadConfig(file("hand.cfg"), c), std::nullopt);
    EXPECT_EQ(fieldValue(c.regs, field("N")), 130u);
    EXPECT_EQ(fieldValue(c.regs, field("A")), 3u);
    ASSERT_EQ(runCtl({"new", file("abc.cfg"), "--defaults", "SPISEL=0", "PLLMUX=2"}).code, 0);
    ASSERT_EQ(loadConfig(file("abc.cfg"), c), std::nullopt);
    EXPECT_FALSE(c.spisel);
    EXPECT_EQ(c.pllmux, 2);
    EXPECT_DOUBLE_EQ(c.frf, 371.1);
}

TEST_F(CtlConfig, SetRefusesInOneLineAndChangesNothing) {
    const std::string path = save("a.cfg", defaultsAt(384.0));
    const std::string before = readFileText(path).value_or("");
    const struct {
        std::vector<std::string> assignments;
        const char* names;
    } cases[] = {
        {{"BOGUS=1"}, "BOGUS"},
        {{"OPMODE=4"}, "OPMODE"},       // two bits
        {{"OPMODE=1", "N=2048"}, "N"},  // the first is not saved either
        {{"R8=0"}, "R8"},
        {{"R2=0x10000"}, "R2"},  // a file's word holds 16 bits
        {{"RSSIH=1"}, "status"},
        {{"fXtal=0.5"}, "fXtal"},
        {{"SPISEL=2"}, "SPISEL"},
        {{"OPMODE"}, "NAME=VALUE"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"set", path};
        args.insert(args.end(), c.assignments.begin(), c.assignments.end());
        const CtlResult r = runCtl(args);
        EXPECT_EQ(r.code, 1) << c.names;
        EXPECT_NE(r.err.find(c.names), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_EQ(readFileText(path).value_or(""), before) << c.names;
    }
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const CtlResult locked = runCtl({"set", path, "OPMODE=1"});
    EXPECT_EQ(locked.code, 1);
    EXPECT_NE(locked.err.find("write-protected"), std::string::npos) << locked.err;
    EXPECT_EQ(readFileText(path).value_or(""), before);
}

// Without its date and time lines (2 and 3), which every save writes anew.
std::string withoutStamp(const std::string& text) {
    std::istringstream in(text);
    std::string out, line;
    for (int n = 1; std::getline(in, line); ++n)
        if (n != 2 && n != 3) out += line + "\n";
    return out;
}

TEST_F(CtlConfig, ExportThenImportGivesBackTheSameFile) {
    Config c = defaultsAt(433.92);
    c.regs[2] = 0xA5C;
    c.regs[3] = 0x10F;  // N's upper bits set
    c.spisel = false;
    c.pllmux = 2;
    c.fxtal = 12.8;
    c.injlo1 = 0;
    const std::string path = save("orig.cfg", c);
    const std::string original = withoutStamp(readFileText(path).value_or(""));
    for (const char* format : {"json", "csv"}) {
        SCOPED_TRACE(format);
        const CtlResult exported = runCtl({"export", path, "--format", format});
        ASSERT_EQ(exported.code, 0) << exported.err;
        const std::string map = put(std::string("map.") + format, exported.out);
        const std::string back = file(std::string("back-") + format + ".cfg");
        const CtlResult imported = runCtl({"import", map, "-o", back});
        ASSERT_EQ(imported.code, 0) << imported.err;
        EXPECT_EQ(withoutStamp(readFileText(back).value_or("")), original);
    }
}

TEST_F(CtlConfig, ImportRefusesMapsThatDoNotHoldAConfiguration) {
    const std::string path = save("orig.cfg", defaultsAt(384.0));
    const std::string csv = runCtl({"export", path, "--format", "csv"}).out;
    const std::string json = runCtl({"export", path, "--format", "json"}).out;
    auto replaced = [](std::string text, const std::string& from, const std::string& to) {
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const struct {
        const char* name;
        std::string text;
        const char* says;
    } cases[] = {
        {"a.csv", replaced(csv, "register,R4,4,0,12,0x04B\n", ""), "no R4"},
        {"b.csv", replaced(csv, "field,OPMODE,0,0,2,0", "field,OPMODE,0,0,2,3"), "OPMODE"},
        {"c.csv", replaced(csv, "item,SPISEL,,,,1", "item,SPISEL,,,,2"), "SPISEL"},
        {"d.csv", replaced(csv, "kind,", "type,"), "first line"},
        {"e.json", replaced(json, "\"0x08C\"", "\"0x1008C\""), "R0"},
        {"f.json", "[1,2]", "JSON object"},
        {"g.json", replaced(json, "\"fXtal\"", "\"fXtalX\""), "fXtal"},
        {"h.txt", json, ".json or .csv"},
    };
    for (const auto& c : cases) {
        const std::string out = file(std::string(c.name) + ".cfg");
        const CtlResult r = runCtl({"import", put(c.name, c.text), "-o", out});
        EXPECT_EQ(r.code, 1) << c.name;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.name << ": " << r.err;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
    }
}

}  // namespace
}  // namespace zvk
