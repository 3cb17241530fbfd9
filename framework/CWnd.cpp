#include "framework/CWnd.h"

#include "framework/LastError.h"

BOOL CWnd::PostMessage(UINT, WPARAM, LPARAM) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}
