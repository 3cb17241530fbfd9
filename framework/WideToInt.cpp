#include "framework/WideToInt.h"

#include <climits>
#include <cwctype>

int32_t WideToInt(const wchar_t* text) {
    if (!text)
        return 0;
    while (*text && std::iswspace(static_cast<wint_t>(*text)))
        ++text;
    bool negative = false;
    if (*text == L'+' || *text == L'-')
        negative = *text++ == L'-';
    // One past INT32_MAX is enough to saturate either way.
    constexpr long long kCap = static_cast<long long>(INT32_MAX) + 1;
    long long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        value = value * 10 + (*text - L'0');
        if (value > kCap)
            value = kCap;
    }
    if (negative)
        return value >= kCap ? INT32_MIN : static_cast<int32_t>(-value);
    return value >= kCap ? INT32_MAX : static_cast<int32_t>(value);
}
