#include "framework/SerialPortNames.h"
#include "framework/posix/PortRegistry.h"

std::vector<CString> ListSerialPortNames() {
    std::vector<CString> names;
    for (const std::string& name : PortRegistry::Default().ListPortNames()) names.push_back(CString::FromUtf8(name));
    return names;
}
