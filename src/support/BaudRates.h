#pragma once
#include <array>

// The baud list: a servo's baud-rate code (memory address 6) indexes it, and the main window
// lists the rates in this order.
inline constexpr std::array<int, 8> kBaudRates = {1000000, 500000, 250000, 128000,
                                                  115200,  76800,  57600,  38400};

// The rate of a baud-rate code, or 0 for a code outside the list.
constexpr int BaudRateOfCode(int code)
{
    return code >= 0 && code < static_cast<int>(kBaudRates.size()) ? kBaudRates[code] : 0;
}

// The code of a rate, or -1 for a rate outside the list.
constexpr int BaudCodeOfRate(int rate)
{
    for (int i = 0; i < static_cast<int>(kBaudRates.size()); ++i)
        if (kBaudRates[i] == rate)
            return i;
    return -1;
}
