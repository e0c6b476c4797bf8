#include "catalogue/CatalogueLocation.h"

// The build names the installed data folder; a build without install rules looks nowhere.
#ifndef SERVO_INSTALLED_DATA_DIR
#define SERVO_INSTALLED_DATA_DIR ""
#endif

std::string InstalledDataDir()
{
    return SERVO_INSTALLED_DATA_DIR;
}
