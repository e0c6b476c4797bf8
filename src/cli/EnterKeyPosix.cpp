#include "cli/EnterKey.h"

#include <poll.h>
#include <unistd.h>

bool InputIsTerminal()
{
    return ::isatty(STDIN_FILENO) != 0;
}

bool EnterPressed()
{
    pollfd in{STDIN_FILENO, POLLIN, 0};
    if (::poll(&in, 1, 0) <= 0)
        return false;
    // The terminal hands over a whole line at a time: what was typed before Enter goes too.
    char bytes[256];
    const ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
    for (ssize_t i = 0; i < n; ++i)
        if (bytes[i] == '\n')
            return true;
    return n == 0;  // end of input stops as Enter would
}
