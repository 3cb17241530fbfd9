// The calling thread's last system error code: GetLastError/SetLastError (the POSIX backend keeps
// errno values in it).
#pragma once

#include "framework/WinTypes.h"
