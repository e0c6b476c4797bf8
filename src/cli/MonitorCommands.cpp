// servoctl's monitor commands.
#include "cli/CtlCommand.h"

void AddMonitorCommands(CLI::App&, std::vector<CtlCommand>&) {}
