#include "serial/PortOrder.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(PortNameLess, PutsNumbersInTheirOrder)
{
    std::vector<std::string> names = {"COM10", "COM2", "COM1", "COM100", "COM9", "COM010",
                                      "CNCA0", "COM", "COM3", "COM" + std::string(30, '9'),
                                      "COM" + std::string(29, '9')};
    std::sort(names.begin(), names.end(), PortNameLess);
    EXPECT_EQ(names, (std::vector<std::string>{"CNCA0", "COM", "COM1", "COM2", "COM3", "COM9",
                                               "COM010", "COM10", "COM100",
                                               "COM" + std::string(29, '9'),
                                               "COM" + std::string(30, '9')}));
}
