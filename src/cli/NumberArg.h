#pragma once
#include <chrono>
#include <optional>
#include <string>

// A command-line number: decimal (with an optional minus sign) or 0x-hexadecimal, the whole
// text, within [low, high]; nothing when it is anything else.
std::optional<long long> ParseNumberArg(const std::string& text, long long low, long long high);
// A decimal fraction such as a duration in seconds or a speed factor, the whole text, within
// [low, high]; nothing when it is anything else.
std::optional<double> ParseDecimalArg(const std::string& text, double low, double high);
// A duration: any decimal number of seconds above 0 (at most 1e7); nothing for anything else.
std::optional<std::chrono::steady_clock::duration> ParseSecondsArg(const std::string& text);
