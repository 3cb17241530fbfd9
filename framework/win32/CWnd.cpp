// CWnd over real windows: every operation is the Windows call or control message of the same name,
// made on the bound handle. A wrapper without a window does nothing and reports failure.
#include "framework/CWnd.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "framework/CWinApp.h"
#include "framework/win32/WindowBindings.h"

void CWnd::SetWindowText(const wchar_t* text) {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd != nullptr)
        ::SetWindowTextW(hwnd, text != nullptr ? text : L"");
}

void CWnd::GetWindowText(CString& text) const {
    text.Empty();
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return;
    const int length = ::GetWindowTextLengthW(hwnd);
    if (length <= 0)
        return;
    std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(hwnd, buffer.data(), length + 1);
    buffer.resize(static_cast<size_t>(std::max(copied, 0)));
    text = CString(buffer);
}

int CWnd::GetWindowTextLength() const {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr ? ::GetWindowTextLengthW(hwnd) : 0;
}

BOOL CWnd::EnableWindow(BOOL enable) {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr ? ::EnableWindow(hwnd, enable) : FALSE;
}

BOOL CWnd::IsWindowEnabled() const {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr ? ::IsWindowEnabled(hwnd) : FALSE;
}

BOOL CWnd::ShowWindow(int cmdShow) {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr ? ::ShowWindow(hwnd, cmdShow) : FALSE;
}

BOOL CWnd::IsWindowVisible() const {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr ? ::IsWindowVisible(hwnd) : FALSE;
}

CWnd* CWnd::GetDlgItem(int id) const {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return nullptr;
    const HWND control = ::GetDlgItem(hwnd, id);
    if (control == nullptr)
        return nullptr;
    if (CWnd* bound = WindowBindings::Find(control))
        return bound;
    return WindowBindings::TemporaryWrapper(hwnd, control);
}

int CWnd::GetDlgCtrlID() const {
    const HWND hwnd = GetSafeHwnd();
    // A top-level window's "ID" is its menu handle; it has no control ID.
    if (hwnd == nullptr || (::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) == 0)
        return 0;
    return ::GetDlgCtrlID(hwnd);
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs, void*) {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return 0;
    const double scaled = std::clamp(std::round(static_cast<double>(elapseMs) * AfxGetTimerScale()), 1.0,
                                     static_cast<double>(USER_TIMER_MAXIMUM));
    return ::SetTimer(hwnd, id, static_cast<UINT>(scaled), nullptr);
}

BOOL CWnd::KillTimer(UINT_PTR id) {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr ? ::KillTimer(hwnd, id) : FALSE;
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return nullptr;
    return reinterpret_cast<HICON>(
        ::SendMessageW(hwnd, WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

HICON CWnd::GetIcon(BOOL bigIcon) const {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return nullptr;
    return reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_GETICON, bigIcon ? ICON_BIG : ICON_SMALL, 0));
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = GetSafeHwnd();
    // A null handle would post to the calling thread's queue instead of failing.
    if (hwnd == nullptr) {
        ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return ::PostMessageW(hwnd, message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr ? ::SendMessageW(hwnd, message, wParam, lParam) : 0;
}

BOOL CWnd::DestroyWindow() {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return FALSE;
    // A dialog lets go of its wrappers while it is destroyed; a plain window is let go here.
    const BOOL destroyed = ::DestroyWindow(hwnd);
    if (destroyed && GetSafeHwnd() == hwnd) {
        WindowBindings::Unbind(hwnd, this);
        m_hWnd.store(nullptr, std::memory_order_release);
        AfxForgetMainWnd(this);
    }
    return destroyed;
}

BOOL CWnd::Attach(HWND hwnd) {
    if (GetSafeHwnd() != nullptr || hwnd == nullptr || !::IsWindow(hwnd))
        return FALSE;
    WindowBindings::Bind(hwnd, this);
    return TRUE;
}

HWND CWnd::Detach() {
    const HWND hwnd = m_hWnd.exchange(nullptr, std::memory_order_acq_rel);
    if (hwnd != nullptr)
        WindowBindings::Unbind(hwnd, this);
    return hwnd;
}
