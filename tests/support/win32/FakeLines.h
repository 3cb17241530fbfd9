// How TempRegistry on Windows points a COM number at one of the in-process lines of PtyWin32.cpp.
#pragma once

#include <string>

void LinkFakeLine(int port, const std::string& slavePath);
void UnlinkFakeLines();
