// DDX_Control: binding wrappers to the controls the dialog manager created from the template.
#include "framework/CDataExchange.h"

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (dx == nullptr || dx->m_pDlgWnd == nullptr || control.GetSafeHwnd() != nullptr)
        return;
    const HWND dialog = dx->m_pDlgWnd->GetSafeHwnd();
    if (dialog == nullptr)
        return;
    if (const HWND hwnd = ::GetDlgItem(dialog, id))
        control.Attach(hwnd);
}
