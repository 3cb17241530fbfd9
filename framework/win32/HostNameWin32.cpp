// MachineHostName on Windows: the DNS host name (GetComputerNameExW), widened to UTF-8.
#include <windows.h>

#include "framework/CString.h"
#include "framework/HostName.h"

std::string MachineHostName() {
    wchar_t name[256] = L"";
    DWORD size = sizeof name / sizeof name[0];
    if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &size))
        return {};
    return CString(name).ToUtf8();
}
