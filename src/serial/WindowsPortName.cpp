#include "serial/WindowsPortName.h"

#include <cstdint>

std::string WindowsDeviceName(const std::string& name)
{
    // The number starts after a three-character prefix such as "COM"; it is read as an
    // unsigned decimal truncated to 16 bits, and no digits there give 0.
    uint16_t number = 0;
    for (size_t i = 3; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i)
        number = static_cast<uint16_t>(number * 10 + (name[i] - '0'));
    if (number > 9)
        return "\\\\.\\COM" + std::to_string(number);
    return name;
}
