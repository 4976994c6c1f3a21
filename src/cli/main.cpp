// zvk40310ctl: the command-line tool for lab automation and for checking the program
// from outside. It uses the same transport, register and planning code as the window.
#include <iostream>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    CLI::App app{"zvk40310ctl - control the ZVK40310 receiver chip from the command line"};
    app.require_subcommand(1);
    app.footer(
        "The commands that talk to a board read the logic level, the adapter's delay and the\n"
        "port address from " +
        zvk::programSettingsPath() +
        ",\nthe window's settings file, unless --settings names another.");
    zvk::cli::addWriteCommands(app);
    zvk::cli::addPlanCommand(app);
    zvk::cli::addConfigCommands(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version go out as CLI11 prints them; a usage error is bad input like
        // any other: one line naming what was wrong, exit code 1.
        if (e.get_exit_code() == 0) return app.exit(e);
        std::cerr << "zvk40310ctl: " << e.what() << "\n";
        return zvk::cli::kBadInput;
    } catch (const zvk::cli::BadInput& e) {
        std::cerr << "zvk40310ctl: " << e.what() << "\n";
        return zvk::cli::finishOutput(zvk::cli::kBadInput);
    } catch (const zvk::cli::Unreachable& e) {
        std::cerr << "zvk40310ctl: " << e.what() << "\n";
        return zvk::cli::finishOutput(zvk::cli::kUnreachable);
    }
    return zvk::cli::finishOutput(zvk::cli::g_exitCode);
}
