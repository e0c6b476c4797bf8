#include "cli/TerminalOut.h"

#include <unistd.h>

bool StdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}
