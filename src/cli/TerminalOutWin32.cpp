#include "cli/TerminalOut.h"

#include <cstdio>
#include <io.h>

bool StdoutIsTerminal()
{
    return _isatty(_fileno(stdout)) != 0;
}
