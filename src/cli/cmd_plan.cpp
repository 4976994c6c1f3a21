// plan: the planning step and the recompute step, as "Calculate" does them.
// (Being written: registers no command yet.)
#include "cli/Cli.h"

namespace zvk::cli {
void addPlanCommand(CLI::App&) {}
}  // namespace zvk::cli
