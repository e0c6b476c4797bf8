#include "sim/HandLine.h"

#include <charconv>
#include <sstream>
#include <vector>

namespace {

bool WholeNumber(const std::string& text, int& value)
{
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && at == end;
}

}  // namespace

bool ParseHandLine(const std::string& line, HandTurn& turn, std::string& error)
{
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;)
        w.push_back(word);
    if (w.size() != 3 || w[0] != "hand") {
        error = "not understood: \"" + line + "\" (want: hand ID POSITION)";
        return false;
    }
    if (!WholeNumber(w[1], turn.id) || turn.id < 0 || turn.id > 253) {
        error = "servo ID must be 0..253, not \"" + w[1] + "\"";
        return false;
    }
    if (!WholeNumber(w[2], turn.position)) {
        error = "position must be a whole number, not \"" + w[2] + "\"";
        return false;
    }
    return true;
}
