#pragma once
// Parameter files (*.dat): the raw EPROM block of a servo's memory from address 0, no header.

#include "support/FileName.h"  // the ".dat" a typed name gets

#include <cstdint>
#include <string>
#include <vector>

// Writes the bytes to `path` whole or not at all: into a new file beside it, then renamed
// over it, so a failure at any step leaves an existing file as it was. An existing file's
// permissions carry over. False when any step failed.
bool SaveParameterFile(const std::string& path, const std::vector<uint8_t>& bytes);
