#include "serial/PortDiscovery.h"

#include <algorithm>
#include <cwctype>

#include "framework/SerialPortNames.h"
#include "framework/WideToInt.h"

namespace {

constexpr int kFirstComPort = 1;
constexpr int kLastComPort = 256;

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
