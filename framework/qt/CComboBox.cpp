// CComboBox over a non-editable QComboBox. Item data lives beside the widget, in the window record.
#include "framework/CComboBox.h"

#include <QComboBox>

#include "framework/qt/WindowRegistry.h"

IMPLEMENT_DYNAMIC(CComboBox, CWnd)

namespace {

QComboBox* Combo(WindowRecord* record) {
    return record != nullptr && record->kind == WindowKind::ComboBox ? static_cast<QComboBox*>(record->widget)
                                                                     : nullptr;
}

}  // namespace

int CComboBox::AddString(const wchar_t* text) {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    QComboBox* combo = Combo(record);
    if (combo == nullptr)
        return CB_ERR;
    const int selected = combo->currentIndex();
    combo->addItem(QString::fromWCharArray(text ? text : L""));
    // QComboBox selects the first item it gets; a Windows combo box keeps what it had (nothing).
    if (combo->currentIndex() != selected)
        combo->setCurrentIndex(selected);
    record->itemData.push_back(0);
    return combo->count() - 1;
}

int CComboBox::SetCurSel(int index) {
    QComboBox* combo = Combo(WindowRegistry::Find(GetSafeHwnd()));
    if (combo == nullptr)
        return CB_ERR;
    if (index < 0 || index >= combo->count()) {
        combo->setCurrentIndex(-1);
        return CB_ERR;
    }
    combo->setCurrentIndex(index);
    return index;
}

int CComboBox::GetCurSel() const {
    QComboBox* combo = Combo(WindowRegistry::Find(GetSafeHwnd()));
    if (combo == nullptr || combo->currentIndex() < 0)
        return CB_ERR;
    return combo->currentIndex();
}

void CComboBox::ResetContent() {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    QComboBox* combo = Combo(record);
    if (combo == nullptr)
        return;
    combo->clear();
    record->itemData.clear();
}

int CComboBox::GetCount() const {
    QComboBox* combo = Combo(WindowRegistry::Find(GetSafeHwnd()));
    return combo == nullptr ? 0 : combo->count();
}

int CComboBox::SetItemData(int index, DWORD_PTR data) {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (Combo(record) == nullptr || index < 0 || index >= static_cast<int>(record->itemData.size()))
        return CB_ERR;
    record->itemData[static_cast<size_t>(index)] = data;
    return TRUE;
}

DWORD_PTR CComboBox::GetItemData(int index) const {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (Combo(record) == nullptr || index < 0 || index >= static_cast<int>(record->itemData.size())) {
        return static_cast<DWORD_PTR>(CB_ERR);
    }
    return record->itemData[static_cast<size_t>(index)];
}

void CComboBox::GetLBText(int index, CString& text) const {
    text.Empty();
    QComboBox* combo = Combo(WindowRegistry::Find(GetSafeHwnd()));
    if (combo == nullptr || index < 0 || index >= combo->count())
        return;
    text = CString(combo->itemText(index).toStdWString());
}

int CComboBox::SetItemToolTip(int index, const wchar_t* text) {
    QComboBox* combo = Combo(WindowRegistry::Find(GetSafeHwnd()));
    if (combo == nullptr || index < 0 || index >= combo->count())
        return CB_ERR;
    combo->setItemData(index, QString::fromWCharArray(text ? text : L""), Qt::ToolTipRole);
    return TRUE;
}
