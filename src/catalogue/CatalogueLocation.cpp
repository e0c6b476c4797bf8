#include "catalogue/CatalogueLocation.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

constexpr const char* kFileName = "setup.log";
constexpr const char* kFolderName = "servo-debugger";

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool IsRegularFile(const std::filesystem::path& path)
{
    std::error_code error;  // an unreadable folder is a place without a catalogue
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

CatalogueSearch CatalogueSearch::FromEnvironment()
{
    namespace fs = std::filesystem;
    fs::path configHome = Environment("XDG_CONFIG_HOME");
    if (!configHome.is_absolute()) {  // a relative value is to be ignored, as unset
        configHome.clear();
        if (const std::string home = Environment("HOME"); !home.empty())
            configHome = fs::path(home) / ".config";
        else if (const std::string appData = Environment("APPDATA"); !appData.empty())
            configHome = appData;
    }
    CatalogueSearch where;
    if (!configHome.empty())
        where.userDir = (configHome / kFolderName).string();
    where.installedDir = InstalledDataDir();
    return where;
}

CatalogueLocation FindCatalogue(const CatalogueSearch& where)
{
    namespace fs = std::filesystem;
    if (IsRegularFile(kFileName))
        return {kFileName, CatalogueSource::WorkingDirectory};
    const std::pair<const std::string*, CatalogueSource> places[] = {
        {&where.userDir, CatalogueSource::User}, {&where.installedDir, CatalogueSource::Installed}};
    for (const auto& [dir, source] : places) {
        if (dir->empty())
            continue;
        const fs::path candidate = fs::path(*dir) / kFileName;
        if (IsRegularFile(candidate))
            return {candidate.string(), source};
    }
    return {kFileName, CatalogueSource::WorkingDirectory};
}

std::string CatalogueNote(const CatalogueLocation& location)
{
    switch (location.source) {
    case CatalogueSource::User:
        return "catalogue: " + location.path + " (the user's)";
    case CatalogueSource::Installed:
        return "catalogue: " + location.path + " (installed)";
    case CatalogueSource::WorkingDirectory:
        break;
    }
    return "";
}
