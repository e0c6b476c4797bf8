#include "cli/ServoCtl.h"

#include <iostream>

int main(int argc, char** argv)
{
    return RunServoCtl(std::vector<std::string>(argv, argv + argc), std::cout, std::cerr);
}
