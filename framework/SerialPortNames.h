// The platform's list of serial ports present, as port names of the form "COM<n>".
#pragma once

#include <vector>

#include "framework/CString.h"

std::vector<CString> ListSerialPortNames();

// The device a COM number stands for (on Linux the target of its registry link); empty if unknown.
CString ComPortDevice(int port);
