// Common-controls initialisation without Windows: the toolkit's controls need none; the call exists
// so that start-up code reads as it does on Windows, and it checks its argument as Windows does.
#pragma once

#include "framework/WinTypes.h"

struct INITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
};

constexpr DWORD ICC_WIN95_CLASSES = 0x000000FF;

inline BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
    return init != nullptr && init->dwSize == sizeof(INITCOMMONCONTROLSEX) ? TRUE : FALSE;
}
