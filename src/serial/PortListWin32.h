#pragma once
// The serial ports Windows lists in the registry.

#include <windows.h>

#include <string>
#include <vector>

// The port names (the string data of the values) under root\subKey, in natural order
// ("COM2" before "COM10"). Values that hold no text are left out. False when the key can't
// be opened for reading; names is then unchanged.
bool ListRegistryPorts(HKEY root, const std::string& subKey, std::vector<std::string>& names);
