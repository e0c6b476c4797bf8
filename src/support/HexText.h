#pragma once
#include <cstdint>
#include <string>

// Bytes as two-digit upper-case hex separated by single spaces ("FF FF 01 04").
std::string HexText(const uint8_t* bytes, size_t n);
