// The handle-style file calls of the Windows API, as far as the system uses them: query a path's
// attributes, open an existing file for reading with a share mode, ask its size, read, close
// (GetFileAttributesW, CreateFileW, GetFileSize, ReadFile, CloseHandle).
//
// Failures are reported by the result and leave the system's error code in GetLastError(). On
// Windows these are the system's calls; the POSIX backend implements them over open/flock/read, with
// paths handed to the system as UTF-8 and errno values as error codes.
#pragma once

#include "framework/WinTypes.h"
