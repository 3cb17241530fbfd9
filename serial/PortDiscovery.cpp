#include "serial/PortDiscovery.h"

#include <algorithm>
#include <climits>
#include <cwctype>

#include "framework/SerialPortNames.h"

namespace {

constexpr int kFirstComPort = 1;
constexpr int kLastComPort = 256;

// _wtoi: leading white space, an optional sign, then decimal digits up to the first other character.
int WideToInt(const wchar_t* text) {
    while (*text && std::iswspace(static_cast<wint_t>(*text)))
        ++text;
    bool negative = false;
    if (*text == L'+' || *text == L'-')
        negative = *text++ == L'-';
    long long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        value = value * 10 + (*text - L'0');
        if (value > INT_MAX)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    value = negative ? -value : value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

}  // namespace

std::vector<int> ComPortNumbersFromNames(const std::vector<CString>& names) {
    std::vector<int> ports;
    for (const CString& name : names) {
        if (name.GetLength() < 3)
            continue;
        bool prefix = true;
        for (int i = 0; i < 3; ++i)
            prefix =
                prefix && std::towupper(static_cast<wint_t>(name.GetAt(i))) == static_cast<wint_t>(L"COM"[i]);
        if (!prefix)
            continue;
        const int number = WideToInt(name.GetString() + 3);
        if (number >= kFirstComPort && number <= kLastComPort)
            ports.push_back(number);
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

std::vector<int> EnumerateComPorts() {
    return ComPortNumbersFromNames(ListSerialPortNames());
}
