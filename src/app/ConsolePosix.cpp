#include "app/Console.h"

// The standard streams are the terminal's already.
void AttachParentConsole() {}
