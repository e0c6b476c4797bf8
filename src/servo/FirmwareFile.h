#pragma once
// Reading a firmware file into the page's image: an Intel HEX file (".hex") or a raw image
// (".bin"), told apart by the name's extension in any case. The file is opened for reading
// and writing and locked, so a file another program holds locked, or a read-only one, is not
// taken.

#include "servo/FirmwareImage.h"

#include <string>

enum class FirmwareLoad {
    Loaded,
    CannotOpen,   // "无法打开固件"
    FormatError,  // "固件格式错误"
};

struct FirmwareLoadResult {
    FirmwareLoad status = FirmwareLoad::CannotOpen;
    int32_t kind = kImageHex;  // what was loaded, when Loaded
    // The HEX line that was rejected (from 1); 0 for errors that are no line's.
    int errorLine = 0;
    // A few words on the error, for the command line.
    std::string detail;
};

// The extension of a path's file name, lower case, without the dot; empty when there is none.
std::string FirmwareExtension(const std::string& path);

// Loads `path` into `image`. The image starts empty and 0xFF-filled at every attempt that
// gets the file open; a HEX format error leaves what the earlier lines stored. A name that
// ends neither in .hex nor in .bin is a format error and reads nothing.
FirmwareLoadResult LoadFirmwareFile(const std::string& path, FirmwareImage& image);
