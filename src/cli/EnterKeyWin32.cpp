#include "cli/EnterKey.h"

#include <conio.h>
#include <cstdio>
#include <io.h>

bool InputIsTerminal()
{
    return _isatty(_fileno(stdin)) != 0;
}

bool EnterPressed()
{
    while (_kbhit())
        if (_getch() == '\r')
            return true;
    return false;
}
