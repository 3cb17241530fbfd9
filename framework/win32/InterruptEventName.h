// The name of the event through which a station passes an interrupt on to one of its children: the
// station creates it for the child's process id before the child runs, the child opens it.
#pragma once

#include <windows.h>

#include <string>

inline std::wstring InterruptEventName(DWORD processId) {
    return L"Local\\orvane-interrupt-" + std::to_wstring(processId);
}
