// CComboBox through the combo box's CB_ messages; the control keeps the items and their data.
#include "framework/CComboBox.h"

#include <string>

#include "framework/win32/ComboToolTips.h"

IMPLEMENT_DYNAMIC(CComboBox, CWnd)

int CComboBox::AddString(const wchar_t* text) {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return CB_ERR;
    return static_cast<int>(
        ::SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text != nullptr ? text : L"")));
}

int CComboBox::SetCurSel(int index) {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return CB_ERR;
    return static_cast<int>(::SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0));
}

int CComboBox::GetCurSel() const {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr ? static_cast<int>(::SendMessageW(hwnd, CB_GETCURSEL, 0, 0)) : CB_ERR;
}

void CComboBox::ResetContent() {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return;
    ::SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
    ComboToolTips::Clear(hwnd);
}

int CComboBox::GetCount() const {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr ? static_cast<int>(::SendMessageW(hwnd, CB_GETCOUNT, 0, 0)) : 0;
}

int CComboBox::SetItemData(int index, DWORD_PTR data) {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return CB_ERR;
    return static_cast<int>(
        ::SendMessageW(hwnd, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
}

DWORD_PTR CComboBox::GetItemData(int index) const {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return static_cast<DWORD_PTR>(CB_ERR);
    return static_cast<DWORD_PTR>(::SendMessageW(hwnd, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

void CComboBox::GetLBText(int index, CString& text) const {
    text.Empty();
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return;
    const LRESULT length = ::SendMessageW(hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR)
        return;
    std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = ::SendMessageW(hwnd, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                          reinterpret_cast<LPARAM>(buffer.data()));
    if (copied == CB_ERR)
        return;
    buffer.resize(static_cast<size_t>(copied));
    text = CString(buffer);
}

int CComboBox::SetItemToolTip(int index, const wchar_t* text) {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr || index < 0 || index >= GetCount())
        return CB_ERR;
    ComboToolTips::Set(hwnd, index, text != nullptr ? text : L"");
    return TRUE;
}
