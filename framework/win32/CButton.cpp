// CButton's check state through BM_SETCHECK and BM_GETCHECK.
#include "framework/CButton.h"

IMPLEMENT_DYNAMIC(CButton, CWnd)

namespace {

bool IsRadio(HWND hwnd) {
    const DWORD type = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE)) & BS_TYPEMASK;
    return type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON;
}

}  // namespace

void CButton::SetCheck(int check) {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return;
    // BM_SETCHECK leaves the rest of a radio group alone; a click would not, and neither does this.
    if (check == BST_CHECKED && IsRadio(hwnd)) {
        const HWND dialog = ::GetParent(hwnd);
        for (HWND other = ::GetNextDlgGroupItem(dialog, hwnd, FALSE); other != nullptr && other != hwnd;
             other = ::GetNextDlgGroupItem(dialog, other, FALSE)) {
            if (IsRadio(other))
                ::SendMessageW(other, BM_SETCHECK, BST_UNCHECKED, 0);
        }
    }
    ::SendMessageW(hwnd, BM_SETCHECK, static_cast<WPARAM>(check), 0);
}

int CButton::GetCheck() const {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return BST_UNCHECKED;
    return ::SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
}
