#pragma once
// File-name rules shared by the save dialogs and their window-free callers.

#include <string>

// `path` with ".suffix" appended when its last name has no extension (no dot at all).
std::string WithDefaultSuffix(const std::string& path, const std::string& suffix);
