// SPDX-License-Identifier: MIT
// The bash completion of zvk40310ctl, run in bash as the shell runs it at a <TAB>.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "CtlRunner.h"
#include "TempDir.h"

namespace zvk {
namespace {

class Completion : public test::TempDir {
  protected:
    Completion() : TempDir("zvk-completion") {}
    void SetUp() override {
        TempDir::SetUp();
        for (const char* name : {"rx.cfg", "list.csv", "map.json", "notes.txt", "sub/x.cfg"})
            put(name, "x");
    }
    // What a <TAB> offers after the words (the last one being the word completed), sorted.
    std::vector<std::string> offered(const std::vector<std::string>& words) const {
        std::string array;
        for (const std::string& w : words) array += " " + test::shellQuoted(w);
        const std::string script =
            "cd " + test::shellQuoted(dir.string()) + " && source " +
            test::shellQuoted(std::string(ZVK_SOURCE_DIR) +
                              "/packaging/zvk40310ctl.bash-completion") +
            " && COMP_WORDS=(zvk40310ctl" + array +
            ") && COMP_CWORD=" + std::to_string(words.size()) +
            " && _zvk40310ctl 2>/dev/null; printf '%s\\n' \"${COMPREPLY[@]}\"";
        const std::string cmd = "bash -c " + test::shellQuoted(script);
        std::string out;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[4096];
            for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
            pclose(p);
        }
        std::vector<std::string> v;
        for (const std::string& l : test::lines(out))
            if (!l.empty()) v.push_back(l);
        std::sort(v.begin(), v.end());
        return v;
    }
};

TEST_F(Completion, OffersTheFilesAndValuesEachPlaceTakes) {
    using V = std::vector<std::string>;
    const struct {
        V words;
        V expected;
    } cases[] = {
        {{"sweep", ""}, {"rx.cfg", "sub"}},
        {{"sweep", "rx.cfg", "--from", ""}, {}},
        {{"sweep", "rx.cfg", "--step", ""}, {}},
        {{"sweep", "rx.cfg", "--list", ""}, {"list.csv", "sub"}},
        {{"status", "--watch", ""}, {}},
        {{"status", "--watch", "100", "--count", ""}, {}},
        {{"import", ""}, {"list.csv", "map.json", "sub"}},
        {{"import", "map.json", "-o", ""}, {"rx.cfg", "sub"}},
        {{"import", "map.json", "--output", ""}, {"rx.cfg", "sub"}},
        {{"run", ""}, {"-", "list.csv", "map.json", "notes.txt", "rx.cfg", "sub"}},
        {{"new", ""}, {"rx.cfg", "sub"}},
        {{"new", "r.cfg", "--settings", ""}, {"sub"}},
        {{"show", ""}, {"rx.cfg", "sub"}},
        {{"calibrate", ""}, {"rx.cfg", "sub"}},
        {{"calibrate", "rx.cfg", "--lo1-measured", ""}, {}},
        {{"plan", "--rf", "433.92", "--ppm", ""}, {}},
        {{"plan", "--settings", ""}, {"sub"}},
        {{"serve", "--files", ""}, {"sub"}},
        {{"serve", "--log", ""}, {"list.csv", "map.json", "notes.txt", "rx.cfg", "sub"}},
        {{"serve", "--idle-timeout", ""}, {}},
        {{"serve", "--listen", "127"}, {"127.0.0.1:0", "127.0.0.1:5025"}},
        {{"serve", "--l"}, {"--lab", "--level", "--listen", "--log"}},
        {{"serve", "--lab", "--l"}, {"--level", "--listen", "--log"}},
        {{"run", "-", "--l"}, {"--level", "--live"}},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& w : c.words) line += " " + w;
        EXPECT_EQ(offered(c.words), c.expected) << line;
    }
    // Options where an option is being typed, the new command among the commands.
    const V newOptions = offered({"new", "r.cfg", "--"});
    for (const char* o : {"--defaults", "--settings", "--json"})
        EXPECT_NE(std::find(newOptions.begin(), newOptions.end(), o), newOptions.end()) << o;
    const V sweepOptions = offered({"sweep", "rx.cfg", "--s"});
    EXPECT_EQ(sweepOptions, (V{"--settings", "--step", "--svg"}));
    const V planOptions = offered({"plan", "--p"});
    EXPECT_EQ(planOptions, (V{"--plan-corrected", "--ppm"}));
    const V calibrateOptions = offered({"calibrate", "rx.cfg", "--"});
    for (const char* o : {"--defaults", "--lo1-measured", "--rf-offset", "--settings", "--dry-run"})
        EXPECT_NE(std::find(calibrateOptions.begin(), calibrateOptions.end(), o),
                  calibrateOptions.end())
            << o;
    const V commands = offered({""});
    for (const char* c : {"new", "serve"})
        EXPECT_NE(std::find(commands.begin(), commands.end(), c), commands.end()) << c;
}

}  // namespace
}  // namespace zvk
