#pragma once
// The address a metrics server binds, as --metrics gives it.

#include <string>

// "ADDRESS:PORT", ":PORT" or "PORT" (the loopback address then); false for anything else.
bool ParseMetricsAddress(const std::string& text, std::string& address, int& port);
