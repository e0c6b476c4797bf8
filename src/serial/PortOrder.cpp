#include "serial/PortOrder.h"

#include <string_view>
#include <utility>

bool PortNameLess(const std::string& a, const std::string& b)
{
    auto split = [](const std::string& s) {
        size_t i = s.size();
        while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9')
            --i;
        std::string_view digits(s.data() + i, s.size() - i);
        // Leading zeros don't count; a run too long for a number sorts by its length.
        while (digits.size() > 1 && digits.front() == '0')
            digits.remove_prefix(1);
        return std::pair{std::string_view(s.data(), i), digits};
    };
    const auto [pa, da] = split(a);
    const auto [pb, db] = split(b);
    if (pa != pb)
        return pa < pb;
    if (da.size() != db.size())
        return da.size() < db.size();
    if (da != db)
        return da < db;
    return a < b;
}
