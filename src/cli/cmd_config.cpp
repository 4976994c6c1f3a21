// show and export: register configuration files.
// (Being written: registers no command yet.)
#include "cli/Cli.h"

namespace zvk::cli {
void addConfigCommands(CLI::App&) {}
}  // namespace zvk::cli
