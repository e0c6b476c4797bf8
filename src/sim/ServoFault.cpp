#include "sim/ServoFault.h"

#include <algorithm>
#include <charconv>

bool ParseServoFault(const std::string& text, std::vector<ServoFaultSpec>& faults, std::string& error)
{
    const auto colon = text.find(':');
    const auto equals = text.find('=', colon == std::string::npos ? 0 : colon);
    error = "a fault is ID:drop=SHARE or ID:corrupt=SHARE (SHARE 0..1), not \"" + text + "\"";
    if (colon == std::string::npos || equals == std::string::npos)
        return false;
    int id = -1;
    const char* idEnd = text.data() + colon;
    if (const auto r = std::from_chars(text.data(), idEnd, id); r.ec != std::errc() || r.ptr != idEnd ||
                                                                id < 0 || id > 253)
        return false;
    const std::string kind = text.substr(colon + 1, equals - colon - 1);
    // from_chars for doubles is not in every standard library this builds with.
    const std::string number = text.substr(equals + 1);
    double share = -1;
    try {
        size_t used = 0;
        share = std::stod(number, &used);
        if (used != number.size())
            return false;
    } catch (const std::exception&) {
        return false;
    }
    if (!(share >= 0 && share <= 1) || (kind != "drop" && kind != "corrupt"))
        return false;
    auto f = std::find_if(faults.begin(), faults.end(), [&](const ServoFaultSpec& s) { return s.id == id; });
    if (f == faults.end())
        f = faults.insert(faults.end(), ServoFaultSpec{static_cast<uint8_t>(id)});
    (kind == "drop" ? f->drop : f->corrupt) = share;
    error.clear();
    return true;
}

std::string TallyLine(uint8_t id, long long heard, long long answered, long long dropped,
                      long long corrupted)
{
    return "servo " + std::to_string(id) + ": heard " + std::to_string(heard) + ", answered " +
           std::to_string(answered) + ", dropped " + std::to_string(dropped) + ", corrupted " +
           std::to_string(corrupted);
}
