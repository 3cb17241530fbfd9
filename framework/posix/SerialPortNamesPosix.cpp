#include "framework/PortRegistry.h"
#include "framework/SerialPortNames.h"

std::vector<CString> ListSerialPortNames() {
    std::vector<CString> names;
    for (const std::string& name : PortRegistry::Default().ListPortNames())
        names.push_back(CString::FromUtf8(name));
    return names;
}

CString ComPortDevice(int port) {
    return CString::FromUtf8(PortRegistry::Default().Resolve(port));
}
