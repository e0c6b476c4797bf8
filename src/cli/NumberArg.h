#pragma once
#include <optional>
#include <string>

// A command-line number: decimal (with an optional minus sign) or 0x-hexadecimal, the whole
// text, within [low, high]; nothing when it is anything else.
std::optional<long long> ParseNumberArg(const std::string& text, long long low, long long high);
