#pragma once
// Where the window program's command-line output goes. A program built for the window has
// no console of its own on Windows: started from one, it writes its help, its errors and
// its drive log there, as a console program would.

void AttachParentConsole();
