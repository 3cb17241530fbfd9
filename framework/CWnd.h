// CWnd: a window object. The serial layer posts received bytes to one; the window layer (CDialogEx
// and the control wrappers) builds on it. A CWnd may exist without a window: before its dialog is
// created, after it is destroyed, or in code that never shows one. Every operation is then harmless
// and reports failure or an empty value. This header stays free of any toolkit so that non-GUI code
// can name a window.
//
// Threads: PostMessage may be called from any thread; everything else belongs to the GUI thread.
#pragma once

#include <atomic>

#include "framework/CCmdTarget.h"
#include "framework/CString.h"
#include "framework/WinTypes.h"

class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)

public:
    CWnd() = default;
    ~CWnd() override;

    // Null when there is no window.
    HWND GetSafeHwnd() const { return m_hWnd.load(std::memory_order_acquire); }
    operator HWND() const { return GetSafeHwnd(); }

    void SetWindowText(const wchar_t* text);
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const;

    // Returns nonzero when the window was disabled before the call, as Windows does.
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL ShowWindow(int cmdShow);
    BOOL IsWindowVisible() const;

    // The control with this ID in a dialog; null when there is none (or no window). Controls that
    // were not bound with DDX_Control get a wrapper that lives as long as the dialog's window.
    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const;

    // Starts (or restarts) window timer `id`; WM_TIMER carrying `id` then arrives every `elapseMs`
    // milliseconds on the GUI thread. Returns `id`, or 0 when there is no window. The callback
    // argument is accepted for compatibility and must be null.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs, void* callback = nullptr);
    BOOL KillTimer(UINT_PTR id);

    // Sets the window's large or small icon; returns the previous one of that size.
    HICON SetIcon(HICON icon, BOOL bigIcon);
    HICON GetIcon(BOOL bigIcon) const;

    // Queues the message for the window's thread; callable from any thread. Messages posted to one
    // window are delivered in the order they were posted, through the message map. Returns FALSE and
    // sets the last error when there is no window to receive it.
    virtual BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Delivers the message through the message map at once (GUI thread only); 0 without a window.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    virtual BOOL DestroyWindow();

    // Called for key presses aimed at this window or its children before they are processed;
    // returning TRUE swallows the key.
    virtual BOOL PreTranslateMessage(MSG* msg);

    afx_msg void OnTimer(UINT_PTR idEvent);

    // The window layer's entry point for every message that reaches this window.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Binds this wrapper to an existing window (DDX_Control does this for dialog controls).
    BOOL Attach(HWND hwnd);
    HWND Detach();

    // Public so that any thread can read it through GetSafeHwnd; set only by the window layer.
    std::atomic<HWND> m_hWnd{nullptr};
};

// Test aid: every window timer started after this call runs with its period multiplied by `scale`
// (1.0 restores real time), so tests need not wait out multi-second timers. Periods never drop
// below 1 ms.
void AfxSetTimerScale(double scale);
double AfxGetTimerScale();
