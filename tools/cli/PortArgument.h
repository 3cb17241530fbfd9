// Turning --port into a COM number, and explaining in plain words why a port would not open.
#pragma once

#include <string>

struct PortChoice {
    int number = 0;      // COM number; 0 when the argument names no port
    std::string device;  // what the number stands for, when known
    std::string error;   // set when number is 0
};

// Accepts "COM3" (any case), "3", or (where the port registry numbers device paths) a device path;
// a path is registered on the fly at the lowest free number (or keeps the number it has), once it is
// known to be a terminal device.
PortChoice ResolvePortArgument(const std::string& argument);

// One line on why COM<port> cannot be opened: it does not exist, permission is denied (with the
// group to join on Linux, or who alone may open the device), or another program holds it (named
// when the system tells).
// Empty when no reason can be found.
std::string ExplainOpenFailure(int port);
