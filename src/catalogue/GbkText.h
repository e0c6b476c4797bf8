#pragma once
// Conversion between the catalogue file's GBK text and the UTF-8 the program works in.
#include <string>
#include <string_view>

// Bytes that are not valid GBK become U+FFFD; the conversion never fails.
std::string GbkToUtf8(std::string_view gbk);
// Characters GBK can't hold become '?'.
std::string Utf8ToGbk(std::string_view utf8);
