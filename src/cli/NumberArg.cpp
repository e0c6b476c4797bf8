#include "cli/NumberArg.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

std::optional<long long> ParseNumberArg(const std::string& text, long long low, long long high)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    bool negative = false;
    if (begin != end && *begin == '-') {
        negative = true;
        ++begin;
    }
    int base = 10;
    if (end - begin > 2 && begin[0] == '0' && (begin[1] == 'x' || begin[1] == 'X')) {
        base = 16;
        begin += 2;
    }
    if (begin == end || *begin == '+' || *begin == '-')
        return std::nullopt;
    unsigned long long magnitude = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, magnitude, base);
    if (ec != std::errc() || ptr != end || magnitude > (1ULL << 62))
        return std::nullopt;
    const long long value = negative ? -static_cast<long long>(magnitude)
                                     : static_cast<long long>(magnitude);
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<double> ParseDecimalArg(const std::string& text, double low, double high)
{
    char* rest = nullptr;
    const double value = std::strtod(text.c_str(), &rest);
    if (rest == text.c_str() || *rest != '\0' || !(value >= low && value <= high))
        return std::nullopt;
    return value;
}

std::optional<std::chrono::steady_clock::duration> ParseSecondsArg(const std::string& text)
{
    const auto seconds = ParseDecimalArg(text, std::nextafter(0.0, 1.0), 1e7);
    if (!seconds)
        return std::nullopt;
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(*seconds));
}
