// CComboBox: a drop-down list. Items keep the order they were added in. Selecting an item from code
// does not notify the dialog; a user's choice does (CBN_SELCHANGE).
#pragma once

#include "framework/CString.h"
#include "framework/CWnd.h"

class CComboBox : public CWnd {
    DECLARE_DYNAMIC(CComboBox)

public:
    // Index of the new item, or CB_ERR.
    int AddString(const wchar_t* text);
    // -1 clears the selection. Returns the index selected, or CB_ERR (also for -1 or a bad index).
    int SetCurSel(int index);
    // CB_ERR when nothing is selected.
    int GetCurSel() const;
    void ResetContent();
    int GetCount() const;
    // CB_ERR for a bad index.
    int SetItemData(int index, DWORD_PTR data);
    DWORD_PTR GetItemData(int index) const;
    // Leaves `text` empty for a bad index.
    void GetLBText(int index, CString& text) const;
    // Shows `text` when the pointer rests on the item in the open list. CB_ERR for a bad index.
    int SetItemToolTip(int index, const wchar_t* text);
};
