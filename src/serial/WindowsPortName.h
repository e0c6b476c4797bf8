#pragma once
#include <string>

// The name under which the Windows build opens a port: COM10 and above need the
// device-namespace form "\\.\COMn"; COM1 to COM9 and names without a number keep their text.
std::string WindowsDeviceName(const std::string& name);
