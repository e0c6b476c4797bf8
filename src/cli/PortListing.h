#pragma once
// servoctl ports: one line per port, in the port list's order.

#include "serial/PortInfo.h"

#include <iosfwd>

// DEVICE\tBY-ID LINK\tDRIVER\tLATENCY MS\tUSB PRODUCT, with "-" for what is unknown; on
// Windows DEVICE\tFRIENDLY NAME\tMAKER\tLATENCY MS\tUSB VENDOR:PRODUCT.
void PrintPorts(std::ostream& out, const SystemRoots& roots);
