// GBK through the Windows code page 936, with the same replacement rules as elsewhere:
// every byte that starts no valid character becomes U+FFFD, and conversion goes on after it.
#include "catalogue/GbkText.h"

#include <windows.h>

namespace {

constexpr UINT kGbk = 936;

std::wstring Widen(UINT codePage, const char* text, size_t size, DWORD flags)
{
    if (size == 0)
        return {};
    const int n = ::MultiByteToWideChar(codePage, flags, text, static_cast<int>(size), nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, flags, text, static_cast<int>(size), out.data(), n);
    return out;
}

std::string Narrow(UINT codePage, const std::wstring& text, const char* fallback)
{
    if (text.empty())
        return {};
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, fallback, nullptr);
    if (n <= 0)
        return {};
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          fallback, nullptr);
    return out;
}

bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Length of the GBK character at s[i]: 1 for ASCII and the euro sign 0x80, 2 for a lead
// and trail byte pair, 0 when no valid character starts there.
size_t CharLength(std::string_view s, size_t i)
{
    const auto c = static_cast<unsigned char>(s[i]);
    if (c <= 0x80)
        return 1;
    if (IsLead(c) && i + 1 < s.size() && IsTrail(static_cast<unsigned char>(s[i + 1])))
        return 2;
    return 0;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk)
{
    std::wstring wide;
    wide.reserve(gbk.size());
    size_t i = 0;
    while (i < gbk.size()) {
        // The longest run of well-formed characters goes through the code page in one call.
        size_t end = i;
        while (end < gbk.size()) {
            const size_t len = CharLength(gbk, end);
            if (len == 0)
                break;
            end += len;
        }
        if (end > i) {
            const std::wstring run =
                Widen(kGbk, gbk.data() + i, end - i, MB_ERR_INVALID_CHARS);
            if (!run.empty()) {
                wide += run;
                i = end;
                continue;
            }
            // A pair of the right shape that code page 936 leaves unassigned: character by
            // character, to find which.
            for (; i < end;) {
                const size_t len = CharLength(gbk, i);
                const std::wstring one = Widen(kGbk, gbk.data() + i, len, MB_ERR_INVALID_CHARS);
                if (one.empty()) {
                    wide += L'\xFFFD';
                    ++i;
                    break;  // the pair's second byte starts the next run
                }
                wide += one;
                i += len;
            }
            continue;
        }
        wide += L'\xFFFD';
        ++i;
    }
    return Narrow(CP_UTF8, wide, nullptr);
}

std::string Utf8ToGbk(std::string_view utf8)
{
    // Malformed UTF-8 becomes U+FFFD here, which code page 936 can't hold either: '?'.
    return Narrow(kGbk, Widen(CP_UTF8, utf8.data(), utf8.size(), 0), "?");
}
