#pragma once
#include <optional>
#include <string>

// A command-line number: decimal (with an optional minus sign) or 0x-hexadecimal, the whole
// text, within [low, high]; nothing when it is anything else.
std::optional<long long> ParseNumberArg(const std::string& text, long long low, long long high);
// A decimal fraction such as a duration in seconds or a speed factor, the whole text, within
// [low, high]; nothing when it is anything else.
std::optional<double> ParseDecimalArg(const std::string& text, double low, double high);
