#pragma once
#include <string>

// Port names in the order a user expects: the text before the trailing number
// alphabetically, then that number ("COM2" before "COM10").
bool PortNameLess(const std::string& a, const std::string& b);
