// The name of the machine this program runs on, as records name the station that wrote them.
#pragma once

#include <string>

// The host name (UTF-8); empty when the system will not tell.
std::string MachineHostName();
