#include "catalogue/GbkText.h"

#include <iconv.h>

#include <cerrno>

namespace {

std::string Convert(std::string_view in, const char* to, const char* from,
                    std::string_view replacement)
{
    std::string out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(in);
    out.reserve(in.size() * 3 / 2 + 4);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[1024];
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (r != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // An invalid or cut-off sequence: mark it and go on after its first byte.
        out.append(replacement);
        ++src;
        --srcLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk)
{
    return Convert(gbk, "UTF-8", "GBK", "\xEF\xBF\xBD");
}

std::string Utf8ToGbk(std::string_view utf8)
{
    return Convert(utf8, "GBK", "UTF-8", "?");
}
