#include "framework/ConsoleDiagnostics.h"
#include "framework/PortRegistry.h"
#include "framework/SerialPortNames.h"

std::vector<CString> ListSerialPortNames() {
    PortRegistry registry = PortRegistry::Default();
    // A folder others could have filled lists nothing; the line says why the list is empty.
    if (const std::string unsafe = registry.Prepare(); !unsafe.empty()) {
        ConsoleErr(CString::FromUtf8(unsafe));
        return {};
    }
    std::vector<CString> names;
    for (const std::string& name : registry.ListPortNames())
        names.push_back(CString::FromUtf8(name));
    return names;
}

CString ComPortDevice(int port) {
    return CString::FromUtf8(PortRegistry::Default().Resolve(port));
}
