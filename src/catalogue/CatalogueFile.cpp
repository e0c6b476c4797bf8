// Reading the catalogue file line by line, the same on every system.
#include "catalogue/CatalogueFile.h"

#include <algorithm>
#include <cstring>

CatalogueFile::CatalogueFile(const std::string& path) : file(path) {}

CatalogueFile::~CatalogueFile() = default;

bool CatalogueFile::Fill()
{
    if (atEnd)
        return false;
    if (begin > 0) {
        std::memmove(buffer.data(), buffer.data() + begin, end - begin);
        end -= begin;
        begin = 0;
    }
    const long long got = file.Read(buffer.data() + end, buffer.size() - end);
    if (got <= 0) {
        atEnd = true;
        return false;
    }
    end += static_cast<size_t>(got);
    return true;
}

bool CatalogueFile::NextLine(std::string& line)
{
    line.clear();
    if (!file.IsOpen())
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
