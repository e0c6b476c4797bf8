// servoctl's table, set, save, load and the resets commands.
#include "cli/CtlCommand.h"

void AddProgramCommands(CLI::App&, std::vector<CtlCommand>&) {}
