// The platform's list of serial ports present, as port names of the form "COM<n>".
#pragma once

#include <vector>

#include "framework/CString.h"

std::vector<CString> ListSerialPortNames();
