// SPDX-License-Identifier: MIT
// Every example of zvk40310ctl's manual page runs as the page shows it, in its order, in one
// folder: those on a virtual board as written; those for the hardware once with
// --board virtual added and once as written, where a machine without the board ends them
// with exit status 2 and one line on standard error.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CtlRunner.h"
#include "ManPageExamples.h"
#include "TempDir.h"
#include "transport/PortIo.h"

namespace zvk {
namespace {

constexpr const char* kInstalledExamples = "/usr/share/doc/zvk40310/examples/";

struct ShellResult {
    int code = -1;
    std::string out, err;
};

class ManPageExamples : public test::TempDir {
  protected:
    ManPageExamples() : TempDir("zvk-examples") {}
    void SetUp() override {
        TempDir::SetUp();
        // zvk40310ctl on the path is the one under test.
        std::filesystem::create_directories(dir / "bin");
        std::filesystem::create_symlink(test::ctlPath(), dir / "bin" / "zvk40310ctl");
    }
    // The line in bash, in the test's folder, with pipefail: a pipeline fails as its
    // zvk40310ctl does.
    ShellResult run(const std::string& line) const {
        const std::string errPath = (dir / "stderr").string();
        const std::string script =
            "set -o pipefail; export PATH=" + test::shellQuoted((dir / "bin").string()) +
            ":\"$PATH\"; cd " + test::shellQuoted((dir / "work").string()) + " && " + line;
        std::string cmd = "ASAN_OPTIONS=${ASAN_OPTIONS:-exitcode=86} ";
        cmd.append("UBSAN_OPTIONS=${UBSAN_OPTIONS:-exitcode=86:print_stacktrace=1} bash -c ");
        cmd.append(test::shellQuoted(script)).append(" 2>").append(test::shellQuoted(errPath));
        cmd.append(" </dev/null");
        ShellResult r;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[4096];
            for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
            const int status = pclose(p);
            r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::stringstream err;
        err << std::ifstream(errPath).rdbuf();
        r.err = err.str();
        test::checkNoSanitizerReport({line}, r.code, r.err);
        return r;
    }
};

// The commands that talk to a board and leave it to --board, which defaults to the hardware.
bool forTheHardware(const std::vector<std::string>& words) {
    static const std::set<std::string> boardCommands = {"write", "status", "sweep", "run"};
    if (words.size() < 2 || words[0] != "zvk40310ctl" || !boardCommands.count(words[1]))
        return false;
    for (const std::string& w : words) {
        if (w == "|" || w == ">") break;
        if (w == "--board" || w.rfind("--board=", 0) == 0) return false;
    }
    return true;
}

std::string replaced(std::string line, const std::string& what, const std::string& with) {
    for (size_t at = line.find(what); at != std::string::npos;
         at = line.find(what, at + with.size()))
        line.replace(at, what.size(), with);
    return line;
}

TEST_F(ManPageExamples, EveryExampleOfTheCommandLineToolRuns) {
    std::filesystem::create_directories(dir / "work");
    const auto examples =
        test::manPageExamples(std::string(ZVK_SOURCE_DIR) + "/docs/man/zvk40310ctl.1");
    ASSERT_GE(examples.size(), 14u) << "the examples were not found";
    HardwarePortIo probe;
    const bool hardwareHere = probe.open(0x378) || probe.open(0x278);
    int hardware = 0;
    for (const std::string& example : examples) {
        SCOPED_TRACE(example);
        // The package's examples are the sources' docs/examples.
        const std::string line =
            replaced(example, kInstalledExamples, std::string(ZVK_SOURCE_DIR) + "/docs/examples/");
        const std::vector<std::string> words = test::words(line);
        if (!forTheHardware(words)) {
            const ShellResult r = run(line);
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(r.err, "");
            continue;
        }
        ++hardware;
        // On the virtual board, the example as it would run with a board.
        const std::string onVirtual = replaced(line, "zvk40310ctl " + words[1],
                                               "zvk40310ctl " + words[1] + " --board virtual");
        const ShellResult v = run(onVirtual);
        EXPECT_EQ(v.code, 0) << onVirtual << "\n" << v.err;
        EXPECT_EQ(v.err, "") << onVirtual;
        // As written, on a machine without the board.
        if (hardwareHere) continue;
        const ShellResult h = run(line);
        if (h.code == 0) continue;  // an adapter answered
        EXPECT_EQ(h.code, 2) << h.err;
        EXPECT_EQ(test::lines(h.err).size(), 1u) << h.err;
    }
    EXPECT_GE(hardware, 3);
    // What the examples write.
    for (const char* made : {"receiver.cfg", "zvk40310_regs.h", "sweep.csv", "sweep.svg", "t.vcd"})
        EXPECT_GT(std::filesystem::file_size(dir / "work" / made), 0u) << made;
}

}  // namespace
}  // namespace zvk
