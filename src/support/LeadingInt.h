#pragma once
#include <string_view>

// The number at the start of a text, read as a C decimal conversion reads it: leading white
// space, one optional sign, then decimal digits up to the first other character; no digits
// give 0. Values beyond the int range are clamped to it. Used for every typed number and
// every number in the model catalogue.
int LeadingInt(std::string_view text);
