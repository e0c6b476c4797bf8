// Reading the catalogue file line by line, the same on every system.
#include "catalogue/CatalogueFile.h"

#include <algorithm>
#include <cstring>

bool CatalogueFile::NextLine(std::string& line)
{
    line.clear();
    if (fd < 0)
        return false;
    bool any = false;
    for (;;) {
        const char* start = buffer.data() + begin;
        const auto* lf = static_cast<const char*>(std::memchr(start, '\n', end - begin));
        const size_t take = lf ? static_cast<size_t>(lf - start) : end - begin;
        if (line.size() < kMaxLine)
            line.append(start, std::min(take, kMaxLine - line.size()));
        any = any || take > 0 || lf != nullptr;
        if (lf) {
            begin += take + 1;
            break;
        }
        begin = end;
        if (!Fill())
            break;
    }
    if (!any)
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}
