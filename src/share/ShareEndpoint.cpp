#include "share/ShareEndpoint.h"

#include <cstdio>

namespace share {

std::string EndpointName(const std::string& portName)
{
    // FNV-1a over the name: a short, fixed-length name for any port name, safe in a path.
    uint64_t h = 1469598103934665603ULL;
    for (const unsigned char c : portName) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    char text[32];
    std::snprintf(text, sizeof text, "port-%016llx", static_cast<unsigned long long>(h));
    return text;
}

}  // namespace share
