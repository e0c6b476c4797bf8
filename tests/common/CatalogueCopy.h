#pragma once
// A private copy of the shipped catalogue in the temporary folder: a program holds the
// catalogue locked while it reads it, and other test programs read the shipped file at the
// same moment. The tests and the benchmarks share it (no test framework needed).

#include <chrono>
#include <filesystem>
#include <string>

#ifndef SERVO_SOURCE_DIR
#error "SERVO_SOURCE_DIR must name the source tree"
#endif

inline std::string CatalogueCopy(const std::string& tag)
{
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto copy = std::filesystem::temp_directory_path() /
                      (tag + "-" + std::to_string(stamp) + "-setup.log");
    std::filesystem::copy_file(SERVO_SOURCE_DIR "/data/setup.log", copy,
                               std::filesystem::copy_options::overwrite_existing);
    return copy.string();
}
