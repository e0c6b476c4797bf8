#pragma once
// The lines servo-sim reads on its standard input: "hand ID POSITION" turns a servo's shaft
// by hand.

#include <string>

struct HandTurn {
    int id = 0;
    int position = 0;
};

// One line (without its end); false with a message for anything but "hand ID POSITION"
// with whole numbers. Blank lines are for the caller to skip.
bool ParseHandLine(const std::string& line, HandTurn& turn, std::string& error);
