// servoctl's image, flash and commtest commands.
#include "cli/CtlCommand.h"

void AddUpgradeCommands(CLI::App&, std::vector<CtlCommand>&) {}
