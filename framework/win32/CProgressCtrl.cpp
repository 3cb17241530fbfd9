// CProgressCtrl through the progress bar's PBM_ messages; the control clamps positions itself.
#include "framework/CProgressCtrl.h"

#include <commctrl.h>

IMPLEMENT_DYNAMIC(CProgressCtrl, CWnd)

void CProgressCtrl::SetRange(short lower, short upper) {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd != nullptr)
        ::SendMessageW(hwnd, PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
}

void CProgressCtrl::GetRange(int& lower, int& upper) const {
    lower = upper = 0;
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return;
    PBRANGE range{};
    ::SendMessageW(hwnd, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    lower = range.iLow;
    upper = range.iHigh;
}

int CProgressCtrl::SetPos(int pos) {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr ? static_cast<int>(::SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(pos), 0))
                           : 0;
}

int CProgressCtrl::GetPos() const {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr ? static_cast<int>(::SendMessageW(hwnd, PBM_GETPOS, 0, 0)) : 0;
}
