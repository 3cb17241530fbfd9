// The types, constants and calls of the Windows API that the system's code is written against. On
// Windows they are the system's own; elsewhere the POSIX backend declares the same names, kept to
// what the code uses.
#pragma once

#if defined(_WIN32)
#include <windows.h>
// The lean <windows.h> leaves out the common dialogs, whose option names (OFN_...) the code uses.
#include <commdlg.h>
#else
#include "framework/posix/WinApiPosix.h"
#endif
