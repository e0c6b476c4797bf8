#include "app/Console.h"

#include <windows.h>

#include <io.h>

#include <cstdio>
#include <initializer_list>

namespace {

// Whether the C runtime's stdout or stderr leads somewhere: a console, a pipe, a file.
bool HasOutput()
{
    for (FILE* stream : {stdout, stderr}) {
        const int fd = _fileno(stream);
        if (fd < 0)
            continue;
        const intptr_t handle = _get_osfhandle(fd);
        if (handle != -1 && handle != -2)
            return true;
    }
    return false;
}

}  // namespace

void AttachParentConsole()
{
    // Streams given by whoever started the program (a pipe, a file, wine's terminal) are kept
    // as they are; otherwise the console of the one that started it, if any.
    if (!HasOutput()) {
        if (!AttachConsole(ATTACH_PARENT_PROCESS))
            return;  // started from the desktop: nowhere to write
        // The C streams were set up before the console was there: point them at it.
        (void)!std::freopen("CONOUT$", "w", stdout);
        (void)!std::freopen("CONOUT$", "w", stderr);
    }
}
