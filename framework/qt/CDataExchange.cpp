// DDX_Control: binding wrappers to template controls.
#include "framework/CDataExchange.h"

#include "framework/qt/WindowRegistry.h"

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (dx == nullptr || dx->m_pDlgWnd == nullptr || control.GetSafeHwnd() != nullptr)
        return;
    WindowRecord* dialog = WindowRegistry::Find(dx->m_pDlgWnd->GetSafeHwnd());
    if (dialog == nullptr || !dialog->dialog)
        return;
    auto it = dialog->dialog->controls.find(id);
    if (it != dialog->dialog->controls.end())
        control.Attach(it->second);
}
