// The calling thread's last system error code, as GetLastError/SetLastError keep it on Windows.
// The POSIX backends store errno values here.
#pragma once

#include "framework/WinTypes.h"

DWORD GetLastError();
void SetLastError(DWORD code);
