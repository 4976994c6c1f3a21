// SPDX-License-Identifier: MIT
// diff: what differs between two configuration files, exiting as diff(1) does.
#include <cstdio>
#include <memory>

#include "cli/Cli.h"
#include "session/ConfigDiff.h"

namespace zvk::cli {

namespace {

// A file that does not load: exit code 2, as diff(1) gives for trouble, so that a script
// tells it apart from "different" (1).
struct CannotCompare : Unreachable {
    using Unreachable::Unreachable;
};

struct DiffOptions {
    std::string a, b;
    bool json = false;
};

Config loadForComparison(const std::string& path) {
    Config c;
    if (auto error = loadConfig(path, c)) throw CannotCompare(*error);
    return c;
}

void runDiff(CommandContext& ctx, const DiffOptions& o) {
    const Config a = loadForComparison(o.a);
    const Config b = loadForComparison(o.b);
    const std::vector<ConfigDifference> diffs = compareConfigs(a, b);
    nlohmann::json list = nlohmann::json::array();
    for (const ConfigDifference& d : diffs)
        list.push_back({{"name", d.name}, {"old", d.before}, {"new", d.after}});
    printResult(ctx, o.json, {{"differences", list}}, [&] {
        for (const ConfigDifference& d : diffs) std::printf("%s\n", differenceLine(d).c_str());
    });
    ctx.exitCode = diffs.empty() ? kOk : kDifferent;
}

}  // namespace

void addDiffCommand(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<DiffOptions>();
    CLI::App* d = app.add_subcommand(
        "diff", "the fields, file items and planned frequencies that differ between two files");
    d->add_option("a", o->a, "the first configuration file (.cfg)")->required();
    d->add_option("b", o->b, "the second configuration file (.cfg)")->required();
    d->add_flag("--json", o->json, "one JSON object on standard output");
    d->callback([o, &ctx] { runDiff(ctx, *o); });
}

}  // namespace zvk::cli
