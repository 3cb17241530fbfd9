// MachineHostName on POSIX: gethostname.
#include <unistd.h>

#include "framework/HostName.h"

std::string MachineHostName() {
    char name[256] = "";
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}
