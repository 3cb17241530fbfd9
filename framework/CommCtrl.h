// Common-controls initialisation (InitCommonControlsEx): on Windows the system's own, which registers
// the control classes the dialogs use; elsewhere a stand-in with the same names.
#pragma once

#include "framework/WinTypes.h"

#if defined(_WIN32)
#include <commctrl.h>
#else
#include "framework/posix/CommCtrlPosix.h"
#endif
