// SPDX-License-Identifier: MIT
// zvk40310ctl run: a script against one session.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CtlProcess.h"
#include "CtlRunner.h"
#include "TempDir.h"
#include "chip/FieldMap.h"
#include "storage/ConfigFile.h"

namespace zvk {
namespace {

using test::CtlResult;
using test::runCtl;

class CliRun : public test::TempDir {
  protected:
    CliRun() : TempDir("zvk-cli-run") {}
    std::string script(const std::string& text) {
        const std::string path = file("script.txt");
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // A configuration that runs the receiver.
    std::string receiving(const std::string& name) {
        Config c;
        c.regs = kDefaultImage;
        setFieldValue(c.regs, field("OPMODE"), 1);
        const std::string path = file(name);
        EXPECT_EQ(saveConfig(path, c, "ZVK40310 Evaluation Program v3.3"), std::nullopt);
        return path;
    }
};

std::vector<nlohmann::json> jsonLines(const std::string& out) {
    std::vector<nlohmann::json> objects;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) objects.push_back(nlohmann::json::parse(line));
    return objects;
}

TEST_F(CliRun, AStatusReadSeesWhatTheWriteBeforeItSent) {
    const std::string cfg = receiving("rx file.cfg");  // a name a shell would have to quote
    const CtlResult r = runCtl(
        {"run", script("# receive, then read\nwrite " + test::shellQuoted(cfg) + "\nstatus\n"),
         "--board", "virtual", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto objects = jsonLines(r.out);
    ASSERT_EQ(objects.size(), 2u) << r.out;
    EXPECT_EQ(objects[1]["LD"], "locked");
    // A fresh board, as separate calls give it, has not seen the write.
    const CtlResult fresh = runCtl({"status", "--board", "virtual", "--json"});
    EXPECT_EQ(fresh.json()["LD"], "no lock");
}

TEST_F(CliRun, AnErrorStopsTheScriptUnlessTheLineMayFail) {
    const struct {
        const char* text;
        int code;
        const char* says;
        size_t outputs;  // JSON lines printed before the script ended
    } cases[] = {
        {"status\nshow missing.cfg\nstatus\n", 1, "line 2: ", 1},
        {"status\n-show missing.cfg\nstatus\n", 1, "line 2: ", 2},
        {"status --board virtual-usb\nstatus\n", 1, "line 1: --board belongs to run", 0},
        {"write \"open quote\n", 1, "line 1: a double quote is not closed", 0},
        {"run other.txt\n", 1, "line 1: a script cannot run another", 0},
        {"frobnicate\n", 1, "line 1: ", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const CtlResult r = runCtl({"run", script(c.text), "--board", "virtual", "--json"});
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(jsonLines(r.out).size(), c.outputs) << r.out;
    }
    // The hardware that cannot be reached: the failing command's own exit code.
    const CtlResult hw =
        runCtl({"run", script("status\n"), "--board", "hardware", "--port", "0x2F8"});
    if (hw.code != 0) {
        EXPECT_EQ(hw.code, 2) << hw.err;
        EXPECT_NE(hw.err.find("line 1: "), std::string::npos) << hw.err;
    }
}

TEST_F(CliRun, TheTraceCoversTheWholeScript) {
    const std::string cfg = receiving("rx.cfg");
    const std::string log = file("t.log");
    const CtlResult r = runCtl(
        {"run", script("write " + cfg + "\nstatus\n"), "--board", "virtual", "--trace", log});
    ASSERT_EQ(r.code, 0) << r.err;
    std::ifstream in(log);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("R0 <- 0x08D"), std::string::npos) << text;
    EXPECT_NE(text.find("R7 -> 0x44B"), std::string::npos) << text;
}

}  // namespace
}  // namespace zvk

namespace zvk {
namespace {

// run --live answers each line before the next one is written, goes on after a failing
// line, and says the failure in the line's one JSON object.
TEST(CliRunLive, EachLineIsAnsweredBeforeTheNextIsWritten) {
    test::CtlProcess run({"run", "-", "--live", "--json", "--board", "virtual"});
    ASSERT_TRUE(run.started());
    struct Step {
        std::string line;
        std::string key;  // a key of the line's object
        int exitCode;     // the object's "exit_code"; 0: none
        std::string error;
    };
    const Step steps[] = {
        {"plan --rf 384", "Ntot", 0, ""},
        {"plan --rf abc", "error", 1, "abc"},
        {"-status --showld 7", "error", 1, "--showld"},
        {"\"unclosed", "error", 1, "double quote is not closed"},
        {"serve", "error", 1, "serve runs on its own"},
        {"frobnicate", "error", 1, "frobnicate"},
        {"status", "LD", 0, ""},
    };
    int number = 0;
    for (const Step& s : steps) {
        ++number;
        SCOPED_TRACE(s.line);
        ASSERT_TRUE(run.write(s.line + "\n"));
        // Blank lines and comments have no answer: the next object is this line's.
        ASSERT_TRUE(run.write("\n# a comment\n"));
        const auto answer = run.readLine();
        ASSERT_TRUE(answer.has_value()) << run.err();
        const auto j = nlohmann::json::parse(*answer);
        EXPECT_TRUE(j.contains(s.key)) << *answer;
        if (s.exitCode == 0) {
            EXPECT_FALSE(j.contains("exit_code")) << *answer;
        } else {
            EXPECT_EQ(j["exit_code"], s.exitCode) << *answer;
            EXPECT_EQ(j["line"], 3 * number - 2) << *answer;
            EXPECT_NE(j["error"].get<std::string>().find(s.error), std::string::npos) << *answer;
        }
    }
    // The worst exit code of the lines that may not fail.
    EXPECT_EQ(run.wait(), 1);
    EXPECT_TRUE(run.rest.empty());
    EXPECT_NE(run.err().find("line 4: "), std::string::npos) << run.err();
}

// A command that prints its object and fails by its exit code alone gets the failure in
// that one object; text output goes as it comes; lines that may fail end in 0.
TEST_F(CliRun, LiveFailuresJoinTheCommandsObjectAndTextGoesAsItComes) {
    {
        test::CtlProcess run({"run", "-", "--live", "--json"});
        // N does not fit its 11 bits: the plan is printed, and the exit code is 1.
        ASSERT_TRUE(run.write("plan --rf 20000\n"));
        const auto answer = run.readLine();
        ASSERT_TRUE(answer.has_value()) << run.err();
        const auto j = nlohmann::json::parse(*answer);
        EXPECT_TRUE(j.contains("Ntot")) << *answer;
        EXPECT_EQ(j["exit_code"], 1) << *answer;
        EXPECT_NE(j["error"].get<std::string>().find("does not fit"), std::string::npos) << *answer;
        EXPECT_EQ(run.wait(), 1);
    }
    {
        test::CtlProcess run({"run", "-", "--live", "--board", "virtual"});
        ASSERT_TRUE(run.write("plan --rf 384\n"));
        // The text of line 1, up to its last line, before line 2 is written.
        bool answered = false;
        while (!answered) {
            const auto l = run.readLine();
            if (!l) break;
            answered = l->rfind("correction ", 0) == 0;
        }
        ASSERT_TRUE(answered) << run.err();
        ASSERT_TRUE(run.write("-plan --rf x\nplan --rf 390\n"));
        run.closeInput();
        EXPECT_EQ(run.wait(), 0) << run.err();
        EXPECT_NE(run.err().find("line 2: "), std::string::npos) << run.err();
        bool second = false;
        for (const std::string& l : run.rest) second = second || l.find("390") != std::string::npos;
        EXPECT_TRUE(second);
    }
    // A file works as standard input does.
    const CtlResult r =
        runCtl({"run", script("plan --rf 384\nplan --rf x\nplan --rf 390\n"), "--live", "--json"});
    EXPECT_EQ(r.code, 1);
    const auto objects = jsonLines(r.out);
    ASSERT_EQ(objects.size(), 3u) << r.out;
    EXPECT_EQ(objects[1]["line"], 2);
    EXPECT_TRUE(objects[2].contains("Ntot"));
}

}  // namespace
}  // namespace zvk
