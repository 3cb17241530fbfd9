// COM port discovery: the numbers of the serial ports present, for the port chooser.
#pragma once

#include <vector>

#include "framework/CString.h"

// COM numbers (1..256) of the ports present, ascending, duplicates kept.
std::vector<int> EnumerateComPorts();

// The list rules on their own: names whose first three characters are "COM" in any case, followed
// by a number read as _wtoi reads it, kept when the number is 1..256; then sorted ascending.
std::vector<int> ComPortNumbersFromNames(const std::vector<CString>& names);
