#include "support/FileName.h"

std::string WithDefaultSuffix(const std::string& path, const std::string& suffix)
{
    const size_t slash = path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name.find('.') != std::string::npos)
        return path;
    return path + "." + suffix;
}
