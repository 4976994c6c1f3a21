// SPDX-License-Identifier: MIT
// zvk40310ctl: the command-line tool for lab automation and for checking the program
// from outside. It uses the same transport, register and planning code as the window.
#include <iostream>

#include "base/Version.h"
#include "cli/Cli.h"

namespace {

int run(int argc, char** argv) {
    // What the commands run in, for as long as the app that holds them.
    zvk::cli::CommandContext ctx;
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
    zvk::cli::addCommands(app, ctx);
    zvk::cli::addRunCommand(app, ctx);
    zvk::cli::addServeCommand(app, ctx);
    // Without a command there is nothing to do: the usage says what there is.
    if (argc < 2) {
        std::cerr << app.help();
        return zvk::cli::kBadInput;
    }
    if (argv[1][0] != '-') {
        if (const auto unknown = zvk::cli::unknownCommand(app, argv[1])) {
            std::cerr << "zvk40310ctl: " << *unknown << "\n";
            return zvk::cli::kBadInput;
        }
    }
    const int code =
        zvk::cli::runCommand(app, ctx, "zvk40310ctl: ", [&] { app.parse(argc, argv); });
    return zvk::cli::finishOutput(ctx, code);
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
