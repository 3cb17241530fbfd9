// CEdit through the edit control's own messages. Positions are the control's: characters of its
// text, with CR LF counted as two.
#include "framework/CEdit.h"

IMPLEMENT_DYNAMIC(CEdit, CWnd)

void CEdit::SetSel(int start, int end, BOOL noScroll) {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return;
    // EM_SETSEL with -1 only drops the selection; appending continues at the end, so the caret goes
    // there.
    if (start == -1)
        start = end = ::GetWindowTextLengthW(hwnd);
    ::SendMessageW(hwnd, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
    if (!noScroll)
        ::SendMessageW(hwnd, EM_SCROLLCARET, 0, 0);
}

void CEdit::GetSel(int& start, int& end) const {
    start = end = 0;
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return;
    DWORD from = 0;
    DWORD to = 0;
    ::SendMessageW(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    start = static_cast<int>(from);
    end = static_cast<int>(to);
}

void CEdit::ReplaceSel(const wchar_t* newText, BOOL canUndo) {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd != nullptr) {
        ::SendMessageW(hwnd, EM_REPLACESEL, static_cast<WPARAM>(canUndo),
                       reinterpret_cast<LPARAM>(newText != nullptr ? newText : L""));
    }
}

int CEdit::GetLineCount() const {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr ? static_cast<int>(::SendMessageW(hwnd, EM_GETLINECOUNT, 0, 0)) : 1;
}

BOOL CEdit::LineScroll(int lines, int chars) {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return FALSE;
    return static_cast<BOOL>(
        ::SendMessageW(hwnd, EM_LINESCROLL, static_cast<WPARAM>(chars), static_cast<LPARAM>(lines)));
}
