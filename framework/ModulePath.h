// The full path of the running executable, as GetModuleFileName reports it on Windows.
#pragma once

#include "framework/CString.h"

// False when the path cannot be found out.
bool GetModuleFilePath(CString& path);
