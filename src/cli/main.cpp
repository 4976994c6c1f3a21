// SPDX-License-Identifier: MIT
// zvk40310ctl: the command-line tool for lab automation and for checking the program
// from outside. It uses the same transport, register and planning code as the window.
#include <algorithm>
#include <iostream>
#include <string_view>
#include <vector>

#include "base/Version.h"
#include "cli/Cli.h"

namespace {

// How many single-letter edits turn one word into the other.
size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

bool isCommand(const CLI::App& app, const std::string& word) {
    const auto commands = app.get_subcommands({});
    return std::any_of(commands.begin(), commands.end(),
                       [&](const CLI::App* c) { return c->check_name(word); });
}

// The one-line refusal of a word in the command's place that names no command, with the
// nearest command when one is near.
std::string unknownCommandText(const CLI::App& app, const std::string& word) {
    std::string best;
    size_t bestDistance = 3;  // further than two edits is no typing slip
    for (const CLI::App* command : app.get_subcommands({})) {
        const size_t d = editDistance(word, command->get_name());
        if (d < bestDistance) {
            bestDistance = d;
            best = command->get_name();
        }
    }
    std::string text = "unknown command \"" + word + "\"";
    if (!best.empty()) text += "; did you mean \"" + best + "\"?";
    return text;
}

int run(int argc, char** argv) {
    CLI::App app{"zvk40310ctl - control the ZVK40310 receiver chip from the command line",
                 "zvk40310ctl"};
    app.require_subcommand(1);
    // The program's own name: the window's --version names the window.
    app.set_version_flag("--version", std::string("zvk40310ctl ") + zvk::kProgramVersion,
                         "print the version and exit");
    app.footer(
        "The commands that talk to a board read the logic level, the adapter's delay and the\n"
        "port address from " +
        zvk::programSettingsPath() +
        ",\nthe window's settings file, unless --settings names another. It lies beside the\n"
        "programs in a build folder, under $XDG_CONFIG_HOME/zvk40310 (~/.config/zvk40310)\n"
        "for an installed program or one whose folder cannot be written.");
    zvk::cli::addCommands(app);
    zvk::cli::addRunCommand(app);
    // Without a command there is nothing to do: the usage says what there is.
    if (argc < 2) {
        std::cerr << app.help();
        return zvk::cli::kBadInput;
    }
    if (argv[1][0] != '-' && !isCommand(app, argv[1])) {
        std::cerr << "zvk40310ctl: " << unknownCommandText(app, argv[1]) << "\n";
        return zvk::cli::kBadInput;
    }
    return zvk::cli::finishOutput(
        zvk::cli::runCommand(app, "zvk40310ctl: ", [&] { app.parse(argc, argv); }));
}

}  // namespace

int main(int argc, char** argv) {
    // The commands report their own failures; what escapes them (out of memory while the
    // command list is built) still ends in one line.
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "zvk40310ctl: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "zvk40310ctl: unexpected failure\n";
    }
    return zvk::cli::kBadInput;
}
