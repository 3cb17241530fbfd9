// The serial ports Windows knows: the "PortName" of every present device of the ports class, through
// the device-setup calls; when those find none (a bare system, or Wine), the values of
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, where every serial driver lists its ports.
#include <windows.h>
// windows.h first: setupapi.h and devguid.h build on it.
#include <devguid.h>
#include <setupapi.h>

#include <cwctype>
#include <string>

#include "framework/SerialPortNames.h"

namespace {

constexpr const wchar_t* kSerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
// 256 UTF-16 units, zeroed, so that a value without its NUL still ends inside the buffer.
constexpr DWORD kPortNameBytes = 512;
constexpr DWORD kValueNameChars = 256;

// The text of a REG_SZ value read into a zeroed buffer one unit longer than what was asked for, cut
// at its first NUL.
CString TextUpToNul(const wchar_t* buffer, size_t capacity) {
    size_t length = 0;
    while (length < capacity && buffer[length] != L'\0')
        ++length;
    return CString(buffer, static_cast<int>(length));
}

std::vector<CString> PortNamesFromDeviceSetup() {
    std::vector<CString> names;
    HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        wchar_t buffer[kPortNameBytes / sizeof(wchar_t) + 1] = {};
        DWORD size = kPortNameBytes;
        DWORD type = 0;
        const LONG rc =
            ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        if (rc == ERROR_SUCCESS && type == REG_SZ)
            names.push_back(TextUpToNul(buffer, kPortNameBytes / sizeof(wchar_t)));
        ::RegCloseKey(key);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return names;
}

// Calls `visit(valueName, portName)` for every REG_SZ value of the SERIALCOMM key.
template <typename Visit>
void ForEachSerialCommValue(Visit visit) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[kValueNameChars + 1] = {};
        DWORD valueNameChars = kValueNameChars;
        wchar_t data[kPortNameBytes / sizeof(wchar_t) + 1] = {};
        DWORD size = kPortNameBytes;
        DWORD type = 0;
        const LONG rc = ::RegEnumValueW(key, index, valueName, &valueNameChars, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &size);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS || type != REG_SZ)
            continue;
        visit(TextUpToNul(valueName, kValueNameChars), TextUpToNul(data, kPortNameBytes / sizeof(wchar_t)));
    }
    ::RegCloseKey(key);
}

bool EqualsIgnoringCase(const CString& a, const CString& b) {
    if (a.GetLength() != b.GetLength())
        return false;
    for (int i = 0; i < a.GetLength(); ++i) {
        if (std::towupper(static_cast<wint_t>(a.GetAt(i))) != std::towupper(static_cast<wint_t>(b.GetAt(i))))
            return false;
    }
    return true;
}

}  // namespace

std::vector<CString> ListSerialPortNames() {
    std::vector<CString> names = PortNamesFromDeviceSetup();
    if (names.empty())
        ForEachSerialCommValue([&](const CString&, const CString& port) { names.push_back(port); });
    return names;
}

CString ComPortDevice(int port) {
    CString wanted;
    wanted.Format(L"COM%d", port);
    CString device;
    ForEachSerialCommValue([&](const CString& value, const CString& name) {
        if (device.IsEmpty() && EqualsIgnoringCase(name, wanted))
            device = value;
    });
    return device;
}
