#pragma once
// The window's own texts are UTF-8 string literals in the source.

#include <QString>

inline QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}
