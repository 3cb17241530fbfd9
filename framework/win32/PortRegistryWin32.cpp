// The port registry on Windows: the system numbers its serial ports itself and lists them, with the
// device behind each, under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM. This registry reads that list; it
// cannot give numbers to device paths, and tells why a port will not open from what CreateFileW says.
#include <windows.h>

#include <cwchar>

#include "framework/PortRegistry.h"
#include "framework/SerialPortNames.h"
#include "framework/TextTranslator.h"

namespace fs = std::filesystem;

PortRegistry::PortRegistry(fs::path directory, fs::path hardwareRoot, fs::path privateRoot)
    : m_directory(std::move(directory)),
      m_hardwareRoot(std::move(hardwareRoot)),
      m_privateRoot(std::move(privateRoot)) {}

// The system keeps the port database itself and nobody else can write into it through us.
std::string PortRegistry::Problem() const {
    return {};
}

std::string PortRegistry::Prepare() const {
    return {};
}

std::string PortRegistry::WhyNotASerialLine(const std::string& path) {
    return FormatText(
        TranslateText("%s cannot be given a COM number: Windows numbers its serial ports itself"),
        path.c_str());
}

bool PortRegistry::RegistersDevicePaths() {
    return false;
}

PortRegistry PortRegistry::Default() {
    return PortRegistry(fs::path(L"HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM"), fs::path());
}

std::vector<PortRegistry::Link> PortRegistry::ReadLinks(std::vector<std::string>*) const {
    return {};
}

std::string PortRegistry::Resolve(int port) const {
    return ComPortDevice(port).ToUtf8();
}

int PortRegistry::Register(const std::string&, int) {
    return 0;
}

std::string PortRegistry::RegisterAt(int port, const std::string&, bool& taken) {
    taken = false;
    return FormatText(
        TranslateText("COM%d cannot be given to a device path: Windows numbers its serial ports itself"),
        port);
}

bool PortRegistry::Unregister(int) {
    return false;
}

// The system's own list holds only the ports present; there is nothing of ours to clear.
std::vector<std::string> PortRegistry::Prune() {
    return {};
}

std::vector<std::string> PortRegistry::PresentDevices() const {
    std::vector<std::string> devices;
    for (const CString& name : ListSerialPortNames())
        devices.push_back(name.ToUtf8());
    return devices;
}

std::vector<std::string> PortRegistry::ListPortNames() {
    return PresentDevices();
}

std::string PortRegistry::ExplainOpenFailure(int port) const {
    const std::string name = "COM" + std::to_string(port);
    wchar_t path[32];
    std::swprintf(path, sizeof(path) / sizeof(path[0]), L"\\\\.\\COM%d", port);
    HANDLE handle = ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle);
        return {};
    }
    const DWORD code = ::GetLastError();
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return FormatText(
                TranslateText("%s does not exist (see 'orvane-cli ports' for the ports present)"),
                name.c_str());
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return FormatText(TranslateText("%s is held by another program"), name.c_str());
        default:
            return FormatText(TranslateText("CreateFileW on %s failed with error %lu"), name.c_str(),
                              static_cast<unsigned long>(code));
    }
}
