#pragma once
// A fault of one servo on the virtual bus, as servo-sim and the Python module take it:
// "ID:drop=SHARE" or "ID:corrupt=SHARE".

#include <cstdint>
#include <string>
#include <vector>

struct ServoFaultSpec {
    uint8_t id = 0;
    double drop = 0;
    double corrupt = 0;
};

// Adds one "ID:drop=SHARE" / "ID:corrupt=SHARE" to `faults` (a second kind for the same ID
// joins the first); false with a message for anything else.
bool ParseServoFault(const std::string& text, std::vector<ServoFaultSpec>& faults, std::string& error);

// "servo ID: heard N, answered N, dropped N, corrupted N"
std::string TallyLine(uint8_t id, long long heard, long long answered, long long dropped,
                      long long corrupted);
