// CButton's check state over QAbstractButton.
#include "framework/CButton.h"

#include <QAbstractButton>
#include <QButtonGroup>

#include "framework/qt/WindowRegistry.h"

IMPLEMENT_DYNAMIC(CButton, CWnd)

void CButton::SetCheck(int check) {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr || record->kind != WindowKind::RadioButton)
        return;
    auto* button = static_cast<QAbstractButton*>(record->widget);
    QButtonGroup* group = button->group();
    // An exclusive group refuses to uncheck its checked button, which Windows allows from code.
    const bool exclusive = group != nullptr && group->exclusive();
    if (exclusive && check != BST_CHECKED)
        group->setExclusive(false);
    button->setChecked(check == BST_CHECKED);
    if (exclusive && check != BST_CHECKED)
        group->setExclusive(true);
}

int CButton::GetCheck() const {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr || record->kind != WindowKind::RadioButton)
        return BST_UNCHECKED;
    return static_cast<QAbstractButton*>(record->widget)->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}
