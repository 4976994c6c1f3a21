// zvk40310ctl: the command-line tool for lab automation and for checking the program
// from outside. It uses the same transport, register and planning code as the window.
#include <iostream>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    CLI::App app{"zvk40310ctl - control the ZVK40310 receiver chip from the command line"};
    app.require_subcommand(1);
    zvk::cli::addWriteCommands(app);
    zvk::cli::addPlanCommand(app);
    zvk::cli::addConfigCommands(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Usage errors are bad input too (exit code 1), help is not.
        const int rc = app.exit(e);
        return rc == 0 ? 0 : zvk::cli::kBadInput;
    } catch (const zvk::cli::BadInput& e) {
        std::cerr << "zvk40310ctl: " << e.what() << "\n";
        return zvk::cli::kBadInput;
    } catch (const zvk::cli::Unreachable& e) {
        std::cerr << "zvk40310ctl: " << e.what() << "\n";
        return zvk::cli::kUnreachable;
    }
    return zvk::cli::g_exitCode;
}
