#pragma once
// Where the model catalogue "setup.log" is found. The working directory's comes first and is
// named relatively, so it is resolved at every lookup as it always was; when there is none,
// the user's own ($XDG_CONFIG_HOME/servo-debugger/setup.log, ~/.config by default), then the
// one installed with the programs (<prefix>/share/servo-debugger/setup.log; on Windows the
// programs' folder). The window,
// servoctl and servo-sim choose their catalogue with FindCatalogue(); the Python module is to
// call it too, so that every program reads the same file.

#include <string>

enum class CatalogueSource { WorkingDirectory, User, Installed };

struct CatalogueLocation {
    std::string path;  // "setup.log" for the working directory's
    CatalogueSource source = CatalogueSource::WorkingDirectory;
};

// The folders looked in after the working directory; "" skips one.
struct CatalogueSearch {
    std::string userDir;       // $XDG_CONFIG_HOME/servo-debugger
    std::string installedDir;  // <prefix>/share/servo-debugger

    // From the environment ($XDG_CONFIG_HOME if absolute, else $HOME/.config, else
    // %APPDATA%) and the install prefix the programs were built for.
    static CatalogueSearch FromEnvironment();
};

// Where the catalogue installed with the programs lies: the package's data folder on POSIX
// systems, the programs' own folder on Windows (where the zip puts it). A file per system.
std::string InstalledDataDir();

// The first of the three places that holds a regular file "setup.log"; the working
// directory's name when none does (every lookup then finds nothing, as before).
CatalogueLocation FindCatalogue(const CatalogueSearch& where = CatalogueSearch::FromEnvironment());

// A note for the person when the catalogue is not the working directory's, such as
// "catalogue: /usr/share/servo-debugger/setup.log (installed)"; "" for the working directory's.
std::string CatalogueNote(const CatalogueLocation& location);
